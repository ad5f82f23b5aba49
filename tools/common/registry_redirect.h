// For the tests of the whole loop: a tool started with --registry KEY reads and writes the
// registry where the starting test does. HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER of this process
// become HKCU\KEY\HKLM and HKCU\KEY\HKCU (the layout of the tests' scratch registry), for the
// life of the object. Header only; hubhost and the service stand-in share it.
#pragma once

#include <windows.h>

#include <string>

#include "ksl_scoped_handle.h"

class CToolRegistryRedirect {
public:
    CToolRegistryRedirect() = default;
    CToolRegistryRedirect(const CToolRegistryRedirect&) = delete;
    CToolRegistryRedirect& operator=(const CToolRegistryRedirect&) = delete;
    ~CToolRegistryRedirect()
    {
        if (m_hMachine)
            RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        if (m_hUser)
            RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    }

    // Both keys must exist already: a test made them. Answers whether both roots were redirected.
    bool redirect(const std::wstring& wcsKey)
    {
        // Both are opened through the real HKEY_CURRENT_USER, before either root is redirected.
        if (RegOpenKeyExW(HKEY_CURRENT_USER, (wcsKey + L"\\HKLM").c_str(), 0, KEY_ALL_ACCESS,
                          m_hMachine.receive()) != ERROR_SUCCESS ||
            RegOpenKeyExW(HKEY_CURRENT_USER, (wcsKey + L"\\HKCU").c_str(), 0, KEY_ALL_ACCESS,
                          m_hUser.receive()) != ERROR_SUCCESS)
            return false;
        return RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_hMachine.get()) == ERROR_SUCCESS &&
               RegOverridePredefKey(HKEY_CURRENT_USER, m_hUser.get()) == ERROR_SUCCESS;
    }

private:
    CKSLScopedKey m_hMachine;
    CKSLScopedKey m_hUser;
};
