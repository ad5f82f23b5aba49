// Module-wide state of the plug-in: the function-identifier slots, the first-query flag and the
// two status events, and the one-time initialisation that fills them.
#pragma once

#include <windows.h>

#include <cstdint>

// Function-identifier slots: -1 until the installed product is found.
extern int32_t SKP_QUICK_BackUpNow;
extern int32_t LP_QUICK_Rejuvenate;
extern int32_t SKP_RC_DataProtectAndRecovery_Backup;
extern int32_t SKP_RC_DataProtectAndRecovery_Restore;
extern int32_t SKP_RC_Maintenance_Rejuvenate;
extern int32_t SKP_RC_Brightwell_SKP;

// Set until the first catalogue or status query has probed the installation.
extern uint8_t g_bFirstQuery;

// "BackupStatusEvent" and "RejuvenateStatusEvent": created at the first query, kept open while
// the library is loaded (the launcher and the product's programs signal them by name; once the
// library is gone nobody can wait on its handles).
extern HANDLE g_hBackupStatusEvent;
extern HANDLE g_hRejuvenateStatusEvent;

// 1 when the product is installed in any version, else 0; traces the version found.
int32_t probeInstallation();
// Creates each status event whose handle is still null.
void ensureStatusEvents();
// At unload: closes the two event handles (the events live on while others hold them).
void closeStatusEvents();
// The one-time initialisation: events on every call, the probe once per load. True when the
// product counts as installed.
bool ensureInitialized();
// Whether an id is one of the six slots as they stand now.
bool isAssignedFunctionId(int32_t nFunctionId);
