#include "scratch_registry.h"

#include <cstdio>
#include <cstring>

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

// The name of the subkey at an index, or empty past the last one.
std::wstring subKeyAt(HKEY hKey, DWORD dwIndex)
{
    wchar_t name[256];
    DWORD len = 256;
    if (RegEnumKeyExW(hKey, dwIndex, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return std::wstring();
    return std::wstring(name, len);
}

// Deletes a key and everything below it in the 64-bit view (the whole tree, whichever view this
// program has), removing a symbolic link itself rather than what it points to.
void deleteScratchTree(HKEY hParent, const wchar_t* wcsName)
{
    using NtDeleteKeyFn = LONG(WINAPI*)(HANDLE);
    static const auto pfnNtDeleteKey =
        reinterpret_cast<NtDeleteKeyFn>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")));
    ScopedKey key;
    if (!pfnNtDeleteKey || RegOpenKeyExW(hParent, wcsName, REG_OPTION_OPEN_LINK,
                                         KEY_READ | DELETE | KEY_WOW64_64KEY, &key.h) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0;;) {
        const std::wstring sub = subKeyAt(key.h, i);
        if (sub.empty())
            break;
        deleteScratchTree(key.h, sub.c_str());
        if (subKeyAt(key.h, i) == sub)
            ++i; // could not be deleted: go on with the next one
    }
    pfnNtDeleteKey(key.h);
}

// On 64-bit Windows the machine branch of a 32-bit program is redirected: HKLM\SOFTWARE\X is
// HKLM\SOFTWARE\Wow6432Node\X, except the policy branch, which both views share through a link.
// The scratch machine key gets the same layout, so that each build sees its own view as it would
// on the real machine.
bool is64BitWindows()
{
    SYSTEM_INFO native = {};
    GetNativeSystemInfo(&native);
    return native.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_INTEL;
}

std::wstring keyObjectName(HKEY hKey)
{
    using NtQueryKeyFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto pfnNtQueryKey =
        reinterpret_cast<NtQueryKeyFn>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
    const int kKeyNameInformation = 3;
    ULONG cb = 0;
    static_assert(sizeof(ULONG) == 4, "the name length comes first");
    std::wstring buffer(1024, L'\0');
    if (!pfnNtQueryKey ||
        pfnNtQueryKey(hKey, kKeyNameInformation, &buffer[0], static_cast<ULONG>(buffer.size() * sizeof(wchar_t)), &cb) != 0)
        return std::wstring();
    ULONG cbName = 0;
    memcpy(&cbName, buffer.data(), sizeof cbName);
    return std::wstring(buffer.data() + 2, cbName / sizeof(wchar_t));
}

void mirrorWow64Layout(HKEY hMachine)
{
    ScopedKey policies, wow, link;
    const DWORD sam = KEY_ALL_ACCESS | KEY_WOW64_64KEY;
    if (RegCreateKeyExW(hMachine, L"SOFTWARE\\Policies", 0, nullptr, 0, sam, nullptr, &policies.h, nullptr) ||
        RegCreateKeyExW(hMachine, L"SOFTWARE\\Wow6432Node", 0, nullptr, 0, sam, nullptr, &wow.h, nullptr)) {
        ADD_FAILURE() << "cannot create the scratch machine branches";
        return;
    }
    const std::wstring target = keyObjectName(policies.h);
    if (target.empty() ||
        RegCreateKeyExW(wow.h, L"Policies", 0, nullptr, REG_OPTION_CREATE_LINK, sam | KEY_CREATE_LINK, nullptr,
                        &link.h, nullptr) != ERROR_SUCCESS ||
        RegSetValueExW(link.h, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.data()),
                       static_cast<DWORD>(target.size() * sizeof(wchar_t))) != ERROR_SUCCESS)
        ADD_FAILURE() << "cannot link the 32-bit policy branch to the shared one";
}

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
    for (DWORD i = 0;;) {
        const std::wstring name = subKeyAt(root.h, i);
        if (name.empty())
            break;
        const DWORD pid = wcstoul(name.c_str(), nullptr, 10);
        if (pid != GetCurrentProcessId() && !processAlive(pid)) {
            deleteScratchTree(root.h, name.c_str());
            if (subKeyAt(root.h, i) != name)
                continue; // the next key moved into slot i
        }
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
    deleteScratchTree(hUser, sub);
    const std::wstring machine = m_path + L"\\HKLM";
    const std::wstring user = m_path + L"\\HKCU";
    RegCreateKeyExW(hUser, machine.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hMachine, nullptr);
    RegCreateKeyExW(hUser, user.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hUser, nullptr);
    if (!m_hMachine || !m_hUser) {
        ADD_FAILURE() << "cannot create the scratch registry keys";
        return;
    }
    if (is64BitWindows())
        mirrorWow64Layout(m_hMachine);
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
    deleteScratchTree(realUser.h ? realUser.h : HKEY_CURRENT_USER, m_path.c_str());
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
