// The plug-in's debug trace: one ANSI line per call, appended to the file that
// HKLM "SOFTWARE\Tessil\Safekeep\Debug" names for the source; nothing when it names none.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstddef>

// Trace sources.
#define SK_TRACE_HUB L"SKP_HUB"
#define SK_TRACE_SAFEKEEP L"Safekeep"

// printf-style (kslFormat): %s takes wide strings, %d int32. Never fails its caller; keeps the
// last error. Within an exported call the switch of a source is read once (sk_call_state.h).
void SKTrace(const wchar_t* wcsSource, const wchar_t* wcsFormat, ...);
void SKTraceV(const wchar_t* wcsSource, const wchar_t* wcsFormat, va_list args);

// The error report of the product utility services: one trace line "<function>: Error <code>
// <context>" under "Safekeep"; code 0 means the calling thread's last error.
void SKReportError(DWORD dwCode, const wchar_t* wcsFunction, const wchar_t* wcsContext);
