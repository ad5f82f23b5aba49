// The date and the time of day as the user's regional settings show them.
#pragma once

#include <windows.h>

// Capacity, in characters, of the buffers the formatters write.
const int SK_DATE_TEXT_CHARS = 260;

// The short date (e.g. "3/5/2007"); the buffer is empty when the date cannot be formatted.
void SKFormatDate(SYSTEMTIME stTime, wchar_t* wcsBuffer);
// The time without seconds (e.g. "2:07 PM"); the buffer is empty when it cannot be formatted.
void SKFormatTime(SYSTEMTIME stTime, wchar_t* wcsBuffer);
