// Loads the built skp_hub.dll into the test process, as the launcher does, and unloads it again,
// so every test starts from a freshly loaded library.
#pragma once

#include <windows.h>

#include <string>

#include "skp_hub.h"

class PluginLoader {
public:
    PluginLoader();
    ~PluginLoader();
    PluginLoader(const PluginLoader&) = delete;
    PluginLoader& operator=(const PluginLoader&) = delete;

    bool loaded() const { return m_hModule != nullptr; }
    void reload();

    PFN_LP_GetCapability getCapability = nullptr;
    PFN_LP_GetFunctionInfo getFunctionInfo = nullptr;
    PFN_LP_GetStatus getStatus = nullptr;
    PFN_LP_Action backupNow = nullptr;
    PFN_LP_Action rejuvenate = nullptr;

private:
    void load();
    void unload();
    HMODULE m_hModule = nullptr;
};

// Lines of a trace file (CR LF separated), without their line ends.
std::string readTraceFile(const std::wstring& path);
int countOccurrences(const std::string& text, const std::string& what);
