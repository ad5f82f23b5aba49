// The number of handles this process holds, for tests that look for leaks (header only, so any
// test program can use it).
//
// GetProcessHandleCount where the system answers it; this Wine answers 0, and then the handles
// owned by this process are counted in the system's handle table instead.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <vector>

namespace ksl_test_detail {

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
constexpr ULONG kSystemHandleInformation = 16;
const LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

const BYTE kInheritFlag = 0x02; // the entry's flags: a child process would inherit the handle

// This process's entries in the system's handle table; only the inheritable ones when asked.
inline DWORD countInHandleTable(bool bInheritableOnly = false)
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
        dwCount += pTable->entries[i].ulOwnerPid == GetCurrentProcessId() &&
                           (!bInheritableOnly || (pTable->entries[i].bFlags & kInheritFlag) != 0)
                       ? 1
                       : 0;
    return dwCount;
}

} // namespace ksl_test_detail

inline DWORD openHandleCount()
{
    DWORD dwCount = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &dwCount) && dwCount != 0)
        return dwCount;
    dwCount = ksl_test_detail::countInHandleTable();
    EXPECT_NE(0u, dwCount);
    return dwCount;
}

// The number of handles this process holds that a child process would inherit.
inline DWORD inheritableHandleCount()
{
    return ksl_test_detail::countInHandleTable(true);
}
