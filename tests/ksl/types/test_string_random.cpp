// Many generated arguments thrown at the string operations: whatever the positions, occurrence
// numbers and modes, every string stays well formed (terminated, length within the block), and
// the searching and cutting operations agree with a plain reference on std::wstring.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "foundation_test.h"
#include "ksl_wchar_string.h"

namespace {

// Logging stays off: the generated arguments are rejected thousands of times.
class StringRandomTest : public ScratchRegistryTest {
protected:
    std::mt19937 m_random{20240611u};

    unsigned long pick(unsigned long ulMax) { return std::uniform_int_distribution<unsigned long>(0, ulMax)(m_random); }

    // Mostly small numbers around the lengths in play, sometimes extreme ones.
    unsigned long number()
    {
        switch (pick(9)) {
        case 0: return 0xFFFFFFFFul;
        case 1: return 0x80000000ul;
        default: return pick(16);
        }
    }

    std::wstring word(unsigned long ulMaxLength)
    {
        static const wchar_t kAlphabet[] = L"aab.X01 \t";
        std::wstring w;
        for (unsigned long i = pick(ulMaxLength); i > 0; --i)
            w += kAlphabet[pick(sizeof(kAlphabet) / sizeof(kAlphabet[0]) - 2)];
        return w;
    }
};

void expectWellFormed(const S& s)
{
    if (!s.isValid()) {
        EXPECT_EQ(0u, s.getCount());
        EXPECT_EQ(nullptr, s.getBuffer());
        EXPECT_EQ(0u, s.getLength());
        return;
    }
    ASSERT_GE(s.getCount(), 1u);
    EXPECT_EQ(L'\0', s.getBuffer()[s.getCount() - 1]);
    EXPECT_LE(s.getLength(), s.getCount() - 1);
    EXPECT_EQ(L'\0', s.getString()[s.getLength()]);
}

// Reference search: positions of every (overlapping) match, left to right.
std::vector<unsigned long> matches(const std::wstring& text, const std::wstring& sub)
{
    std::vector<unsigned long> positions;
    for (size_t n = 0; !sub.empty() && n + sub.size() <= text.size(); ++n) {
        if (text.compare(n, sub.size(), sub) == 0)
            positions.push_back(static_cast<unsigned long>(n));
    }
    return positions;
}

TEST_F(StringRandomTest, SearchingAgreesWithTheReference)
{
    for (int i = 0; i < 3000; ++i) {
        const std::wstring text = word(12), sub = word(3);
        const S s(text.c_str());
        const std::vector<unsigned long> expected = matches(text, sub);
        ASSERT_EQ(expected.size(), s.getOccurrenceCount(sub.c_str())) << text << L" / " << sub;
        const unsigned long n = 1 + pick(4);
        if (n > text.size())
            continue; // an occurrence past the length is a rejected argument
        unsigned long ulPos = 0xFFFF;
        const bool bFound = s.find(sub.c_str(), n, S::pmFromStart, ulPos);
        ASSERT_EQ(n <= expected.size(), bFound) << text << L" / " << sub << L" #" << n;
        if (bFound) {
            EXPECT_EQ(expected[n - 1], ulPos);
            ASSERT_TRUE(s.find(sub.c_str(), n, S::pmFromEnd, ulPos));
            EXPECT_EQ(expected[expected.size() - n], ulPos);
        }
    }
}

TEST_F(StringRandomTest, CuttingAgreesWithTheReference)
{
    for (int i = 0; i < 3000; ++i) {
        const std::wstring text = word(10), other = word(4);
        const unsigned long ulA = pick(12), ulB = pick(12);
        S s(text.c_str());
        S out;
        switch (pick(4)) {
        case 0:
        {
            const bool bInserted = s.insert(other.c_str(), ulA);
            ASSERT_EQ(ulA <= text.size() && !other.empty(), bInserted);
            if (bInserted) {
                EXPECT_EQ(std::wstring(text).insert(ulA, other), s.getString());
            }
            break;
        }
        case 1:
            s.removeFirst(ulA);
            EXPECT_EQ(ulA < text.size() ? text.substr(ulA) : (ulA == 0 ? text : L""), s.getString());
            break;
        case 2:
            s.removeLast(ulA);
            EXPECT_EQ(ulA < text.size() ? text.substr(0, text.size() - ulA) : (ulA == 0 ? text : L""), s.getString());
            break;
        case 3:
            if (s.extract(out, ulA, ulB, true, true)) {
                EXPECT_EQ(text.substr(ulA, ulB - ulA + 1), out.getString());
            } else {
                EXPECT_TRUE(ulA > ulB || ulB >= text.size());
            }
            break;
        default:
            EXPECT_EQ(text + other, (s + other.c_str()).getString());
            break;
        }
        expectWellFormed(s);
        expectWellFormed(out);
    }
}

// Every non-overlapping occurrence from left to right, each search resuming behind the text just
// put in: the find-and-replace loop on std::wstring.
std::wstring replacedAll(std::wstring text, const std::wstring& from, const std::wstring& to)
{
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST_F(StringRandomTest, ReplacingEveryOccurrenceAgreesWithTheStdStringLoop)
{
    // Surrogate halves (paired and lone) and line breaks are plain code units to the search.
    static const wchar_t kAlphabet[] = {L'a', L'b', L'\r', L'\n', 0xD83D, 0xDE00, 0xDC00, L'a'};
    auto randomText = [&](unsigned long ulMaxLength) {
        std::wstring w;
        for (unsigned long i = pick(ulMaxLength); i > 0; --i)
            w += kAlphabet[pick(sizeof(kAlphabet) / sizeof(kAlphabet[0]) - 1)];
        return w;
    };
    for (int i = 0; i < 5000; ++i) {
        const std::wstring text = randomText(24), from = randomText(3), to = randomText(4);
        S s(text.c_str());
        const bool bReplaced = s.replace(from.c_str(), to.c_str(), 0, S::ssmAll);
        const bool bOccurs = !from.empty() && text.find(from) != std::wstring::npos;
        ASSERT_EQ(bOccurs, bReplaced) << i;
        ASSERT_EQ(bOccurs ? replacedAll(text, from, to) : text, std::wstring(s.getString())) << i;
        expectWellFormed(s);
    }
}

TEST_F(StringRandomTest, NoOperationBreaksTheString)
{
    const std::vector<std::function<void(S&, S&)>> operations = {
        [&](S& s, S& out) { s.extract(out, number(), number(), pick(1) != 0, pick(1) != 0); },
        [&](S& s, S&) { s.extractOutside(number(), number(), pick(1) != 0, pick(1) != 0); },
        [&](S& s, S& out) {
            s.extractBetween(out, word(2).c_str(), number(), word(2).c_str(), number(), pick(1) != 0, pick(1) != 0);
        },
        [&](S& s, S&) { s.cutAt(word(2).c_str(), number(), pick(3), pick(1) != 0); },
        [&](S& s, S&) { s.deleteSubString(word(2).c_str(), number(), pick(5)); },
        [&](S& s, S&) { s.replace(word(2).c_str(), word(3).c_str(), number(), pick(5)); },
        [&](S& s, S&) { s.insert(word(3).c_str(), number()); },
        [&](S& s, S&) { s.trim(L"ab."[pick(2)], pick(3), pick(255)); },
        [&](S& s, S&) { s.removeWhitespace(pick(3), pick(255)); },
        [&](S& s, S& out) { s.getField(out, word(2).c_str(), number(), pick(3), pick(3), pick(255)); },
        [&](S& s, S&) { s.removeFirst(number()); },
        [&](S& s, S&) { s.removeLast(number()); },
        [&](S& s, S& out) { out = s.withoutFirst(number()) + s.withoutLast(number()); },
        [&](S& s, S&) { s.stripNotation(); },
        [&](S& s, S&) { s.compact(); },
        [&](S& s, S&) { s.reverse(); },
        [&](S& s, S&) { s += word(3).c_str(); },
        [&](S& s, S& out) { out = s.getAsciiCodeString(); },
        [&](S& s, S&) {
            unsigned long ulValue = 0, ulPos = 0;
            s.getNumber(ulValue, 1ul << pick(4));
            s.find(word(2).c_str(), number(), pick(3), ulPos);
            s.convertOccurrence(word(2).c_str(), number(), pick(3), ulPos);
        },
        [&](S& s, S&) { s.replace(s, s, number(), pick(5)); },
        [&](S& s, S&) { s.deleteSubString(s, number(), pick(5)); },
    };
    S s, out;
    for (int i = 0; i < 4000; ++i) {
        if (pick(7) == 0)
            s = word(14).c_str();
        operations[pick(static_cast<unsigned long>(operations.size() - 1))](s, out);
        expectWellFormed(s);
        expectWellFormed(out);
        ASSERT_FALSE(HasFatalFailure()) << "after step " << i;
    }
}

} // namespace
