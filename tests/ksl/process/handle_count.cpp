#include "handle_count.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// One entry of the system's handle table (SystemHandleInformation, class 16).
struct HandleEntry {
    ULONG ulOwnerPid;
    BYTE bObjectType;
    BYTE bFlags;
    USHORT usHandle;
    PVOID pObject;
    ACCESS_MASK access;
};
struct HandleTable {
    ULONG ulCount;
    HandleEntry entries[1];
};

using NtQuerySystemInformationFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
const ULONG kSystemHandleInformation = 16;
const LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

DWORD countInHandleTable()
{
    const auto pfnQuery = reinterpret_cast<NtQuerySystemInformationFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (pfnQuery == nullptr) {
        ADD_FAILURE() << "no NtQuerySystemInformation";
        return 0;
    }
    std::vector<char> buffer(1 << 16);
    ULONG ulNeeded = 0;
    LONG status;
    while ((status = pfnQuery(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                              &ulNeeded)) == kInfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    EXPECT_EQ(0, status);
    const auto* pTable = reinterpret_cast<const HandleTable*>(buffer.data());
    DWORD dwCount = 0;
    for (ULONG i = 0; status == 0 && i < pTable->ulCount; ++i)
        dwCount += pTable->entries[i].ulOwnerPid == GetCurrentProcessId() ? 1 : 0;
    return dwCount;
}

} // namespace

DWORD openHandleCount()
{
    DWORD dwCount = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &dwCount) && dwCount != 0)
        return dwCount;
    dwCount = countInHandleTable();
    EXPECT_NE(0u, dwCount);
    return dwCount;
}
