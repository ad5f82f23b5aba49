// The two quick-link actions: a backup request to the product's service, and the product's
// programs started and awaited.
#pragma once

#include <cstdint>

// Sends the backup request (sk_backup_request.h) to the product's service; fire and forget.
void sendBackupRequest(int32_t nLocations, const wchar_t* wcsText);

int32_t SKBackupNow();
int32_t SKRejuvenate();
