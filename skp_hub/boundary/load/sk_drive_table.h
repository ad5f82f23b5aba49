// The drive table: the system drive, the drive of the pre-installation environment and its RAM
// drive as the environment names them, and which disk and partition hold the drive the system
// runs from.
#pragma once

#include <windows.h>

#include <cstdint>

class CSKDriveTable {
public:
    // Characters kept of each drive variable (a longer value is cut).
    static const size_t kDriveChars = MAX_PATH;

    // Reads "SystemDrive", "KSLDrive" (default "X:") and "RAMD" (default "Z:") and probes the
    // drive the system runs from: the pre-installation drive there, else the system drive.
    CSKDriveTable();

    // Asks the storage driver for the disk and partition of a drive; each out pointer may be
    // null. *pnDisk is -1 unless the driver answered. Answers -1 for the RAM drive of the
    // pre-installation environment (no partition, nothing opened), else 0; failures are traced
    // under "Safekeep".
    int getPartitionAssignment(wchar_t wcDrive, int32_t* pnDisk, int32_t* pnPartition) const;

    int32_t diskNumber() const { return m_nDiskNumber; }
    int32_t partitionNumber() const { return m_nPartitionNumber; }
    const wchar_t* systemDrive() const { return m_wcsSystemDrive; }
    const wchar_t* preinstallDrive() const { return m_wcsPreinstallDrive; }
    const wchar_t* ramDrive() const { return m_wcsRamDrive; }

private:
    int32_t m_nDiskNumber = -1;
    int32_t m_nPartitionNumber = -1;
    // Own copies, so that later changes to the environment cannot pull them away.
    wchar_t m_wcsSystemDrive[kDriveChars] = {};
    wchar_t m_wcsPreinstallDrive[kDriveChars] = {};
    wchar_t m_wcsRamDrive[kDriveChars] = {};
};
