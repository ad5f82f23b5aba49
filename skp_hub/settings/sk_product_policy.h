// CSKProductPolicy: Safekeep's settings as policy settings, looked up by number along the six
// policy locations with the table default as the last resort.
#pragma once

#include <cstdint>

#include "ksl_product_policy.h"

// Backup destination flags.
enum : int32_t {
    SK_BACKUP_LOCAL = 0x01,
    SK_BACKUP_USB = 0x08,
    SK_BACKUP_NETWORK = 0x10,
    SK_BACKUP_SECOND_DISK = 0x20,
};

class CSKProductPolicy : public CKSLProductPolicy {
public:
    CSKProductPolicy();

    // The value of a DWORD setting, or its default; false (value untouched) for any other number.
    bool getDwordSetting(int32_t nID, uint32_t& ulValue);
    // The destination flags from "BackupLocal", "BackupSecond", "BackupUSB" and "BackupNetwork".
    int32_t getBackupLocations();
};
