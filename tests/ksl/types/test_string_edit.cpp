#include <gtest/gtest.h>

#include <string>

#include "foundation_test.h"
#include "ksl_wchar_string.h"

namespace {

class StringEditTest : public FoundationTest {};

TEST_F(StringEditTest, ReverseAndMakeLower)
{
    S s(L"Hello, World");
    ASSERT_TRUE(s.reverse());
    EXPECT_EQ(L"dlroW ,olleH", text(s));
    ASSERT_TRUE(s.makeLower());
    EXPECT_EQ(L"dlrow ,olleh", text(s));
    S one(L"Z");
    EXPECT_TRUE(one.reverse());
    EXPECT_EQ(L"Z", text(one));
    EXPECT_FALSE(S().reverse());
    S accented(L"\x00C4X");
    accented.makeLower();
    EXPECT_EQ(L"\x00C4x", text(accented));
}

TEST_F(StringEditTest, RemoveFirstAndLast)
{
    S s(L"abcdef");
    ASSERT_TRUE(s.removeFirst(2));
    EXPECT_EQ(L"cdef", text(s));
    ASSERT_TRUE(s.removeLast(1));
    EXPECT_EQ(L"cde", text(s));
    EXPECT_EQ(4u, s.getCount());
    ASSERT_TRUE(s.removeLast(0));
    EXPECT_EQ(L"cde", text(s));
    ASSERT_TRUE(s.removeFirst(3));
    EXPECT_FALSE(s.isValid());

    const S source(L"abc");
    EXPECT_EQ(L"bc", text(source.withoutFirst(1)));
    EXPECT_EQ(L"a", text(source.withoutLast(2)));
    EXPECT_FALSE(source.withoutLast(99).isValid());
    EXPECT_EQ(L"abc", text(source.withoutFirst(0)));
    EXPECT_EQ(L"abc", text(source));
}

TEST_F(StringEditTest, Insert)
{
    S s(L"ac");
    ASSERT_TRUE(s.insert(L"b", 1));
    EXPECT_EQ(L"abc", text(s));
    ASSERT_TRUE(s.insert(L">", 0));
    ASSERT_TRUE(s.insert(L"<", 4));
    EXPECT_EQ(L">abc<", text(s));
    EXPECT_FALSE(s.insert(L"x", 6));
    EXPECT_EQ(1u, countBadArg(L"ulPos", L"position is out of string bounds"));
    EXPECT_FALSE(s.insert(L"", 0));
    EXPECT_EQ(1u, countBadArg(L"string", L"can't insert an invalid string"));

    S empty;
    EXPECT_FALSE(empty.insert(L"x", 1));
    ASSERT_TRUE(empty.insert(L"x", 0));
    EXPECT_EQ(L"x", text(empty));
    ASSERT_TRUE(s.insert(s, 1)); // inserting itself
    EXPECT_EQ(L">>abc<abc<", text(s));
}

TEST_F(StringEditTest, DeleteSubString)
{
    S s(L"a-b-c-d");
    ASSERT_TRUE(s.deleteSubString(L"-", 2, S::ssmOccur));
    EXPECT_EQ(L"a-bc-d", text(s));
    ASSERT_TRUE(s.deleteSubString(L"-", 1, S::ssmNum));
    EXPECT_EQ(L"abc-d", text(s));
    EXPECT_EQ(6u, s.getCount());
    ASSERT_TRUE(s.deleteSubString(L"-", 0, S::ssmAll));
    EXPECT_EQ(L"abcd", text(s));
    EXPECT_FALSE(s.deleteSubString(L"-", 1, S::ssmAll));

    S t(L"x.y.z");
    EXPECT_FALSE(t.deleteSubString(L".", 0, S::ssmOccur));
    EXPECT_EQ(1u, countBadArg(L"ulOccurrance", L"ssmOccur mode requires ulOccurrance to be greater than 0"));
    EXPECT_FALSE(t.deleteSubString(L".", 0, S::ssmNum));
    EXPECT_EQ(1u, countBadArg(L"ulOccurrance", L"ssmNum mode requires ulOccurrance to be greater than 0"));
    EXPECT_FALSE(t.deleteSubString(L".", 3, S::ssmNum));
    EXPECT_EQ(1u, countBadArg(L"ulOccurrance", L"there aren't enough strings to accommodate ulOccurrance"));
    EXPECT_FALSE(t.deleteSubString(L".", 1, 3));
    EXPECT_EQ(1u, countBadArg(L"subStringMode", L"invalid mode"));
    EXPECT_EQ(L"x.y.z", text(t));

    S all(L"abab");
    ASSERT_TRUE(all.deleteSubString(all, 1, S::ssmAll)); // deleting itself
    EXPECT_FALSE(all.isValid());
}

TEST_F(StringEditTest, ReplaceSkipsInsertedOccurrences)
{
    S s(L"aXa");
    ASSERT_TRUE(s.replace(L"a", L"aa", 0, S::ssmAll));
    EXPECT_EQ(L"aaXaa", text(s));

    S path(L"C:\\a\\b\\c");
    ASSERT_TRUE(path.replace(L"\\", L"/", 2, S::ssmOccur));
    EXPECT_EQ(L"C:\\a/b\\c", text(path));
    ASSERT_TRUE(path.replace(L"\\", L"\\\\", 2, S::ssmNum));
    EXPECT_EQ(L"C:\\\\a/b\\\\c", text(path));

    S d(L"a-b");
    ASSERT_TRUE(d.replace(L"-", S(), 0, S::ssmAll)); // an invalid new string only deletes
    EXPECT_EQ(L"ab", text(d));

    EXPECT_FALSE(d.replace(L"q", L"r", 0, S::ssmAll));
    EXPECT_FALSE(d.replace(L"a", L"r", 2, S::ssmOccur));
    EXPECT_EQ(1u, countBadArg(L"ulOccurrance", L"occurrance is out of bounds"));
    EXPECT_FALSE(d.replace(L"", L"r", 1, S::ssmAll));
    EXPECT_EQ(1u, countBadArg(L"oldString", L"string is invalid"));
    EXPECT_FALSE(S().replace(L"a", L"b", 1, S::ssmAll));

    S self(L"ab");
    ASSERT_TRUE(self.replace(L"b", self, 1, S::ssmOccur));
    EXPECT_EQ(L"aab", text(self));
}

TEST_F(StringEditTest, ReplaceAllResumesBehindTheInsertedText)
{
    struct Case {
        const wchar_t* wcsText;
        const wchar_t* wcsOld;
        const wchar_t* wcsNew;
        const wchar_t* wcsExpected;
    };
    const Case cases[] = {
        {L"abaaba", L"aba", L"ab", L"abab"},          // the insertion and what follows it are no occurrence
        {L"a\r\n\nb\r\n", L"\r\n", L"\r", L"a\r\nb\r"}, // CR LF to CR keeps the LF that followed
        {L"aaa", L"aa", L"b", L"ba"},                  // overlapping occurrences: the first one wins
        {L"xyx", L"x", L"xx", L"xxyxx"},
    };
    for (const Case& c : cases) {
        S s(c.wcsText);
        EXPECT_TRUE(s.replace(c.wcsOld, c.wcsNew, 0, S::ssmAll)) << c.wcsText;
        EXPECT_EQ(c.wcsExpected, text(s)) << c.wcsText;
    }
    EXPECT_FALSE(logHas(L"EXCEPTION_BAD"));
}

TEST_F(StringEditTest, ReplaceByAShorterTextReachesEveryOccurrence)
{
    S s(L"abab");
    ASSERT_TRUE(s.replace(L"ab", L"a", 0, S::ssmAll));
    EXPECT_EQ(L"aa", text(s));
    S escaped(L"C:\\\\a\\\\b");
    ASSERT_TRUE(escaped.replace(L"\\\\", L"\\", 2, S::ssmNum));
    EXPECT_EQ(L"C:\\a\\b", text(escaped));
}

TEST_F(StringEditTest, ExtractOutside)
{
    S s(L"0123456");
    ASSERT_TRUE(s.extractOutside(2, 5, false, false));
    EXPECT_EQ(L"01256", text(s));
    s = L"0123456";
    ASSERT_TRUE(s.extractOutside(2, 5, true, true));
    EXPECT_EQ(L"016", text(s));
    s = L"0123456";
    ASSERT_TRUE(s.extractOutside(5, 2, false, false));
    EXPECT_EQ(L"2345", text(s));
    s = L"0123456";
    ASSERT_TRUE(s.extractOutside(5, 2, true, true));
    EXPECT_EQ(L"34", text(s));

    EXPECT_FALSE(s.extractOutside(2, 1, false, false));
    EXPECT_EQ(1u, countBadArg(L"ulStartPos", L"start position is past the end of the string"));
    EXPECT_FALSE(s.extractOutside(0, 2, false, false));
    EXPECT_EQ(1u, countBadArg(L"ulEndPos", L"end position is past the end of the string"));
    EXPECT_FALSE(s.extractOutside(1, 1, false, false));
    EXPECT_EQ(1u, countBadArg(L"ulEndPos & ulStartPos", L"start and end positions can't be equal"));
}

TEST_F(StringEditTest, ExtractKeepsThisString)
{
    const S hello(L"hello");
    S out;
    ASSERT_TRUE(hello.extract(out, 1, 3, true, true));
    EXPECT_EQ(L"ell", text(out));
    ASSERT_TRUE(hello.extract(out, 1, 3, false, false));
    EXPECT_EQ(L"l", text(out));
    ASSERT_TRUE(hello.extract(out, 1, 3, true, false));
    EXPECT_EQ(L"el", text(out));
    ASSERT_TRUE(hello.extract(out, 4, 4, false, true));
    EXPECT_EQ(L"o", text(out));
    ASSERT_TRUE(hello.extract(out, 4, 4, false, false));
    EXPECT_FALSE(out.isValid());
    EXPECT_EQ(L"hello", text(hello));

    EXPECT_FALSE(hello.extract(out, 3, 1, true, true));
    EXPECT_EQ(1u, countBadArg(L"ulStartPos", L"start position can't be greater than end position - use "
                                            L"extractOutside( ) or deleteRange( ) instead"));
    // A single position past the end reads nothing outside the string.
    EXPECT_FALSE(hello.extract(out, 5, 5, true, true));
    EXPECT_FALSE(hello.extract(out, 9, 9, true, true));
    EXPECT_EQ(2u, countBadArg(L"ulEndPos", L"end position is past the end of the string"));
    // A range is cut by extractOutside with its ends swapped: an end past the text is its start.
    EXPECT_FALSE(hello.extract(out, 1, 5, true, true));
    EXPECT_EQ(1u, countBadArg(L"ulStartPos", L"start position is past the end of the string"));
    EXPECT_EQ(2u, countBadArg(L"ulEndPos", L"end position is past the end of the string"));

    S self(L"hello");
    ASSERT_TRUE(self.extract(self, 1, 2, true, true));
    EXPECT_EQ(L"el", text(self));
}

TEST_F(StringEditTest, ExtractBetweenDelimiters)
{
    const S s(L"key=[value]; other=[x]");
    S out;
    ASSERT_TRUE(s.extractBetween(out, L"[", 1, L"]", 2, false, false));
    EXPECT_EQ(L"value", text(out));
    ASSERT_TRUE(s.extractBetween(out, L"[", 1, L"]", 2, true, true));
    EXPECT_EQ(L"[value]", text(out));
    ASSERT_TRUE(s.extractBetween(out, L"[", 1, L"]", 2, true, false));
    EXPECT_EQ(L"[value", text(out));
    ASSERT_TRUE(s.extractBetween(out, L"[", 1, L"]", 2, false, true));
    EXPECT_EQ(L"value]", text(out));
    ASSERT_TRUE(S(L"<<a>>").extractBetween(out, L"<<", 1, L">>", 1, false, false));
    EXPECT_EQ(L"a", text(out));
    EXPECT_FALSE(s.extractBetween(out, L"{", 1, L"]", 1, false, false));
}

TEST_F(StringEditTest, CutAt)
{
    S s(L"C:\\dir\\sub\\file.txt");
    ASSERT_TRUE(s.cutAt(L"\\", 1, S::pmFromEnd, true));
    EXPECT_EQ(L"C:\\dir\\sub", text(s));
    ASSERT_TRUE(s.cutAt(L"\\", 1, S::pmFromEnd, false));
    EXPECT_EQ(L"C:\\dir\\", text(s));
    ASSERT_TRUE(s.cutAt(L"\\", 1, S::pmFromStart, true));
    EXPECT_EQ(L"dir\\", text(s));
    ASSERT_TRUE(s.cutAt(L"i", 1, S::pmFromStart, false));
    EXPECT_EQ(L"ir\\", text(s));
    EXPECT_FALSE(s.cutAt(L"q", 1, S::pmFromStart, false));
    EXPECT_FALSE(s.cutAt(L"i", 1, 5, false));
    EXPECT_EQ(L"ir\\", text(s));
    ASSERT_TRUE(s.cutAt(L"\\", 1, S::pmFromStart, true));
    EXPECT_FALSE(s.isValid());
}

TEST_F(StringEditTest, TrimAndRemoveWhitespace)
{
    S s(L" \t*value *\r\n");
    ASSERT_TRUE(s.trim(L'*', S::sideBoth, S::wsAll));
    EXPECT_EQ(L"value", text(s));
    EXPECT_EQ(6u, s.getCount()); // the trailing cut leaves the block, the leading cut rebuilds it

    S right(L"xx  ");
    ASSERT_TRUE(right.trim(L'x', S::sideTrailing, S::wsSpace));
    EXPECT_EQ(L"", text(right));
    EXPECT_TRUE(right.isValid());
    EXPECT_EQ(5u, right.getCount());

    S w(L" \t a b\tc \t ");
    ASSERT_TRUE(w.removeWhitespace(S::sideLeading, S::wsAll));
    EXPECT_EQ(L"a b\tc \t ", text(w));
    ASSERT_TRUE(w.removeWhitespace(S::sideTrailing, S::wsSpace));
    EXPECT_EQ(L"a b\tc \t", text(w));
    ASSERT_TRUE(w.removeWhitespace(S::sideBoth, S::wsSpace | S::wsTab));
    EXPECT_EQ(L"abc", text(w));
    ASSERT_TRUE(w.removeWhitespace(0, S::wsAll));
    EXPECT_EQ(L"abc", text(w));

    S blank(L" \t ");
    ASSERT_TRUE(blank.removeWhitespace(S::sideLeading, S::wsAll));
    EXPECT_FALSE(blank.isValid());
    EXPECT_TRUE(blank.removeWhitespace(S::sideBoth, S::wsAll));
}

TEST_F(StringEditTest, GetField)
{
    const S s(L"a, b ,c");
    S out;
    ASSERT_TRUE(s.getField(out, L",", 1, S::pmFromStart, 0, 0));
    EXPECT_EQ(L"a", text(out));
    ASSERT_TRUE(s.getField(out, L",", 2, S::pmFromStart, S::sideBoth, S::wsSpace));
    EXPECT_EQ(L"b", text(out));
    ASSERT_TRUE(s.getField(out, L",", 3, S::pmFromStart, 0, 0));
    EXPECT_EQ(L"c", text(out));
    EXPECT_FALSE(s.getField(out, L",", 4, S::pmFromStart, 0, 0));
    ASSERT_TRUE(s.getField(out, L",", 1, S::pmFromEnd, 0, 0));
    EXPECT_EQ(L" b ", text(out));
    EXPECT_FALSE(s.getField(out, L",", 2, S::pmFromEnd, 0, 0));

    ASSERT_TRUE(s.getField(out, L";", 1, S::pmFromStart, 0, 0));
    EXPECT_EQ(L"a, b ,c", text(out));
    EXPECT_FALSE(s.getField(out, L";", 2, S::pmFromStart, 0, 0));
    EXPECT_FALSE(s.getField(out, L",", 0, S::pmFromStart, 0, 0));
    EXPECT_EQ(1u, countBadArg(L"ulOccurrance", L"ulOccurrance must be greater than 0"));

    ASSERT_TRUE(S(L"a,,b").getField(out, L",", 2, S::pmFromStart, 0, 0));
    EXPECT_FALSE(out.isValid());
    // Overlapping delimiters have nothing between them.
    ASSERT_TRUE(S(L"xaaay").getField(out, L"aa", 2, S::pmFromStart, 0, 0));
    EXPECT_FALSE(out.isValid());
}

} // namespace
