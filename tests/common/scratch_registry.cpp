#include "scratch_registry.h"

#include <cstdio>

namespace {

const wchar_t kTestRoot[] = L"Software\\SkpHubTest";

struct ScopedKey {
    HKEY h = nullptr;
    ~ScopedKey()
    {
        if (h)
            RegCloseKey(h);
    }
};

bool processAlive(DWORD pid)
{
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!h)
        return false;
    const bool alive = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return alive;
}

// Scratch keys of crashed runs ("<pid>-<n>" whose process is gone) are removed once per process.
void removeStaleScratchKeys(HKEY hRealUser)
{
    ScopedKey root;
    if (RegOpenKeyExW(hRealUser, kTestRoot, 0, KEY_READ | KEY_WRITE, &root.h) != ERROR_SUCCESS)
        return;
    wchar_t name[64];
    for (DWORD i = 0;;) {
        DWORD len = 64;
        if (RegEnumKeyExW(root.h, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        const DWORD pid = wcstoul(name, nullptr, 10);
        if (pid != GetCurrentProcessId() && !processAlive(pid) && RegDeleteTreeW(root.h, name) == ERROR_SUCCESS)
            continue; // the next key moved into slot i
        ++i;
    }
}

} // namespace

ScratchRegistry::ScratchRegistry()
{
    static bool s_cleaned = false;
    static unsigned s_counter = 0;
    // Both scratch keys are made through the real HKEY_CURRENT_USER, before any redirection.
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ScopedKey realUser;
    RegOpenCurrentUser(KEY_ALL_ACCESS, &realUser.h);
    HKEY hUser = realUser.h ? realUser.h : HKEY_CURRENT_USER;
    if (!s_cleaned) {
        removeStaleScratchKeys(hUser);
        s_cleaned = true;
    }
    wchar_t sub[96];
    swprintf(sub, 96, L"%ls\\%lu-%u", kTestRoot, GetCurrentProcessId(), ++s_counter);
    m_path = sub;
    RegDeleteTreeW(hUser, sub);
    const std::wstring machine = m_path + L"\\HKLM";
    const std::wstring user = m_path + L"\\HKCU";
    RegCreateKeyExW(hUser, machine.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hMachine, nullptr);
    RegCreateKeyExW(hUser, user.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hUser, nullptr);
    if (!m_hMachine || !m_hUser) {
        ADD_FAILURE() << "cannot create the scratch registry keys";
        return;
    }
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_hMachine);
    RegOverridePredefKey(HKEY_CURRENT_USER, m_hUser);
}

ScratchRegistry::~ScratchRegistry()
{
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    if (m_hMachine)
        RegCloseKey(m_hMachine);
    if (m_hUser)
        RegCloseKey(m_hUser);
    ScopedKey realUser;
    RegOpenCurrentUser(KEY_ALL_ACCESS, &realUser.h);
    RegDeleteTreeW(realUser.h ? realUser.h : HKEY_CURRENT_USER, m_path.c_str());
}

void ScratchRegistryTest::SetUp()
{
    m_pScratch = new ScratchRegistry();
}

void ScratchRegistryTest::TearDown()
{
    delete m_pScratch;
    m_pScratch = nullptr;
}

namespace {
bool setValue(HKEY hRoot, const std::wstring& key, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    ScopedKey k;
    if (RegCreateKeyExW(hRoot, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k.h, nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(k.h, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}
} // namespace

bool setRegString(HKEY hRoot, const std::wstring& key, const wchar_t* name, const std::wstring& value, DWORD type)
{
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return setValue(hRoot, key, name, type, value.c_str(), bytes);
}

bool setRegDword(HKEY hRoot, const std::wstring& key, const wchar_t* name, DWORD value)
{
    return setValue(hRoot, key, name, REG_DWORD, &value, sizeof value);
}

bool setRegBinary(HKEY hRoot, const std::wstring& key, const wchar_t* name, const void* data, DWORD size)
{
    return setValue(hRoot, key, name, REG_BINARY, data, size);
}

bool deleteRegValue(HKEY hRoot, const std::wstring& key, const wchar_t* name)
{
    ScopedKey k;
    if (RegOpenKeyExW(hRoot, key.c_str(), 0, KEY_WRITE, &k.h) != ERROR_SUCCESS)
        return false;
    return RegDeleteValueW(k.h, name) == ERROR_SUCCESS;
}

bool deleteRegTree(HKEY hRoot, const std::wstring& key)
{
    return RegDeleteTreeW(hRoot, key.c_str()) == ERROR_SUCCESS;
}

bool regKeyExists(HKEY hRoot, const std::wstring& key)
{
    ScopedKey k;
    return RegOpenKeyExW(hRoot, key.c_str(), 0, KEY_READ, &k.h) == ERROR_SUCCESS;
}
