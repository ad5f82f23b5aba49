#include "sk_function_ids.h"

int32_t SKP_QUICK_BackUpNow = -1;
int32_t LP_QUICK_Rejuvenate = -1;
int32_t SKP_RC_DataProtectAndRecovery_Backup = -1;
int32_t SKP_RC_DataProtectAndRecovery_Restore = -1;
int32_t SKP_RC_Maintenance_Rejuvenate = -1;
int32_t SKP_RC_Brightwell_SKP = -1;

void assignFunctionIds()
{
    SKP_RC_DataProtectAndRecovery_Backup = 101;
    SKP_RC_DataProtectAndRecovery_Restore = 102;
    SKP_RC_Maintenance_Rejuvenate = 103;
    SKP_RC_Brightwell_SKP = 104;
    SKP_QUICK_BackUpNow = 1;
    LP_QUICK_Rejuvenate = 2;
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
