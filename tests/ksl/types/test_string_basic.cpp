#include <gtest/gtest.h>

#include <string>

#include "foundation_test.h"
#include "ksl_wchar_string.h"

namespace {

class StringBasicTest : public FoundationTest {};

TEST_F(StringBasicTest, EmptyTextAndNullAreTheInvalidString)
{
    const S fromNull(static_cast<const wchar_t*>(nullptr));
    const S fromEmpty(L"");
    S assigned(L"abc");
    assigned = L"";
    for (const S* p : {&fromNull, &fromEmpty, const_cast<const S*>(&assigned)}) {
        EXPECT_FALSE(p->isValid());
        EXPECT_EQ(0u, p->getLength());
        EXPECT_STREQ(L"", p->getString());
    }
    EXPECT_TRUE(fromNull == fromEmpty);
    EXPECT_FALSE(fromEmpty == S(L"a"));
    EXPECT_TRUE(fromEmpty != S(L"a"));
}

TEST_F(StringBasicTest, ConstructionSizesExactly)
{
    const S abc(L"abc");
    EXPECT_EQ(3u, abc.getLength());
    EXPECT_EQ(4u, abc.getCount());
    EXPECT_EQ(L'\0', abc.valueAt(3));

    S one(L'x');
    EXPECT_EQ(L"x", text(one));
    EXPECT_EQ(2u, one.getCount());
    one = L'\0';
    EXPECT_FALSE(one.isValid());

    CKSLWCharBuffer raw(5);
    raw.elementAt(0) = L'h';
    raw.elementAt(1) = L'i';
    S fromBuffer;
    fromBuffer = raw;
    EXPECT_EQ(L"hi", text(fromBuffer));
    EXPECT_EQ(3u, fromBuffer.getCount());
}

TEST_F(StringBasicTest, CopyKeepsTheWholeBlock)
{
    S s(L"abcd");
    s.elementAt(1) = L'\0'; // an in-place cut leaves the tail behind the zero
    const S copy(s);
    EXPECT_EQ(5u, copy.getCount());
    EXPECT_EQ(L'c', copy.valueAt(2));
    EXPECT_EQ(1u, copy.getLength());

    ASSERT_TRUE(s.compact());
    EXPECT_EQ(2u, s.getCount());
    s.elementAt(0) = L'\0';
    ASSERT_TRUE(s.compact());
    EXPECT_FALSE(s.isValid());
    EXPECT_FALSE(s.compact());
}

TEST_F(StringBasicTest, ComparisonsFollowTheLengthRule)
{
    const S abc(L"abc"), abcd(L"abcd"), abd(L"abd");
    EXPECT_FALSE(abc == abcd);
    EXPECT_TRUE(abc < abcd);
    EXPECT_TRUE(abc > abcd);
    EXPECT_FALSE(abc <= abcd);
    EXPECT_FALSE(abc >= abcd);

    EXPECT_TRUE(abc <= abd);
    EXPECT_FALSE(abc >= abd);
    EXPECT_TRUE(abc < abd);
    EXPECT_FALSE(abc > abd);
    EXPECT_TRUE(abc <= S(L"abc") && abc >= S(L"abc"));

    // Code units compare unsigned: U+FF21 sorts after 'a'.
    EXPECT_TRUE(S(L"\xFF21") >= S(L"a"));
    EXPECT_FALSE(S() <= S());
    EXPECT_TRUE(abc == L"abc");
}

TEST_F(StringBasicTest, ConcatenationGrowsExactly)
{
    S s(L"ab");
    s += S(L"cd");
    EXPECT_EQ(L"abcd", text(s));
    EXPECT_EQ(5u, s.getCount());
    s += L"";
    s += S();
    EXPECT_EQ(5u, s.getCount());
    s += s; // appending itself
    EXPECT_EQ(L"abcdabcd", text(s));
    s += L'!';
    EXPECT_EQ(L"abcdabcd!", text(s));

    EXPECT_EQ(L"xy", text(S(L"x") + L"y"));
    EXPECT_EQ(L"y", text(S() + L"y"));
    EXPECT_FALSE((S() + S()).isValid());

    S empty;
    empty += L"new";
    EXPECT_EQ(L"new", text(empty));
}

TEST_F(StringBasicTest, FindCountsOverlappingOccurrences)
{
    const S s(L"aaaa");
    unsigned long ulPos = 99;
    for (unsigned long n = 1; n <= 3; ++n) {
        ASSERT_TRUE(s.find(L"aa", n, S::pmFromStart, ulPos));
        EXPECT_EQ(n - 1, ulPos);
        ASSERT_TRUE(s.find(L"aa", n, S::pmFromEnd, ulPos));
        EXPECT_EQ(3 - n, ulPos);
    }
    ulPos = 99;
    EXPECT_FALSE(s.find(L"aa", 4, S::pmFromStart, ulPos));
    EXPECT_EQ(99u, ulPos);
    EXPECT_FALSE(s.find(L"aa", 1, 3, ulPos));
    EXPECT_EQ(3u, s.getOccurrenceCount(L"aa"));
    EXPECT_EQ(0u, s.getOccurrenceCount(L""));
    EXPECT_EQ(0u, S().getOccurrenceCount(L"a"));
    EXPECT_TRUE(s.contains(L"aaaa"));
    EXPECT_FALSE(s.contains(L"aaaaa"));
}

TEST_F(StringBasicTest, FindLogsBadOccurrencesOnly)
{
    const S s(L"abc");
    unsigned long ulPos = 0;
    EXPECT_FALSE(s.find(L"b", 0, S::pmFromStart, ulPos));
    EXPECT_EQ(1u, countBadArg(L"ulOccurrance", L"value must be greater than 0"));
    EXPECT_FALSE(s.find(L"b", 4, S::pmFromStart, ulPos));
    EXPECT_EQ(1u, countBadArg(L"ulOccurrance",
                             L"value is impossible since it is larger than the length of this string"));
    EXPECT_FALSE(s.find(L"abcd", 0, S::pmFromStart, ulPos)); // longer than the string: no record
    EXPECT_EQ(2u, logCount(L"A bad argument"));
    // Counting stops at the missing occurrence without a record.
    EXPECT_EQ(1u, S(L"a").getOccurrenceCount(L"a"));
    EXPECT_EQ(2u, logCount(L"A bad argument"));
}

TEST_F(StringBasicTest, BeginsAndEndsWith)
{
    const S s(L"C:\\Program Files\\");
    EXPECT_TRUE(s.beginsWith(L"C:"));
    EXPECT_TRUE(s.endsWith(L"\\"));
    EXPECT_FALSE(s.beginsWith(L"Program"));
    EXPECT_FALSE(s.endsWith(L"Files"));
    EXPECT_FALSE(s.beginsWith(L""));
    EXPECT_FALSE(s.endsWith(S()));
    EXPECT_FALSE(S(L"ab").endsWith(L"xab"));
    EXPECT_TRUE(S(L"abab").endsWith(L"ab"));
}

TEST_F(StringBasicTest, BeginsWithIsTraced)
{
    setLogDetail(512);
    EXPECT_FALSE(S(L"abc").beginsWith(L"b"));
    EXPECT_EQ(1u, logCount(L"<CKSLWCharString::beginsWith> <Failed Logical Result>"));
}

TEST_F(StringBasicTest, ConvertOccurrenceCountsTheOtherWay)
{
    const S s(L"a.b.c.d");
    unsigned long ulOther = 0;
    ASSERT_TRUE(s.convertOccurrence(L".", 1, S::pmFromStart, ulOther));
    EXPECT_EQ(3u, ulOther);
    ASSERT_TRUE(s.convertOccurrence(L".", 3, S::pmFromEnd, ulOther));
    EXPECT_EQ(1u, ulOther);
    ASSERT_TRUE(S(L"aaaa").convertOccurrence(L"aa", 2, S::pmFromStart, ulOther));
    EXPECT_EQ(2u, ulOther);
    EXPECT_FALSE(s.convertOccurrence(L"", 1, S::pmFromStart, ulOther));
    EXPECT_EQ(1u, countBadArg(L"subString", L"must contain a string"));
    EXPECT_FALSE(s.convertOccurrence(L".", 1, 7, ulOther));
    EXPECT_EQ(1u, countBadArg(L"parseMode", L"invalid parse mode"));
}

TEST_F(StringBasicTest, CharacterClasses)
{
    EXPECT_TRUE(S(L"-12").isNumber(true, false));
    EXPECT_FALSE(S(L"-12").isNumber(false, false));
    EXPECT_FALSE(S(L"1-2").isNumber(true, false));
    EXPECT_TRUE(S(L"1.5").isNumber(false, true));
    EXPECT_FALSE(S(L"1.").isNumber(false, true));
    EXPECT_FALSE(S(L".1").isNumber(false, true));
    EXPECT_FALSE(S(L"1.2.3").isNumber(false, true));
    EXPECT_FALSE(S(L"-").isNumber(true, false));
    EXPECT_FALSE(S().isNumber(true, true));

    EXPECT_TRUE(S(L"0110").isBinary());
    EXPECT_FALSE(S(L"012").isBinary());
    EXPECT_TRUE(S(L"17").isOctal());
    EXPECT_FALSE(S(L"18").isOctal());
    EXPECT_TRUE(S(L"09afAF").isHex());
    EXPECT_FALSE(S(L"0g").isHex());
    EXPECT_FALSE(S().isHex());
}

TEST_F(StringBasicTest, Notations)
{
    EXPECT_TRUE(S(L"0b101").isBinaryNotation());
    EXPECT_TRUE(S(L"101B").isBinaryNotation());
    EXPECT_FALSE(S(L"10b1").isBinaryNotation());
    EXPECT_FALSE(S(L"0b1b").isBinaryNotation());
    EXPECT_FALSE(S(L"b").isBinaryNotation());
    EXPECT_TRUE(S(L"0o17").isOctalNotation());
    EXPECT_TRUE(S(L"17o").isOctalNotation());
    EXPECT_FALSE(S(L"0o8").isOctalNotation());
    EXPECT_TRUE(S(L"0x1F").isHexNotation());
    EXPECT_TRUE(S(L"0X1f").isHexNotation());
    EXPECT_TRUE(S(L"1Fh").isHexNotation());
    EXPECT_FALSE(S(L"1F").isHexNotation());
    EXPECT_FALSE(S(L"10x1").isHexNotation());
    EXPECT_FALSE(S(L"0x1h").isHexNotation());
    EXPECT_FALSE(S(L"1hF").isHexNotation());
}

} // namespace
