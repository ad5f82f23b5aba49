#include "sk_resource.h"

#include "ksl_exceptions.h"
#include "ksl_windows_os_info.h"
#include "sk_trace.h"

int isPreinstallEnvironment()
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
