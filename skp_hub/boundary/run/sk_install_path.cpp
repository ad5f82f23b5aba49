#include "sk_install_path.h"

#include <windows.h>

#include "ksl_registry_string.h"
#include "sk_copy.h"

namespace {
wchar_t g_szInstallPath[MAX_PATH];
} // namespace

const wchar_t* getInstallPath(const wchar_t* wcsKeyPath, const wchar_t* wcsValueName)
{
    g_szInstallPath[0] = L'\0';
    CKSLRegistryValue value(HKEY_LOCAL_MACHINE, wcsKeyPath, wcsValueName, KEY_READ, false, 0);
    CKSLWCharString path;
    if (value.getValue(path, false))
        SK_tcscpy(g_szInstallPath, sizeof g_szInstallPath, path.getString());
    const size_t len = wcslen(g_szInstallPath);
    if (len > 0 && g_szInstallPath[len - 1] == L'\\')
        g_szInstallPath[len - 1] = L'\0';
    return g_szInstallPath;
}
