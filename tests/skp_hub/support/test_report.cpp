// The product utility services' guarded copy into a caller's field, and their error report.
#include <windows.h>
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "sk_copy.h"
#include "sk_trace.h"
#include "trace_capture.h"

namespace {

TEST(GuardedCopy, AnswersCopiedCutNoRoomOrNull)
{
    wchar_t buf[8];
    wmemset(buf, L'#', 8);
    EXPECT_EQ(static_cast<HRESULT>(0x8007007A), SK_tcscpy(buf, 10, L"abcdefg"));
    EXPECT_STREQ(L"abcd", buf);
    EXPECT_EQ(L'#', buf[5]) << "nothing written past the 10 bytes";
    EXPECT_EQ(0, SK_tcscpy(buf, sizeof buf, L"abcdefg"));
    EXPECT_STREQ(L"abcdefg", buf);
    EXPECT_EQ(static_cast<HRESULT>(0x80070057), SK_tcscpy(buf, 1, L"a"));
    EXPECT_EQ(1, SK_tcscpy(nullptr, 10, L"a"));
    EXPECT_EQ(1, SK_tcscpy(buf, 10, nullptr));
}

// A pair that does not fit whole is left out whole: the field never ends in half a character.
TEST(GuardedCopy, NeverCutsBetweenTheHalvesOfAPair)
{
    wchar_t buf[4];
    EXPECT_EQ(static_cast<HRESULT>(0x8007007A), SK_tcscpy(buf, sizeof buf, L"ab\xD83D\xDE00"));
    EXPECT_STREQ(L"ab", buf);
    EXPECT_EQ(0, SK_tcscpy(buf, sizeof buf, L"a\xD83D\xDE00"));
    EXPECT_STREQ(L"a\xD83D\xDE00", buf);
}

using ErrorReportTest = TraceCaptureTest;

TEST_F(ErrorReportTest, CodeZeroTakesTheLastErrorAndTheContextFollows)
{
    const HANDLE h = CreateFileW(L"C:\\no\\such\\file.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_EQ(INVALID_HANDLE_VALUE, h);
    const DWORD expected = GetLastError();
    SKReportError(0, L"CreateFile", L"C:\\no\\such\\file.txt");
    SKReportError(5, L"OpenEvent", L"");
    const std::vector<std::string> expectedLines = {
        "CreateFile: Error " + std::to_string(expected) + " C:\\no\\such\\file.txt", "OpenEvent: Error 5 "};
    EXPECT_EQ(expectedLines, traceMessages());
}

} // namespace
