// Dates and times in the user's regional form (Wine with LANG=C.UTF-8 is English, United States).
#include <gtest/gtest.h>

#include "scratch_registry.h"
#include "sk_date_format.h"
#include "test_paths.h"
#include "trace_config.h"

namespace {

using DateFormatTest = ScratchRegistryTest;

SYSTEMTIME march5()
{
    SYSTEMTIME st{};
    st.wYear = 2007;
    st.wMonth = 3;
    st.wDay = 5;
    st.wDayOfWeek = 1;
    st.wHour = 14;
    st.wMinute = 7;
    st.wSecond = 9;
    return st;
}

TEST_F(DateFormatTest, ShortDateAndTimeWithoutSeconds)
{
    wchar_t date[SK_DATE_TEXT_CHARS], time[SK_DATE_TEXT_CHARS];
    SKFormatDate(march5(), date);
    SKFormatTime(march5(), time);
    EXPECT_STREQ(L"3/5/2007", date);
    EXPECT_STREQ(L"2:07 PM", time);
}

TEST_F(DateFormatTest, ARejectedDateEmptiesTheBufferAndIsReported)
{
    const std::wstring trace = testScratchPath(L"safekeep.log");
    ASSERT_TRUE(enableTrace(L"Safekeep", trace));
    SYSTEMTIME bad = march5();
    bad.wMonth = 13;
    wchar_t date[SK_DATE_TEXT_CHARS] = L"old text";
    SKFormatDate(bad, date);
    EXPECT_STREQ(L"", date);
    const std::string text = readFileBytes(trace);
    EXPECT_NE(std::string::npos, text.find("Safekeep: GetDateFormat: Error ")) << text;
    EXPECT_NE(std::string::npos, text.find(" SKFormatDate\r\n"));
}

TEST_F(DateFormatTest, ANullBufferIsTracedNotWritten)
{
    const std::wstring trace = testScratchPath(L"safekeep.log");
    ASSERT_TRUE(enableTrace(L"Safekeep", trace));
    SKFormatTime(march5(), nullptr);
    const std::string text = readFileBytes(trace);
    EXPECT_NE(std::string::npos, text.find("Safekeep: SK_tcscpy() Destination is NULL\r\n")) << text;
    EXPECT_NE(std::string::npos, text.find("Safekeep: GetTimeFormat: Error "));
}

} // namespace
