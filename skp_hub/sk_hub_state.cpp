#include "sk_hub_state.h"

#include <initializer_list>

#include "ksl_product_skp.h"
#include "sk_trace.h"

int32_t SKP_QUICK_BackUpNow = -1;
int32_t LP_QUICK_Rejuvenate = -1;
int32_t SKP_RC_DataProtectAndRecovery_Backup = -1;
int32_t SKP_RC_DataProtectAndRecovery_Restore = -1;
int32_t SKP_RC_Maintenance_Rejuvenate = -1;
int32_t SKP_RC_Brightwell_SKP = -1;

uint8_t g_bFirstQuery = 1;

HANDLE g_hBackupStatusEvent = nullptr;
HANDLE g_hRejuvenateStatusEvent = nullptr;

namespace {

void ensureEvent(HANDLE& hEvent, const wchar_t* wcsName)
{
    // Manual reset, signalled; an event that already exists is opened as it is.
    if (!hEvent)
        hEvent = CreateEventW(nullptr, TRUE, TRUE, wcsName);
}

void assignFunctionIds()
{
    SKP_RC_DataProtectAndRecovery_Backup = 101;
    SKP_RC_DataProtectAndRecovery_Restore = 102;
    SKP_RC_Maintenance_Rejuvenate = 103;
    SKP_RC_Brightwell_SKP = 104;
    SKP_QUICK_BackUpNow = 1;
    LP_QUICK_Rejuvenate = 2;
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

void ensureStatusEvents()
{
    ensureEvent(g_hBackupStatusEvent, L"BackupStatusEvent");
    ensureEvent(g_hRejuvenateStatusEvent, L"RejuvenateStatusEvent");
}

void closeStatusEvents()
{
    for (HANDLE* phEvent : {&g_hBackupStatusEvent, &g_hRejuvenateStatusEvent}) {
        if (*phEvent)
            CloseHandle(*phEvent);
        *phEvent = nullptr;
    }
}

bool ensureInitialized()
{
    ensureStatusEvents();
    if (g_bFirstQuery) {
        if (probeInstallation() != 0)
            assignFunctionIds();
        SKTrace(SK_TRACE_HUB, L"SKP_RC_DataProtectAndRecovery_Backup = %d", SKP_RC_DataProtectAndRecovery_Backup);
        SKTrace(SK_TRACE_HUB, L"SKP_QUICK_BackUpNow = %d", SKP_QUICK_BackUpNow);
        g_bFirstQuery = 0;
    }
    return SKP_RC_DataProtectAndRecovery_Backup != -1;
}

bool isAssignedFunctionId(int32_t nFunctionId)
{
    const int32_t slots[] = {SKP_QUICK_BackUpNow, LP_QUICK_Rejuvenate, SKP_RC_DataProtectAndRecovery_Backup,
                             SKP_RC_DataProtectAndRecovery_Restore, SKP_RC_Maintenance_Rejuvenate,
                             SKP_RC_Brightwell_SKP};
    for (int32_t slot : slots)
        if (slot == nFunctionId)
            return true;
    return false;
}
