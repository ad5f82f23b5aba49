// The bounded text of the library and the plug-in: the formatter, the copy and the ctime stamp,
// and the scoped handles' care for the thread's last error.
#include <windows.h>
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "ksl_format.h"
#include "ksl_scoped_handle.h"

namespace {

TEST(BoundedFormat, CutsTerminatesAndAnswersTheCharactersStored)
{
    wchar_t buf[6];
    wmemset(buf, L'#', 6);
    EXPECT_EQ(5, kslFormat(buf, 6, L"%s-%d", L"abcdef", 42));
    EXPECT_STREQ(L"abcde", buf);
    EXPECT_EQ(3, kslFormat(buf, L"%d", 123));
    EXPECT_STREQ(L"123", buf);
    EXPECT_EQ(5, kslFormat(buf, L"%s", L"12345")) << "exactly full";
    EXPECT_STREQ(L"12345", buf);
    buf[0] = L'#';
    EXPECT_EQ(0, kslFormat(buf, 0, L"%d", 1));
    EXPECT_EQ(L'#', buf[0]) << "no room: nothing written";
    EXPECT_EQ(0, kslFormat(buf, nullptr));
    EXPECT_STREQ(L"", buf);
}

// The layouts the log and the trace rely on, and texts longer than the old 1024-character limit.
TEST(BoundedFormat, FormatsTheLayoutsInUseAndLongTexts)
{
    wchar_t buf[64];
    kslFormat(buf, L"<Error: 0x%08x> %lu %s", 0xCu, 4294967295ul, L"\x00e9t\x00e9");
    EXPECT_STREQ(L"<Error: 0x0000000c> 4294967295 \x00e9t\x00e9", buf);
    EXPECT_EQ(13, kslFormat(buf, L"%s=0x%08x", L"ab", 0xC0FFEEu));
    EXPECT_STREQ(L"ab=0x00c0ffee", buf);
    kslFormat(buf, L"%d %u %02d", -12, 7u, 3);
    EXPECT_STREQ(L"-12 7 03", buf);
    const std::wstring long3000(3000, L'x');
    wchar_t big[4096];
    EXPECT_EQ(3002, kslFormat(big, L"[%s]", long3000.c_str()));
    EXPECT_EQ(L"[" + long3000 + L"]", std::wstring(big));
}

// Neither the formatter nor the copy ends a cut text in the first half of a pair.
TEST(BoundedText, NeverCutsBetweenTheHalvesOfAPair)
{
    const wchar_t wcsPair[] = L"ab\xD83D\xDE00z";
    wchar_t buf[4];
    EXPECT_EQ(2, kslFormat(buf, L"%s", wcsPair));
    EXPECT_STREQ(L"ab", buf);
    EXPECT_EQ(2, kslCopyText(buf, 4, wcsPair));
    EXPECT_STREQ(L"ab", buf);
    wchar_t five[5];
    EXPECT_EQ(4, kslFormat(five, L"%s", wcsPair)) << "the whole pair fits";
    EXPECT_STREQ(L"ab\xD83D\xDE00", five);
    EXPECT_EQ(4, kslCopyText(five, 5, wcsPair));
    EXPECT_EQ(0, kslCopyText(five, 5, nullptr));
    EXPECT_STREQ(L"", five);
}

TEST(CTimeStamp, TheRuntimesLayoutAndOutOfRangeParts)
{
    auto stamp = [](WORD wDayOfWeek, WORD wMonth, WORD wDay, WORD wHour, WORD wMinute, WORD wSecond) {
        const SYSTEMTIME time = {2026, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, 0};
        wchar_t wcsStamp[KSL_CTIME_CHARS];
        kslFormatCTime(time, wcsStamp);
        return std::wstring(wcsStamp);
    };
    EXPECT_EQ(L"Sun Dec 06 22:16:29 2026", stamp(0, 12, 6, 22, 16, 29));
    EXPECT_EQ(L"Mon Dec 07 20:11:04 2026", stamp(1, 12, 7, 20, 11, 4));
    EXPECT_EQ(L"Wed Mar 25 07:05:00 2026", stamp(3, 3, 25, 7, 5, 0));
    EXPECT_EQ(L"??? ??? 01 00:00:00 2026", stamp(7, 13, 1, 0, 0, 0));
}

// A handle released on the way out of a failed call keeps the error that made it fail; a close
// that fails leaves its own.
TEST(ScopedHandle, ResetKeepsTheLastErrorUnlessTheCloseFails)
{
    CKSLScopedHandle hEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(hEvent);
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(hEvent.reset());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    CKSLScopedKey hKey;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, hKey.receive()));
    SetLastError(ERROR_ACCESS_DENIED);
    hKey.reset();
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    CKSLScopedHandle hBogus(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x7FF0)));
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(hBogus.reset());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

} // namespace
