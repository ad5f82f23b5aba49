// The five exports the launcher looks up by name.
#include "skp_hub.h"

#include "sk_actions.h"
#include "sk_catalog.h"
#include "sk_function_ids.h"
#include "sk_hub_state.h"
#include "sk_module_objects.h"
#include "sk_module_state.h"
#include "sk_record_query.h"
#include "sk_status.h"
#include "sk_trace.h"

namespace {

// Every catalogue, status and action export runs as one call (the library's module state,
// restored on every return path, and what the call finds out once) with the module-wide objects
// in place.
class CSKExportScope {
public:
    CSKExportScope() { SKEnsureModuleObjects(); }
    CSKExportScope(const CSKExportScope&) = delete;
    CSKExportScope& operator=(const CSKExportScope&) = delete;

private:
    CSKCallScope m_call;
};

// No exception may cross into the launcher: one that escapes an export's body (only an
// allocation failure can) ends the call with the given answer.
template <class Scope, class Body>
int32_t runIn(int32_t nOnFailure, Body body)
{
    try {
        Scope scope;
        return body();
    } catch (...) {
        return nOnFailure;
    }
}

template <class Body>
int32_t runExport(int32_t nOnFailure, Body body)
{
    return runIn<CSKExportScope>(nOnFailure, body);
}

} // namespace

extern "C" {

int32_t SKP_HUB_API LP_GetCapability(int32_t nFunctionId, int32_t* pnAnswer)
{
    // Only the module state: the capability query builds nothing and reads nothing (the launcher
    // may ask often), it compares identifiers.
    return runIn<CSKModuleStateGuard>(LP_ERR_BAD_ARG, [&] {
        if (!pnAnswer)
            return static_cast<int32_t>(LP_ERR_BAD_ARG);
        // 0 for the plug-in's own functions, 1 for everything else; never probes.
        *pnAnswer = isAssignedFunctionId(nFunctionId) ? 0 : 1;
        return static_cast<int32_t>(LP_OK);
    });
}

int32_t SKP_HUB_API LP_GetFunctionInfo(int32_t /*nUnused*/, LP_FUNCTION_INFO* pInfo, uint32_t* pcbSize)
{
    return runExport(LP_ERR_BAD_ARG, [&] {
        SKTrace(SK_TRACE_HUB, L"LP_GetFunctionInfo");
        int32_t nResult = LP_OK;
        if (!SKRunRecordProtocol(pInfo, pcbSize, LP_FUNCTION_INFO_SIZE, nResult))
            return nResult;
        pInfo->nReserved = 0;
        *pcbSize = LP_FUNCTION_INFO_SIZE;
        return SKFillCatalogEntry(*pInfo, SKGetLibraryModule());
    });
}

int32_t SKP_HUB_API LP_GetStatus(int32_t /*nUnused*/, LP_STATUS_INFO* pStatus, uint32_t* pcbSize)
{
    return runExport(LP_ERR_BAD_ARG, [&] {
        SKTrace(SK_TRACE_HUB, L"LP_GetStatus");
        int32_t nResult = LP_OK;
        if (!SKRunRecordProtocol(pStatus, pcbSize, LP_STATUS_INFO_SIZE, nResult))
            return nResult;
        if (pStatus->nFunctionId != SKP_QUICK_BackUpNow)
            return static_cast<int32_t>(LP_ERR_BAD_ARG);
        return SKFillStatus(*pStatus);
    });
}

int32_t SKP_HUB_API LP_BackupNow(void)
{
    return runExport(0, [] { return SKBackupNow(); });
}

int32_t SKP_HUB_API LP_Rejuvenate(void)
{
    return runExport(0, [] { return SKRejuvenate(); });
}

} // extern "C"
