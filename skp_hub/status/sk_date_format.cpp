#include "sk_date_format.h"

#include "sk_copy.h"
#include "sk_trace.h"

namespace {

typedef int(WINAPI* PFN_LocaleFormat)(LCID, DWORD, const SYSTEMTIME*, LPCWSTR, LPWSTR, int);

void formatWith(PFN_LocaleFormat pfnFormat, DWORD dwFlags, const SYSTEMTIME& stTime, wchar_t* wcsBuffer,
                const wchar_t* wcsFunction, const wchar_t* wcsContext)
{
    if (!wcsBuffer)
        SKTrace(SK_TRACE_SAFEKEEP, L"SK_tcscpy() Destination is NULL");
    else
        wcsBuffer[0] = L'\0';
    if (pfnFormat(LOCALE_USER_DEFAULT, dwFlags, &stTime, nullptr, wcsBuffer, SK_DATE_TEXT_CHARS) == 0) {
        SKReportError(0, wcsFunction, wcsContext);
        if (wcsBuffer)
            wcsBuffer[0] = L'\0';
    }
}

} // namespace

void SKFormatDate(SYSTEMTIME stTime, wchar_t* wcsBuffer)
{
    formatWith(GetDateFormatW, DATE_SHORTDATE, stTime, wcsBuffer, L"GetDateFormat", L"SKFormatDate");
}

void SKFormatTime(SYSTEMTIME stTime, wchar_t* wcsBuffer)
{
    formatWith(GetTimeFormatW, TIME_NOSECONDS, stTime, wcsBuffer, L"GetTimeFormat", L"SKFormatTime");
}
