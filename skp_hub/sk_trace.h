// The plug-in's debug trace: one ANSI line per call, appended to the file that
// HKLM "SOFTWARE\Tessil\Safekeep\Debug" names for the source; nothing when it names none.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstddef>

// Trace sources.
#define SK_TRACE_HUB L"SKP_HUB"
#define SK_TRACE_SAFEKEEP L"Safekeep"

// printf-style: %s takes wide strings, %d int32. Never fails its caller; keeps the last error.
void SKTrace(const wchar_t* wcsSource, const wchar_t* wcsFormat, ...);
void SKTraceV(const wchar_t* wcsSource, const wchar_t* wcsFormat, va_list args);

// Bounded wide printf into a fixed field: cuts what does not fit and always terminates
// (nothing when the capacity is 0). Answers the characters stored.
int SKFormat(wchar_t* wcsBuffer, size_t nCapacity, const wchar_t* wcsFormat, ...);
int SKFormatV(wchar_t* wcsBuffer, size_t nCapacity, const wchar_t* wcsFormat, va_list args);

// The C runtime's 24-character ctime layout of a local time, e.g. "Mon Dec 07 20:11:34 2026".
void SKFormatCTime(const SYSTEMTIME& st, wchar_t (&wcsOut)[25]);
