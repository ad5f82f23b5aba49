// System functions that older Windows versions lack, loaded at run time when present (from the
// system folder only), so that the plug-in imports none of them. Outside the pre-installation
// environment the libraries stay loaded for the life of the object; inside it nothing is loaded.
#pragma once

#include <windows.h>
#include <wtsapi32.h>

#include "ksl_scoped_handle.h"

// The three libraries looked in, and where. Tests name stand-ins to play a Windows that lacks one.
struct CSKDllModuleNames {
    // Null: the system folder, the only place the plug-in takes them from.
    const wchar_t* wcsFolder = nullptr;
    const wchar_t* wcsSensapi = L"sensapi.dll";
    const wchar_t* wcsKernel32 = L"kernel32.dll";
    const wchar_t* wcsWtsapi32 = L"wtsapi32.dll";
};

class CSKDllFuncs {
public:
    typedef BOOL(WINAPI* PFN_IsNetworkAlive)(LPDWORD);
    typedef DWORD(WINAPI* PFN_WTSGetActiveConsoleSessionId)();
    typedef BOOL(WINAPI* PFN_IsWow64Process)(HANDLE, PBOOL);
    typedef void(WINAPI* PFN_GetNativeSystemInfo)(LPSYSTEM_INFO);
    typedef BOOL(WINAPI* PFN_WTSQuerySessionInformationW)(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR*, DWORD*);
    typedef void(WINAPI* PFN_WTSFreeMemory)(PVOID);

    explicit CSKDllFuncs(const CSKDllModuleNames& names = CSKDllModuleNames());
    // Frees the libraries; a failed release is traced under "Safekeep".
    ~CSKDllFuncs();
    CSKDllFuncs(const CSKDllFuncs&) = delete;
    CSKDllFuncs& operator=(const CSKDllFuncs&) = delete;

    // 1 in the pre-installation environment (nothing loaded), else 0. A missing library or
    // export is normal and silent; any other loader failure goes to the error report. A second
    // call only fills what is still missing.
    int loadFunctions();

    // Null when not loaded.
    PFN_IsNetworkAlive isNetworkAlive() const { return m_pfnIsNetworkAlive; }
    PFN_WTSGetActiveConsoleSessionId wtsGetActiveConsoleSessionId() const { return m_pfnWTSGetActiveConsoleSessionId; }
    PFN_IsWow64Process isWow64Process() const { return m_pfnIsWow64Process; }
    PFN_GetNativeSystemInfo getNativeSystemInfo() const { return m_pfnGetNativeSystemInfo; }
    PFN_WTSQuerySessionInformationW wtsQuerySessionInformation() const { return m_pfnWTSQuerySessionInformationW; }
    PFN_WTSFreeMemory wtsFreeMemory() const { return m_pfnWTSFreeMemory; }

private:
    void loadModules();
    void resolveFunctions();
    void freeModules();

    CSKDllModuleNames m_names;
    CKSLScopedModule m_hSensapi;
    CKSLScopedModule m_hKernel32;
    CKSLScopedModule m_hWtsapi32;
    PFN_IsNetworkAlive m_pfnIsNetworkAlive = nullptr;
    PFN_WTSGetActiveConsoleSessionId m_pfnWTSGetActiveConsoleSessionId = nullptr;
    PFN_IsWow64Process m_pfnIsWow64Process = nullptr;
    PFN_GetNativeSystemInfo m_pfnGetNativeSystemInfo = nullptr;
    PFN_WTSQuerySessionInformationW m_pfnWTSQuerySessionInformationW = nullptr;
    PFN_WTSFreeMemory m_pfnWTSFreeMemory = nullptr;
};
