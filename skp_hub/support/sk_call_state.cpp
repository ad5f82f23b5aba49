#include "sk_call_state.h"

#include "ksl_thread_slot.h"
#include "sk_trace.h"

namespace {
// In a TLS slot the library returns when it is unloaded (a thread_local of this toolchain would
// keep a TLS index and a runtime key per load).
CKSLThreadSlot g_currentCall;
} // namespace

void SKResourceMapping::release()
{
    if (!hModule.reset())
        SKReportError(0, L"FreeLibrary", path.c_str());
}

SKCallState* SKCurrentCall()
{
    return static_cast<SKCallState*>(g_currentCall.get());
}

CSKCallStateScope::CSKCallStateScope(bool bSilent) : m_pPrevious(SKCurrentCall()), m_bCurrent(false)
{
    m_call.bSilent = bSilent;
    if (m_pPrevious == nullptr || bSilent)
        m_bCurrent = g_currentCall.set(&m_call);
}

// The mapping is let go while the call's trace switches still answer for its report.
CSKCallStateScope::~CSKCallStateScope()
{
    m_call.resource.release();
    if (m_bCurrent)
        g_currentCall.set(m_pPrevious);
}
