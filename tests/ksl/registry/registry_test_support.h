// Shared set-up of the registry tests: a scratch registry per test with the library log switched
// on into a private file, and small readers of what the log and the registry hold.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ksl_registry_key.h"
#include "scratch_registry.h"

class RegistryTest : public ScratchRegistryTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The log lines written so far, without byte-order mark and line ends.
    std::vector<std::wstring> logLines() const;
    // How many log lines hold the text.
    size_t logCount(const std::wstring& text) const;
    // Forgets what was logged so far.
    void clearLog() const;

    const std::wstring& logPath() const { return m_logPath; }

private:
    std::wstring m_logPath;
};

// Where the tests keep their keys (inside the scratch HKEY_LOCAL_MACHINE).
extern const wchar_t kTestKey[];

// Raw registry reads for checking what the classes wrote.
bool readRawValue(HKEY hRoot, const std::wstring& key, const wchar_t* name, DWORD& type, std::vector<BYTE>& data);
bool rawValueExists(HKEY hRoot, const std::wstring& key, const wchar_t* name);

// The strings of a list, in order.
std::vector<std::wstring> toVector(const CKSLWCharStringList& list);
