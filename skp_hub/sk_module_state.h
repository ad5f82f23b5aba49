// The plug-in's module state: while an export runs, resources resolve against this library.
// Every export makes it current with a CSKModuleStateGuard, which restores the caller's state on
// every return path.
#pragma once

#include <windows.h>

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
