#include "plugin_loader.h"

#include <gtest/gtest.h>

#include "test_paths.h"

namespace {
template <class T>
T lookUp(HMODULE h, const char* name)
{
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(h, name)));
}
} // namespace

PluginLoader::PluginLoader()
{
    load();
}

PluginLoader::~PluginLoader()
{
    unload();
}

void PluginLoader::reload()
{
    unload();
    load();
}

void PluginLoader::load()
{
    const std::wstring path = testBinDir() + L"skp_hub.dll";
    m_hModule = LoadLibraryW(path.c_str());
    if (!m_hModule) {
        ADD_FAILURE() << "cannot load skp_hub.dll, error " << GetLastError();
        return;
    }
    getCapability = lookUp<PFN_LP_GetCapability>(m_hModule, "LP_GetCapability");
    getFunctionInfo = lookUp<PFN_LP_GetFunctionInfo>(m_hModule, "LP_GetFunctionInfo");
    getStatus = lookUp<PFN_LP_GetStatus>(m_hModule, "LP_GetStatus");
    backupNow = lookUp<PFN_LP_Action>(m_hModule, "LP_BackupNow");
    rejuvenate = lookUp<PFN_LP_Action>(m_hModule, "LP_Rejuvenate");
    EXPECT_TRUE(getCapability && getFunctionInfo && getStatus && backupNow && rejuvenate);
}

void PluginLoader::unload()
{
    if (m_hModule)
        FreeLibrary(m_hModule);
    m_hModule = nullptr;
}

std::string readTraceFile(const std::wstring& path)
{
    return readFileBytes(path);
}

int countOccurrences(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size()))
        ++n;
    return n;
}
