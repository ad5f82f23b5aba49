#include "sk_hub_state.h"

#include <windows.h>

#include "ksl_product_skp.h"
#include "ksl_scoped_handle.h"
#include "sk_function_ids.h"
#include "sk_slim_lock.h"
#include "sk_trace.h"

namespace {

// Guards everything below: the first queries of several threads find it made once.
SRWLOCK g_lock = SRWLOCK_INIT;
// Set until the first catalogue or status query has probed the installation.
bool g_bFirstQuery = true;
// "BackupStatusEvent" and "RejuvenateStatusEvent": created at the first query, kept open while
// the library is loaded (the launcher and the product's programs signal them by name; once the
// library is gone nobody can wait on its handles).
CKSLScopedHandle g_hBackupStatusEvent;
CKSLScopedHandle g_hRejuvenateStatusEvent;

void ensureEvent(CKSLScopedHandle& hEvent, const wchar_t* wcsName)
{
    // Manual reset, signalled; an event that already exists is opened as it is.
    if (!hEvent)
        hEvent.reset(CreateEventW(nullptr, TRUE, TRUE, wcsName));
}

} // namespace

int32_t probeInstallation()
{
    // The product description knows where Safekeep records its installation; any version counts.
    CKSLProduct_SKP product;
    const int32_t nStatus =
        product.isInstalled(KSL_DONT_CARE, KSL_DONT_CARE, KSL_DONT_CARE, KSL_DONT_CARE) ? 1 : 0;
    CKSLWCharString version;
    product.getProductVersion(version);
    SKTrace(SK_TRACE_HUB, L"SKP install status = %d, product verstion = %s", nStatus, version.getString());
    return nStatus;
}

bool ensureInitialized()
{
    CSKExclusiveLock guard(g_lock);
    ensureEvent(g_hBackupStatusEvent, L"BackupStatusEvent");
    ensureEvent(g_hRejuvenateStatusEvent, L"RejuvenateStatusEvent");
    if (g_bFirstQuery) {
        if (probeInstallation() != 0)
            assignFunctionIds();
        SKTrace(SK_TRACE_HUB, L"SKP_RC_DataProtectAndRecovery_Backup = %d", SKP_RC_DataProtectAndRecovery_Backup);
        SKTrace(SK_TRACE_HUB, L"SKP_QUICK_BackUpNow = %d", SKP_QUICK_BackUpNow);
        g_bFirstQuery = false;
    }
    return SKP_RC_DataProtectAndRecovery_Backup != -1;
}

void closeStatusEvents()
{
    g_hBackupStatusEvent.reset();
    g_hRejuvenateStatusEvent.reset();
}
