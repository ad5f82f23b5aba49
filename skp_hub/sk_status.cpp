#include "sk_status.h"

#include "sk_trace.h"

int32_t SKFillStatus(LP_STATUS_INFO& status)
{
    SKTrace(SK_TRACE_HUB, L"LP_GetStatus QUICKLINK-- Backupnow");
    status.nStatusKind = 4;
    status.nStatusDetail = 0;
    status.szStatusExtra[0] = 0;
    return LP_OK;
}
