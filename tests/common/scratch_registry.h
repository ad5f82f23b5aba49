// Keeps tests away from the machine's registry: for the life of one test, HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER of this process are redirected into a scratch key
// HKCU\Software\SkpHubTest\<pid>-<n>\{HKLM,HKCU}, which is deleted afterwards.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

class ScratchRegistry {
public:
    ScratchRegistry();
    ~ScratchRegistry();
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    // The scratch key's path under the real HKEY_CURRENT_USER.
    const std::wstring& path() const { return m_path; }

private:
    std::wstring m_path;
    HKEY m_hMachine = nullptr;
    HKEY m_hUser = nullptr;
};

class ScratchRegistryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    ScratchRegistry* m_pScratch = nullptr;
};

// Small registry writers for test set-up (through the redirected roots). All return success.
bool setRegString(HKEY hRoot, const std::wstring& key, const wchar_t* name, const std::wstring& value,
                  DWORD type = REG_SZ);
bool setRegDword(HKEY hRoot, const std::wstring& key, const wchar_t* name, DWORD value);
bool setRegBinary(HKEY hRoot, const std::wstring& key, const wchar_t* name, const void* data, DWORD size);
bool deleteRegValue(HKEY hRoot, const std::wstring& key, const wchar_t* name);
bool deleteRegTree(HKEY hRoot, const std::wstring& key);
bool regKeyExists(HKEY hRoot, const std::wstring& key);
