#include "sk_preinstall.h"

#include "ksl_exceptions.h"
#include "ksl_windows_os_info.h"
#include "sk_call_state.h"
#include "sk_trace.h"

namespace {

int askPreinstallEnvironment()
{
    try {
        CKSLWindowsOSInfo info;
        return info.isPreinstallEnvironment() ? 1 : 0;
    } catch (CKSLLogging&) {
        // Without OS information the system counts as a normal Windows session.
        SKTrace(SK_TRACE_SAFEKEEP, L"IsPE()-Error getting OS Info");
        return 0;
    }
}

} // namespace

int isPreinstallEnvironment()
{
    // The answer cannot change within an exported call: asked once per call.
    SKCallState* pCall = SKCurrentCall();
    if (pCall == nullptr)
        return askPreinstallEnvironment();
    if (pCall->nPreinstall < 0)
        pCall->nPreinstall = askPreinstallEnvironment();
    return pCall->nPreinstall;
}
