#include "sk_dll_funcs.h"

#include "ksl_system_library.h"
#include "sk_preinstall.h"
#include "sk_trace.h"

namespace {

// Loads a library from the folder (the system folder when null) unless it already is; a missing
// one (older Windows) is not worth a report.
void loadModule(CKSLScopedModule& module, const wchar_t* wcsFolder, const wchar_t* wcsName)
{
    if (module)
        return;
    const HMODULE hModule = kslLoadLibraryIn(wcsFolder, wcsName);
    if (!hModule) {
        const DWORD dwError = GetLastError();
        if (dwError != ERROR_MOD_NOT_FOUND)
            SKReportError(dwError, L"LoadLibrary", wcsName);
        return;
    }
    module.reset(hModule);
}

// Looks an export up unless it is already known; a missing one is not worth a report.
// wcsReportName is the function's name in the error report.
template <class TFunction>
void resolve(const CKSLScopedModule& module, TFunction& pfn, const char* szExport, const wchar_t* wcsReportName)
{
    if (pfn)
        return;
    const FARPROC proc = GetProcAddress(module.get(), szExport);
    if (!proc) {
        const DWORD dwError = GetLastError();
        if (dwError != ERROR_PROC_NOT_FOUND)
            SKReportError(dwError, L"GetProcAddress", wcsReportName);
        return;
    }
    pfn = reinterpret_cast<TFunction>(reinterpret_cast<void*>(proc));
}

void freeModule(CKSLScopedModule& module, const wchar_t* wcsName)
{
    if (!module.reset())
        SKTrace(SK_TRACE_SAFEKEEP, L"~CSKDllFuncs-FreeLibrary(%s) failed. Error %d", wcsName,
                static_cast<int>(GetLastError()));
}

} // namespace

CSKDllFuncs::CSKDllFuncs(const CSKDllModuleNames& names) : m_names(names) {}

CSKDllFuncs::~CSKDllFuncs()
{
    freeModules();
}

int CSKDllFuncs::loadFunctions()
{
    if (isPreinstallEnvironment())
        return 1;
    loadModules();
    resolveFunctions();
    return 0;
}

void CSKDllFuncs::loadModules()
{
    loadModule(m_hSensapi, m_names.wcsFolder, m_names.wcsSensapi);
    loadModule(m_hKernel32, m_names.wcsFolder, m_names.wcsKernel32);
    loadModule(m_hWtsapi32, m_names.wcsFolder, m_names.wcsWtsapi32);
}

void CSKDllFuncs::resolveFunctions()
{
    if (m_hSensapi)
        resolve(m_hSensapi, m_pfnIsNetworkAlive, "IsNetworkAlive", L"IsNetworkAlive");
    if (m_hKernel32) {
        resolve(m_hKernel32, m_pfnWTSGetActiveConsoleSessionId, "WTSGetActiveConsoleSessionId",
                L"WTSGetActiveConsoleSessionId");
        resolve(m_hKernel32, m_pfnIsWow64Process, "IsWow64Process", L"IsWow64Process");
        resolve(m_hKernel32, m_pfnGetNativeSystemInfo, "GetNativeSystemInfo", L"GetNativeSystemInfo");
    }
    if (!m_hWtsapi32)
        return;
    resolve(m_hWtsapi32, m_pfnWTSQuerySessionInformationW, "WTSQuerySessionInformationW",
            L"WTSQuerySessionInformation");
    resolve(m_hWtsapi32, m_pfnWTSFreeMemory, "WTSFreeMemory", L"WTSFreeMemory");
}

// No pointer may outlive the library it points into, so all are cleared, loaded or not.
void CSKDllFuncs::freeModules()
{
    freeModule(m_hSensapi, m_names.wcsSensapi);
    freeModule(m_hKernel32, m_names.wcsKernel32);
    freeModule(m_hWtsapi32, m_names.wcsWtsapi32);
    m_pfnIsNetworkAlive = nullptr;
    m_pfnWTSGetActiveConsoleSessionId = nullptr;
    m_pfnIsWow64Process = nullptr;
    m_pfnGetNativeSystemInfo = nullptr;
    m_pfnWTSQuerySessionInformationW = nullptr;
    m_pfnWTSFreeMemory = nullptr;
}
