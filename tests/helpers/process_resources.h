// What a process holds besides handles (see handle_count.h), for the load/unload checks: the TLS
// index it would hand out next (it grows when indexes are taken and never returned) and its
// committed private memory.
#pragma once

#include <windows.h>

inline DWORD nextTlsIndex()
{
    const DWORD dwIndex = TlsAlloc();
    if (dwIndex != TLS_OUT_OF_INDEXES)
        TlsFree(dwIndex);
    return dwIndex;
}

inline SIZE_T committedBytes()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const char* p = nullptr; VirtualQuery(p, &info, sizeof info) == sizeof info;) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE)
            total += info.RegionSize;
        const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (next <= p)
            break;
        p = next;
    }
    return total;
}
