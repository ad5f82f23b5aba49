// The six function identifiers of the catalogue: -1 (unassigned) until the first catalogue or
// status query has found the product installed (sk_hub_state), then 1, 2 and 101 to 104 until the
// library is unloaded. The catalogue matches ids against them; the capability query asks whether
// an id is one of them.
#pragma once

#include <cstdint>

extern int32_t SKP_QUICK_BackUpNow;
extern int32_t LP_QUICK_Rejuvenate;
extern int32_t SKP_RC_DataProtectAndRecovery_Backup;
extern int32_t SKP_RC_DataProtectAndRecovery_Restore;
extern int32_t SKP_RC_Maintenance_Rejuvenate;
extern int32_t SKP_RC_Brightwell_SKP;

// Gives the slots their ids (the product was found).
void assignFunctionIds();
// Whether an id is one of the six slots as they stand now.
bool isAssignedFunctionId(int32_t nFunctionId);
