// Shared set-up of the registry tests: a scratch registry per test with the library log switched
// on into a private file (LogCaptureTest), and small readers of what the log and the registry hold.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ksl_registry_key.h"
#include "log_capture.h"

class RegistryTest : public LogCaptureTest {
protected:
    // The log lines written so far, without line ends.
    std::vector<std::wstring> logLines() const;
    // The log holds exactly these lines, each containing its part.
    void expectLogLines(const std::vector<std::wstring>& parts) const;
};

// Where the tests keep their keys (inside the scratch HKEY_LOCAL_MACHINE).
extern const wchar_t kTestKey[];

// Raw registry reads for checking what the classes wrote.
bool readRawValue(HKEY hRoot, const std::wstring& key, const wchar_t* name, DWORD& type, std::vector<BYTE>& data);
bool rawValueExists(HKEY hRoot, const std::wstring& key, const wchar_t* name);

// The strings of a list, in order.
std::vector<std::wstring> toVector(const CKSLWCharStringList& list);
