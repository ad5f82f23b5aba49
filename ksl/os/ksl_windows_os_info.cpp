#include "ksl_windows_os_info.h"

#include "ksl_catch.h"
#include "ksl_environment_variable.h"
#include "ksl_method_trace.h"
#include "ksl_registry_dword.h"
#include "ksl_scoped_handle.h"
#include "ksl_system_library.h"

namespace {
const wchar_t kClass[] = L"CKSLWindowsOSInfo";
const WORD kIsOSOrdinal = 437;
typedef BOOL(WINAPI* PFN_IsOS)(DWORD);
} // namespace

CKSLWindowsOSInfo::CKSLWindowsOSInfo()
{
    CKSLMethodTrace trace(kClass, L"CKSLWindowsOSInfo", KSL_HERE);
    if (performPECheck())
        m_bPreinstallEnvironment = true;
    bool bAnswer = false;
    if (performOSQueryFunction(18, bAnswer)) {
        m_bFirstOSQuery = bAnswer;
        if (performOSQueryFunction(37, bAnswer))
            m_bSecondOSQuery = bAnswer;
    }
    readServicePack();
    readVersion();
}

CKSLWindowsOSInfo::~CKSLWindowsOSInfo()
{
    CKSLMethodTrace trace(kClass, L"~CKSLWindowsOSInfo", KSL_HERE);
}

void CKSLWindowsOSInfo::readServicePack()
{
    CKSLRegistryDword csdVersion(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Windows", L"CSDVersion",
                                 KEY_READ, false, 0);
    DWORD dwValue = 0;
    m_ulServicePack = csdVersion.getValue(dwValue, false) ? (dwValue >> 8) : 0;
}

void CKSLWindowsOSInfo::readVersion()
{
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
    BOOL ok = GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
    if (!ok) {
        info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
        ok = GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
    }
    if (!ok)
        throw CKSLWindowsOSInfoInitNeededException(
            L"CKSLWindowsOSInfo construction failed. Cannot call member functions.", static_cast<long>(GetLastError()),
            KSL_HERE);
    m_dVersion = static_cast<double>(info.dwMajorVersion) + static_cast<double>(info.dwMinorVersion) * 0.1;
}

bool CKSLWindowsOSInfo::performOSQueryFunction(unsigned long ulQuery, bool& bAnswer)
{
    CKSLMethodTrace trace(kClass, L"performOSQueryFunction", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        CKSLScopedModule shlwapi(kslLoadSystemLibrary(L"shlwapi.dll"));
        if (!shlwapi)
            return false;
        const auto isOS = reinterpret_cast<PFN_IsOS>(
            reinterpret_cast<void*>(GetProcAddress(shlwapi.get(), MAKEINTRESOURCEA(kIsOSOrdinal))));
        if (!isOS)
            return false;
        bAnswer = isOS(ulQuery) != FALSE;
        return true;
    }));
}

bool CKSLWindowsOSInfo::performPECheck()
{
    CKSLMethodTrace trace(kClass, L"performPECheck", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        CKSLEnvironmentVariable drive(L"KSLDrive");
        CKSLWCharString value;
        return drive.getValue(value) && value.getLength() > 0;
    }));
}
