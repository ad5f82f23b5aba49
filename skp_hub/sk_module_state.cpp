#include "sk_module_state.h"

namespace {
HMODULE g_hLibrary = nullptr;
thread_local HMODULE t_hResourceModule = nullptr;
} // namespace

HMODULE SKGetLibraryModule()
{
    return g_hLibrary;
}

void SKSetLibraryModule(HMODULE hModule)
{
    g_hLibrary = hModule;
}

HMODULE SKGetCurrentResourceModule()
{
    return t_hResourceModule;
}

CSKModuleStateGuard::CSKModuleStateGuard() : m_hPrevious(t_hResourceModule)
{
    t_hResourceModule = g_hLibrary;
}

CSKModuleStateGuard::~CSKModuleStateGuard()
{
    t_hResourceModule = m_hPrevious;
}
