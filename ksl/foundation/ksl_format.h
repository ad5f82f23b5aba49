// Bounded text into fixed buffers: the one formatter and the one copy of the library and the
// plug-in. Each writes at most nCapacity characters with the terminator, always terminates (when
// nCapacity > 0), never overruns, and never cuts a surrogate pair in two: a text that does not fit
// is cut before the pair whose second half would not. They answer the characters stored.
#pragma once

#include <windows.h>

#include <cstdarg>

// printf-style formatting by the runtime (msvcrt's _vsnwprintf): in a wide format %s is a wide
// text, %d a 32-bit int, %lu an unsigned long.
int kslFormatV(wchar_t* wcsBuffer, int nCapacity, const wchar_t* wcsFormat, va_list args);
int kslFormat(wchar_t* wcsBuffer, int nCapacity, const wchar_t* wcsFormat, ...);
template <int N>
int kslFormat(wchar_t (&wcsBuffer)[N], const wchar_t* wcsFormat, ...)
{
    va_list args;
    va_start(args, wcsFormat);
    const int nStored = kslFormatV(wcsBuffer, N, wcsFormat, args);
    va_end(args);
    return nStored;
}

// A text copied as it is; a null text copies as empty.
int kslCopyText(wchar_t* wcsBuffer, int nCapacity, const wchar_t* wcsText);

// A time in the runtime's 24-character ctime layout without its newline, as the log and the
// trace stamp their lines: "Mon Dec 07 20:11:34 2026" (a weekday or month out of range reads "???").
const int KSL_CTIME_CHARS = 25; // with the terminator
void kslFormatCTime(const SYSTEMTIME& time, wchar_t (&wcsStamp)[KSL_CTIME_CHARS]);
