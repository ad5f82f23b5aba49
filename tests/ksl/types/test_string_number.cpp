#include <gtest/gtest.h>

#include <string>

#include "foundation_test.h"
#include "ksl_wchar_string.h"

namespace {

class StringNumberTest : public FoundationTest {};

// The parsed value, or a marker when parsing fails.
const unsigned long kFailed = 0xDEADBEEF;
unsigned long number(const wchar_t* wcsText, unsigned long ulSystem)
{
    unsigned long ulValue = kFailed;
    return S(wcsText).getNumber(ulValue, ulSystem) ? ulValue : kFailed;
}

TEST_F(StringNumberTest, AsNumberSystemWidthAndPrefix)
{
    EXPECT_EQ(L"0x00FF", text(S::asNumberSystem(255, S::nsHex, 4, true)));
    EXPECT_EQ(L"34", text(S::asNumberSystem(0x1234, S::nsHex, 2, false)));
    EXPECT_EQ(L"0b101", text(S::asNumberSystem(5, S::nsBin, 0, true)));
    EXPECT_EQ(L"-42", text(S::asNumberSystem(static_cast<unsigned long>(-42), S::nsDec)));
    EXPECT_EQ(L"0", text(S::asNumberSystem(0, S::nsOct)));
    EXPECT_EQ(L"0o777", text(S::asNumberSystem(0777, S::nsOct, 0, true)));
    EXPECT_EQ(L"FFFFFFFF", text(S::asNumberSystem(0xFFFFFFFF, S::nsHex)));
    EXPECT_EQ(std::wstring(32, L'1'), text(S::asNumberSystem(0xFFFFFFFF, S::nsBin)));
    EXPECT_EQ(L"12", text(S::asNumberSystem(12, S::nsDec, 8, true)));
    EXPECT_EQ(L"-2147483648", text(S(static_cast<long>(0x80000000ul))));
    EXPECT_EQ(L"2147483647", text(S(2147483647)));
    EXPECT_EQ(L"0", text(S(0)));
}

TEST_F(StringNumberTest, AsNumberSystemRejectsUnknownSystems)
{
    EXPECT_THROW(S::asNumberSystem(1, 3), CKSLBadArgException);
    EXPECT_EQ(1u, countBadArg(L"asNumberSystem", L"mode isn't supported, must be hex,bin,or oct"));
}

TEST_F(StringNumberTest, HexadecimalNotationsAndOverflow)
{
    EXPECT_EQ(31u, number(L"  0x1F  ", S::nsHex));
    EXPECT_EQ(31u, number(L"1Fh", S::nsHex));
    EXPECT_EQ(31u, number(L"\t1f\r\n", S::nsHex));
    EXPECT_EQ(0xFFFFFFFFu, number(L"FFFFFFFF", S::nsHex));
    // A hex text whose 'B' could pass for a binary marker keeps its hex value.
    EXPECT_EQ(0x1Bu, number(L"1B", S::nsHex));
    EXPECT_EQ(kFailed, number(L"123456789", S::nsHex));
    EXPECT_EQ(1u, countBadArg(L"this string", L"too many hex digits in string - will overflow unsigned long value"));
    EXPECT_EQ(kFailed, number(L"0x", S::nsHex));
    EXPECT_EQ(kFailed, number(L"1G", S::nsHex));
    EXPECT_EQ(kFailed, number(L"   ", S::nsHex));
    EXPECT_EQ(kFailed, number(L"1", 16));
}

TEST_F(StringNumberTest, BinaryAndOctal)
{
    EXPECT_EQ(5u, number(L"0b101", S::nsBin));
    EXPECT_EQ(5u, number(L"101b", S::nsBin));
    EXPECT_EQ(1u, number(L"1b", S::nsBin));
    EXPECT_EQ(0x80000001u, number(L"10000000000000000000000000000001", S::nsBin));
    EXPECT_EQ(kFailed, number(L"100000000000000000000000000000001", S::nsBin));
    EXPECT_EQ(1u, countBadArg(L"this", L"too many binary digits in string - will overflow unsigned long value"));

    EXPECT_EQ(0777u, number(L"0o777", S::nsOct));
    EXPECT_EQ(8u, number(L"10o", S::nsOct));
    // Twelve octal digits can exceed 32 bits: the value wraps.
    EXPECT_EQ(0xFFFFFFFFu, number(L"777777777777", S::nsOct));
    EXPECT_EQ(kFailed, number(L"1234567012345", S::nsOct));
    EXPECT_EQ(1u, countBadArg(L"this string", L"too many octal digits in string - will overflow unsigned long value"));
}

TEST_F(StringNumberTest, Decimal)
{
    EXPECT_EQ(34u, number(L" 34 ", S::nsDec));
    EXPECT_EQ(static_cast<unsigned long>(-42), number(L"-42", S::nsDec));
    EXPECT_EQ(0x7FFFFFFFu, number(L"2147483647", S::nsDec));
    EXPECT_EQ(0x80000000u, number(L"-2147483648", S::nsDec));
    EXPECT_EQ(kFailed, number(L"2147483648", S::nsDec));
    EXPECT_EQ(kFailed, number(L"1.5", S::nsDec));
    EXPECT_EQ(kFailed, number(L"-", S::nsDec));
    EXPECT_EQ(kFailed, number(L"", S::nsDec));
}

TEST_F(StringNumberTest, StripNotation)
{
    S s(L"0x1F");
    ASSERT_TRUE(s.stripNotation());
    EXPECT_EQ(L"1F", text(s));
    s = L"17o";
    ASSERT_TRUE(s.stripNotation());
    EXPECT_EQ(L"17", text(s));
    s = L"0b11";
    ASSERT_TRUE(s.stripNotation());
    EXPECT_EQ(L"11", text(s));
    // Binary is tested first: hex digits with a trailing 'B' lose it.
    s = L"1B";
    ASSERT_TRUE(s.stripNotation());
    EXPECT_EQ(L"1", text(s));
    s = L"plain";
    EXPECT_FALSE(s.stripNotation());
    EXPECT_EQ(L"plain", text(s));
}

TEST_F(StringNumberTest, AsciiCodeStrings)
{
    EXPECT_EQ(L"41 00 00 00", text(S(L"A").getAsciiCodeString()));
    EXPECT_EQ(L"41 00 42 00 00 00", text(S(L"AB").getAsciiCodeString()));
    EXPECT_EQ(L"21 FF 00 00", text(S(L"\xFF21").getAsciiCodeString()));
    EXPECT_FALSE(S().getAsciiCodeString().isValid());

    const CKSLByteBuffer bytes = S(L"41 42").getBufferFromAsciiCodeString();
    ASSERT_EQ(2u, bytes.getCount());
    EXPECT_EQ(0x41, bytes.valueAt(0));
    EXPECT_EQ(0x42, bytes.valueAt(1));

    // Round trip through the code text gives the string's block back.
    const S original(L"x\xE9\x20AC");
    const CKSLWCharBuffer back = original.getAsciiCodeString().getBufferFromAsciiCodeString().convertTo<wchar_t>();
    ASSERT_EQ(original.getCount(), back.getCount());
    for (unsigned long i = 0; i < back.getCount(); ++i)
        EXPECT_EQ(original.valueAt(i), back.valueAt(i));

    EXPECT_EQ(1u, S(L"41 4").getBufferFromAsciiCodeString().getCount());
    EXPECT_FALSE(S(L"41 zz").getBufferFromAsciiCodeString().isValid());
    EXPECT_FALSE(S(L"4").getBufferFromAsciiCodeString().isValid());
}

} // namespace
