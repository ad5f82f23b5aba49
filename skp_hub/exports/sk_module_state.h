// The plug-in's module state: while an export runs, resources resolve against this library.
// Every export makes it current with a CSKModuleStateGuard, which restores the caller's state on
// every return path; the catalogue, status and action exports hold a whole CSKCallScope, which
// adds what the call finds out once (the library's log configuration, and the call state of
// sk_call_state.h: trace switches, the resource library's mapping, the pre-installation answer).
#pragma once

#include <windows.h>

#include "ksl_log_settings.h"
#include "sk_call_state.h"

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

// Everything one exported call holds: the module state, the log configuration and the call
// state. A silent scope reads and traces nothing (for code that runs under the loader lock).
class CSKCallScope {
public:
    enum EMode { Normal, Silent };
    explicit CSKCallScope(EMode mode = Normal);
    CSKCallScope(const CSKCallScope&) = delete;
    CSKCallScope& operator=(const CSKCallScope&) = delete;

private:
    CSKModuleStateGuard m_state;
    CKSLLogSettingsScope m_log;
    CSKCallStateScope m_call;
};
