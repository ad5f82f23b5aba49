#include "sk_drive_table.h"

#include <winioctl.h>

#include <cwctype>

#include "ksl_catch.h"
#include "ksl_environment_variable.h"
#include "ksl_scoped_handle.h"
#include "sk_copy.h"
#include "sk_preinstall.h"
#include "sk_trace.h"

namespace {

typedef wchar_t CSKDriveField[CSKDriveTable::kDriveChars];

// A drive variable cut to the field, or the default when it is unset or empty. It is read from
// the same environment block, the same way, as the pre-installation check reads "KSLDrive".
void readDrive(const wchar_t* wcsName, const wchar_t* wcsDefault, CSKDriveField& wcsField)
{
    CKSLWCharString value;
    const bool bSet = kslCatch(false, KSL_HERE, [&] { return CKSLEnvironmentVariable(wcsName).getValue(value); });
    SK_tcscpy(wcsField, sizeof wcsField, bSet ? value.getString() : wcsDefault);
}

bool sameDrive(wchar_t wcFirst, wchar_t wcSecond)
{
    return std::towupper(wcFirst) == std::towupper(wcSecond);
}

// wcsFormat takes the device path and the last error.
void traceDeviceFailure(const wchar_t* wcsFormat, const wchar_t* wcsDevice)
{
    SKTrace(SK_TRACE_SAFEKEEP, wcsFormat, wcsDevice, static_cast<int>(GetLastError()));
}

} // namespace

CSKDriveTable::CSKDriveTable()
{
    readDrive(L"SystemDrive", L"", m_wcsSystemDrive);
    readDrive(L"KSLDrive", L"X:", m_wcsPreinstallDrive);
    readDrive(L"RAMD", L"Z:", m_wcsRamDrive);
    const wchar_t wcDrive = isPreinstallEnvironment() ? m_wcsPreinstallDrive[0] : m_wcsSystemDrive[0];
    // Without a system drive there is nothing to probe: the disk stays unknown.
    if (wcDrive != L'\0')
        getPartitionAssignment(wcDrive, &m_nDiskNumber, &m_nPartitionNumber);
}

int CSKDriveTable::getPartitionAssignment(wchar_t wcDrive, int32_t* pnDisk, int32_t* pnPartition) const
{
    wchar_t wcsDevice[] = L"\\\\.\\?:";
    wcsDevice[4] = wcDrive;
    if (pnDisk)
        *pnDisk = -1;
    // The RAM drive of the pre-installation environment lies on no disk partition.
    if (sameDrive(wcDrive, m_wcsRamDrive[0]) && isPreinstallEnvironment())
        return -1;
    const CKSLScopedFile device(CreateFileW(wcsDevice, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!device) {
        traceDeviceFailure(L"getPartitionAssignment - CreateFile() on %s failed. Error %d", wcsDevice);
        return 0;
    }
    STORAGE_DEVICE_NUMBER number{};
    DWORD cbReturned = 0;
    if (!DeviceIoControl(device.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number,
                         &cbReturned, nullptr)) {
        traceDeviceFailure(L"getPartitionAssignment - DeviceIoControl() on %s failed. Error %d", wcsDevice);
        return 0;
    }
    if (pnDisk)
        *pnDisk = static_cast<int32_t>(number.DeviceNumber);
    if (pnPartition)
        *pnPartition = static_cast<int32_t>(number.PartitionNumber);
    return 0;
}
