#include "sk_record_query.h"

#include <cstring>

#include "sk_hub_state.h"
#include "skp_hub.h"

bool SKRunRecordProtocol(void* pRecord, uint32_t* pcbSize, uint32_t cbRecord, int32_t& nResult)
{
    if (!pcbSize) {
        nResult = LP_ERR_BAD_ARG;
        return false;
    }
    const bool bInstalled = ensureInitialized();
    if (*pcbSize != 0 && !pRecord) {
        // A size without a record: nothing to zero or fill.
        nResult = LP_ERR_BAD_ARG;
        return false;
    }
    if (!bInstalled) {
        if (*pcbSize > 4)
            std::memset(static_cast<char*>(pRecord) + 4, 0, *pcbSize - 4);
        *pcbSize = 0;
        nResult = LP_OK;
        return false;
    }
    if (*pcbSize == 0) {
        *pcbSize = cbRecord;
        nResult = LP_OK;
        return false;
    }
    if (*pcbSize < cbRecord) {
        nResult = LP_ERR_TOO_SMALL;
        return false;
    }
    return true;
}
