#include "record_printer.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

void hostPrint(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    fflush(stdout);
}

std::string toUtf8(const LP_WCHAR* wcs, size_t maxChars)
{
    size_t len = 0;
    while (len < maxChars && wcs[len] != 0)
        ++len;
    if (len == 0)
        return std::string();
    const wchar_t* w = reinterpret_cast<const wchar_t*>(wcs);
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(len), &out[0], n, nullptr, nullptr);
    return out;
}

std::string toUtf8(const std::wstring& text)
{
    return toUtf8(reinterpret_cast<const LP_WCHAR*>(text.c_str()), text.size());
}

void printFunctionInfo(const LP_FUNCTION_INFO& info)
{
    hostPrint("  nFunctionId            = %d\n", info.nFunctionId);
    hostPrint("  nCatalogId             = %d\n", info.nCatalogId);
    hostPrint("  nReserved              = %d\n", info.nReserved);
    hostPrint("  bStatusAvailable       = %d\n", info.bStatusAvailable);
    hostPrint("  szName                 = \"%s\"\n", HOST_TEXT(info.szName));
    hostPrint("  szEventForStatusChange = \"%s\"\n", HOST_TEXT(info.szEventForStatusChange));
    hostPrint("  nExecType              = %d (%s)\n", info.nExecType,
              info.nExecType == LP_EXEC_LIBRARY_EXPORT ? "library export" : "command line");
    hostPrint("  szExecInterface        = \"%s\"\n", HOST_TEXT(info.szExecInterface));
}

void printStatusInfo(const LP_STATUS_INFO& status)
{
    hostPrint("  nFunctionId   = %d\n", status.nFunctionId);
    hostPrint("  szName        = \"%s\"\n", HOST_TEXT(status.szName));
    hostPrint("  nStatusKind   = %d\n", status.nStatusKind);
    hostPrint("  nStatusDetail = %d\n", status.nStatusDetail);
    hostPrint("  szStatusText  = \"%s\"\n", HOST_TEXT(status.szStatusText));
    hostPrint("  szStatusExtra = \"%s\"\n", HOST_TEXT(status.szStatusExtra));
}
