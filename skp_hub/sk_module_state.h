// The plug-in's module state: while an export runs, resources resolve against this library.
// Every export makes it current with a CSKModuleStateGuard, which restores the caller's state on
// every return path.
//
// The state of one exported call: what cannot change within a call is found out once and reused
// by every step of it (the debug trace switch per source, the resource library's mapping, the
// pre-installation answer, and through CKSLLogSettingsScope the library's log configuration).
// The next call finds everything out again, so a change made between two calls is seen by the
// second. Outside a call (the utility module used on its own) every step asks afresh.
#pragma once

#include <windows.h>

#include <string>

#include "ksl_log_settings.h"

// This library's module handle (set when the library is loaded).
HMODULE SKGetLibraryModule();
void SKSetLibraryModule(HMODULE hModule);

// The module whose resources the current thread resolves against; null outside any export.
HMODULE SKGetCurrentResourceModule();

class CSKModuleStateGuard {
public:
    CSKModuleStateGuard();
    ~CSKModuleStateGuard();
    CSKModuleStateGuard(const CSKModuleStateGuard&) = delete;
    CSKModuleStateGuard& operator=(const CSKModuleStateGuard&) = delete;

private:
    HMODULE m_hPrevious;
};

// One trace source's switch as the call read it. A call that ran longer than kLifetimeMs (one
// that waited for a program the user may keep open for minutes) reads it again.
struct SKTraceSwitch {
    static const DWORD kLifetimeMs = 1000;

    wchar_t wcsSource[32];
    bool bOn;
    DWORD dwReadTick;
    wchar_t wcsPath[130];
};

// The resource library as the call first found and mapped it (released when the call ends).
struct SKResourceMapping {
    bool bTried = false;   // the path has been looked for and the library loaded
    bool bPathFound = false;
    std::wstring path;
    HMODULE hModule = nullptr;
    DWORD dwLoadError = 0; // why it could not be loaded
};

struct SKCallState {
    static const int kTraceSwitches = 4;

    bool bSilent = false; // unload: nothing is read and nothing traced
    SKTraceSwitch traceSwitches[kTraceSwitches] = {};
    int nTraceSwitches = 0;
    int nPreinstall = -1; // isPreinstallEnvironment, -1 until asked
    SKResourceMapping resource;
};

// The current thread's call state, or null outside an exported call.
SKCallState* SKCurrentCall();

// Everything one exported call holds: the module state, the log configuration and the call
// state. A silent scope reads and traces nothing (for code that runs under the loader lock).
class CSKCallScope {
public:
    enum EMode { Normal, Silent };
    explicit CSKCallScope(EMode mode = Normal);
    ~CSKCallScope();
    CSKCallScope(const CSKCallScope&) = delete;
    CSKCallScope& operator=(const CSKCallScope&) = delete;

private:
    CSKModuleStateGuard m_state;
    CKSLLogSettingsScope m_log;
    SKCallState m_call;
    SKCallState* m_pPrevious;
    bool m_bCurrent;
};
