#include <windows.h>

#include <cwchar>

#include "ksl_exceptions.h"

namespace {

// wvsprintfW stores at most 1024 characters; this holds that and its terminator.
const int s_nFormatterLimit = 1025;

bool isHighSurrogate(wchar_t wc)
{
    return wc >= 0xD800 && wc <= 0xDBFF;
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
        // Cut before a pair whose second half did not fit, not between its halves.
        if (nChars > 0 && wcsText[nChars] != L'\0' && isHighSurrogate(wcsText[nChars - 1]))
            --nChars;
        wmemcpy(wcsBuffer, wcsText, nChars);
    }
    wcsBuffer[nChars] = L'\0';
    return nChars;
}

int kslFormatV(wchar_t* wcsBuffer, int nCapacity, const wchar_t* wcsFormat, va_list args)
{
    if (wcsBuffer == nullptr || nCapacity <= 0)
        return 0;
    wchar_t wcsFormatted[s_nFormatterLimit];
    wcsFormatted[0] = L'\0';
    if (wcsFormat != nullptr && wvsprintfW(wcsFormatted, wcsFormat, args) < 0)
        wcsFormatted[0] = L'\0';
    wcsFormatted[s_nFormatterLimit - 1] = L'\0';
    return kslCopyText(wcsBuffer, nCapacity, wcsFormatted);
}

int kslFormat(wchar_t* wcsBuffer, int nCapacity, const wchar_t* wcsFormat, ...)
{
    va_list args;
    va_start(args, wcsFormat);
    const int nStored = kslFormatV(wcsBuffer, nCapacity, wcsFormat, args);
    va_end(args);
    return nStored;
}
