// The guarded bounded copy of the product utility services into a caller's fixed field.
#pragma once

#include <windows.h>

#include <cstddef>

// Copies the text into a buffer of cbDestination bytes (kslCopyText: cut before a character that
// does not fit, never between the halves of a pair, always terminated). Answers 0 when all was
// copied, 0x8007007A when it was cut, 0x80070057 when not even the terminator fits, 1 for a null
// pointer (traced).
HRESULT SK_tcscpy(wchar_t* wcsDestination, size_t cbDestination, const wchar_t* wcsSource);
