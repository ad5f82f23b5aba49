// Readable output of the plug-in's records for hubhost.
#pragma once

#include <string>

#include "skp_hub.h"

// Console output in UTF-8 (works for pipes and terminals alike).
void hostPrint(const char* format, ...);
std::string toUtf8(const LP_WCHAR* wcs, size_t maxChars);
std::string toUtf8(const std::wstring& text);
// A record's text field, for printing.
#define HOST_TEXT(field) toUtf8(field, sizeof(field) / sizeof(field[0])).c_str()
void printFunctionInfo(const LP_FUNCTION_INFO& info);
void printStatusInfo(const LP_STATUS_INFO& status);
