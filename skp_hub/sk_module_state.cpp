#include "sk_module_state.h"

#include "ksl_thread_slot.h"
#include "sk_resource.h"

namespace {
HMODULE g_hLibrary = nullptr;
// Per-thread state in TLS slots the library returns when it is unloaded (a thread_local of this
// toolchain would keep a TLS index and a runtime key per load).
CKSLThreadSlot g_resourceModule;
CKSLThreadSlot g_currentCall;
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

SKCallState* SKCurrentCall()
{
    return static_cast<SKCallState*>(g_currentCall.get());
}

CSKCallScope::CSKCallScope(EMode mode)
    : m_log(mode == Silent ? CKSLLogSettingsScope::Off : CKSLLogSettingsScope::ReadOnce),
      m_pPrevious(SKCurrentCall()), m_bCurrent(false)
{
    m_call.bSilent = mode == Silent;
    // A call made inside another (never by the launcher) shares the outer call's state.
    if (m_pPrevious == nullptr || mode == Silent)
        m_bCurrent = g_currentCall.set(&m_call);
}

CSKCallScope::~CSKCallScope()
{
    if (!m_bCurrent)
        return;
    SKReleaseResourceMapping(m_call.resource);
    g_currentCall.set(m_pPrevious);
}
