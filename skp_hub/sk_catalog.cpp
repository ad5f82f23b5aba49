#include "sk_catalog.h"

#include "sk_hub_state.h"
#include "sk_trace.h"

int32_t SKFillCatalogEntry(LP_FUNCTION_INFO& info)
{
    if (!isAssignedFunctionId(info.nFunctionId)) {
        // The request carries no category; 0 stands in for it.
        SKTrace(SK_TRACE_HUB, L"Function ID = %d, category = %d", info.nFunctionId, 0);
        return LP_ERR_BAD_ARG;
    }
    return LP_OK;
}
