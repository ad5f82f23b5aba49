// The plug-in over a long life in the launcher's process: 1,000 cycles of load, capability,
// catalogue, status and unload; 5,000 bare reloads; 100,000 status and 100,000 catalogue calls
// in one load. Prints the handles, TLS indexes and committed memory before and after each run
// (what the first load leaves stays for the life of the process, so it is counted before).
// Optional argument: a divisor for the counts, for a quick look. Asserts nothing.
#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "plugin_loader.h"
#include "scratch_registry.h"
#include "test_paths.h"

namespace {

// The handles this process owns, from the system's handle table (Wine answers 0 to
// GetProcessHandleCount).
DWORD handleCount()
{
    using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    struct Entry {
        ULONG ulOwnerPid;
        BYTE bType, bFlags;
        USHORT usHandle;
        PVOID pObject;
        ACCESS_MASK access;
    };
    const auto query = reinterpret_cast<QueryFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<char> buffer(1 << 16);
    ULONG ulNeeded = 0;
    while (query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &ulNeeded) == static_cast<LONG>(0xC0000004))
        buffer.resize(buffer.size() * 2);
    const ULONG ulCount = *reinterpret_cast<const ULONG*>(buffer.data());
    const Entry* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG));
    DWORD n = 0;
    for (ULONG i = 0; i < ulCount; ++i)
        n += entries[i].ulOwnerPid == GetCurrentProcessId() ? 1 : 0;
    return n;
}

DWORD nextTlsIndex()
{
    const DWORD dwIndex = TlsAlloc();
    if (dwIndex != TLS_OUT_OF_INDEXES)
        TlsFree(dwIndex);
    return dwIndex;
}

SIZE_T committedKb()
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
    return total / 1024;
}

template <class Run>
void report(const char* what, int nCount, Run run)
{
    const DWORD dwHandles = handleCount(), dwTls = nextTlsIndex();
    const SIZE_T kb = committedKb();
    const DWORD dwStart = GetTickCount();
    const bool bOk = run();
    std::printf("%-40s %7d  %s  handles %lu -> %lu  next TLS index %lu -> %lu  committed %lu -> %lu KB  (%lu s)\n",
                what, nCount, bOk ? "ok    " : "FAILED", dwHandles, handleCount(), dwTls, nextTlsIndex(),
                static_cast<unsigned long>(kb), static_cast<unsigned long>(committedKb()),
                (GetTickCount() - dwStart) / 1000);
}

bool status(PluginLoader& plugin)
{
    LP_STATUS_INFO record{};
    record.nFunctionId = 1;
    uint32_t size = sizeof record;
    return plugin.getStatus(0, &record, &size) == 0;
}

bool catalogue(PluginLoader& plugin, int32_t id)
{
    LP_FUNCTION_INFO record{};
    record.nFunctionId = id;
    uint32_t size = id == 0 ? 0 : sizeof record;
    return plugin.getFunctionInfo(0, &record, &size) == 0;
}

bool session(PluginLoader& plugin)
{
    int32_t answer = 0;
    bool bOk = plugin.loaded() && plugin.getCapability(1, &answer) == 0 && catalogue(plugin, 0);
    for (int32_t id : {1, 2, 101, 102, 103, 104})
        bOk = catalogue(plugin, id) && bOk;
    return status(plugin) && bOk;
}

} // namespace

int main(int argc, char** argv)
{
    const int nDivisor = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    ScratchRegistry scratch;
    const std::wstring product = L"Software\\Tessil\\Safekeep";
    setRegString(HKEY_LOCAL_MACHINE, product, L"Version", L"4.0.12.3");
    setRegString(HKEY_LOCAL_MACHINE, product, L"InstallPath", L"C:\\SafekeepBenchMissing");
    setRegDword(HKEY_LOCAL_MACHINE, product + L"\\Settings\\Usage", L"LastBackupTimeHigh", 0x01dd8687);
    setRegDword(HKEY_LOCAL_MACHINE, product + L"\\Settings\\Usage", L"LastBackupTimeLow", 0x27f41f00);
    setRegDword(HKEY_LOCAL_MACHINE, product + L"\\Settings\\Backup", L"BackupLocal", 1);
    SetEnvironmentVariableW(L"KSLCOMMON", testBinDir().substr(0, testBinDir().size() - 1).c_str());
    {
        PluginLoader first; // what the first load leaves for the life of the process
        session(first);
    }

    const int nCycles = 1000 / nDivisor, nReloads = 5000 / nDivisor, nCalls = 100000 / nDivisor;
    report("load, capability, catalogue, status, unload", nCycles, [&] {
        bool bOk = true;
        for (int i = 0; i < nCycles; ++i) {
            PluginLoader plugin;
            bOk = session(plugin) && bOk;
        }
        return bOk;
    });
    report("load, unload", nReloads, [&] {
        bool bOk = true;
        for (int i = 0; i < nReloads; ++i) {
            PluginLoader plugin;
            bOk = plugin.loaded() && bOk;
        }
        return bOk;
    });
    PluginLoader plugin;
    session(plugin);
    report("LP_GetStatus (fill)", nCalls, [&] {
        bool bOk = true;
        for (int i = 0; i < nCalls; ++i)
            bOk = status(plugin) && bOk;
        return bOk;
    });
    report("LP_GetFunctionInfo (101)", nCalls, [&] {
        bool bOk = true;
        for (int i = 0; i < nCalls; ++i)
            bOk = catalogue(plugin, 101) && bOk;
        return bOk;
    });
    return 0;
}
