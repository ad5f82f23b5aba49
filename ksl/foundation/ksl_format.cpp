#include "ksl_format.h"

#include <cstdio>
#include <cwchar>

namespace {

bool isHighSurrogate(wchar_t wc)
{
    return wc >= 0xD800 && wc <= 0xDBFF;
}

// The length of a text cut to nChars characters: one less when that would split a pair.
int cutBeforePair(const wchar_t* wcsText, int nChars)
{
    return nChars > 0 && isHighSurrogate(wcsText[nChars - 1]) ? nChars - 1 : nChars;
}

} // namespace

int kslCopyText(wchar_t* wcsBuffer, int nCapacity, const wchar_t* wcsText)
{
    if (wcsBuffer == nullptr || nCapacity <= 0)
        return 0;
    int nChars = 0;
    if (wcsText != nullptr) {
        while (nChars < nCapacity - 1 && wcsText[nChars] != L'\0')
            ++nChars;
        if (wcsText[nChars] != L'\0')
            nChars = cutBeforePair(wcsText, nChars);
        wmemcpy(wcsBuffer, wcsText, static_cast<size_t>(nChars));
    }
    wcsBuffer[nChars] = L'\0';
    return nChars;
}

int kslFormatV(wchar_t* wcsBuffer, int nCapacity, const wchar_t* wcsFormat, va_list args)
{
    if (wcsBuffer == nullptr || nCapacity <= 0)
        return 0;
    wcsBuffer[0] = L'\0';
    if (wcsFormat == nullptr)
        return 0;
    // _vsnwprintf answers -1 when the text did not fit, and then leaves it unterminated.
    const int nWritten = _vsnwprintf(wcsBuffer, static_cast<size_t>(nCapacity - 1), wcsFormat, args);
    const int nStored = nWritten >= 0 ? nWritten : cutBeforePair(wcsBuffer, nCapacity - 1);
    wcsBuffer[nStored] = L'\0';
    return nStored;
}

int kslFormat(wchar_t* wcsBuffer, int nCapacity, const wchar_t* wcsFormat, ...)
{
    va_list args;
    va_start(args, wcsFormat);
    const int nStored = kslFormatV(wcsBuffer, nCapacity, wcsFormat, args);
    va_end(args);
    return nStored;
}

void kslFormatCTime(const SYSTEMTIME& time, wchar_t (&wcsStamp)[KSL_CTIME_CHARS])
{
    static const wchar_t* const s_wcsDays[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
    static const wchar_t* const s_wcsMonths[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                                 L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    const wchar_t* wcsDay = time.wDayOfWeek < 7 ? s_wcsDays[time.wDayOfWeek] : L"???";
    const wchar_t* wcsMonth = time.wMonth >= 1 && time.wMonth <= 12 ? s_wcsMonths[time.wMonth - 1] : L"???";
    kslFormat(wcsStamp, L"%s %s %02u %02u:%02u:%02u %04u", wcsDay, wcsMonth, time.wDay, time.wHour, time.wMinute,
              time.wSecond, time.wYear);
}
