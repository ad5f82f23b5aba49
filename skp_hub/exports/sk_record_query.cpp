#include "sk_record_query.h"

#include <algorithm>
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
        // The launcher's size is not trusted beyond the record: nothing past it is written.
        const uint32_t cbZeroTo = std::min(*pcbSize, cbRecord);
        if (cbZeroTo > 4)
            std::memset(static_cast<char*>(pRecord) + 4, 0, cbZeroTo - 4);
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
