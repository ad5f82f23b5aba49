// The plug-in over a long life in the launcher's process: 1,000 cycles of load, capability,
// catalogue, status and unload; 5,000 bare reloads; 100,000 status and 100,000 catalogue calls
// in one load. Prints the handles, TLS indexes and committed memory before and after each run
// (what the first load leaves stays for the life of the process, so it is counted before).
// Optional argument: a divisor for the counts, for a quick look. Asserts nothing.
#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>

#include "bench_setup.h"
#include "handle_count.h"
#include "plugin_loader.h"
#include "process_resources.h"

namespace {

template <class Run>
void report(const char* what, int nCount, Run run)
{
    const DWORD dwHandles = openHandleCount(), dwTls = nextTlsIndex();
    const SIZE_T kb = committedBytes() / 1024;
    const DWORD dwStart = GetTickCount();
    const bool bOk = run();
    std::printf("%-40s %7d  %s  handles %lu -> %lu  next TLS index %lu -> %lu  committed %lu -> %lu KB  (%lu s)\n",
                what, nCount, bOk ? "ok    " : "FAILED", dwHandles, openHandleCount(), dwTls, nextTlsIndex(),
                static_cast<unsigned long>(kb), static_cast<unsigned long>(committedBytes() / 1024),
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
    setUpInstalledProduct();
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
