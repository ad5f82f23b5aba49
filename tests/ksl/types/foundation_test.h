// Fixture of the buffer, flags and string tests: the library log of each test goes to a private
// file (default detail: errors and warnings, no method tracing), so rejected arguments can be read back.
#pragma once

#include <string>

#include "ksl_wchar_string.h"
#include "log_capture.h"

class FoundationTest : public LogCaptureTest {
protected:
    // How often "A bad argument was provided ( name ). text" was logged.
    size_t countBadArg(const std::wstring& name, const std::wstring& text) const
    {
        return logCount(L"\"A bad argument was provided ( " + name + L" ). " + text + L"\"");
    }
};

typedef CKSLWCharString S;

inline std::wstring text(const S& s)
{
    return s.getString();
}
