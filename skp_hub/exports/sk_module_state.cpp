#include "sk_module_state.h"

#include "ksl_thread_slot.h"

namespace {
HMODULE g_hLibrary = nullptr;
// In a TLS slot the library returns when it is unloaded (a thread_local of this toolchain would
// keep a TLS index and a runtime key per load).
CKSLThreadSlot g_resourceModule;
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
    return static_cast<HMODULE>(g_resourceModule.get());
}

CSKModuleStateGuard::CSKModuleStateGuard() : m_hPrevious(SKGetCurrentResourceModule())
{
    g_resourceModule.set(g_hLibrary);
}

CSKModuleStateGuard::~CSKModuleStateGuard()
{
    g_resourceModule.set(m_hPrevious);
}

CSKCallScope::CSKCallScope(EMode mode)
    : m_log(mode == Silent ? CKSLLogSettingsScope::Off : CKSLLogSettingsScope::ReadOnce), m_call(mode == Silent)
{
}
