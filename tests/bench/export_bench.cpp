// What the launcher waits for: each record query of the plug-in, timed in-process on a machine with
// the product installed (inside a scratch registry). Prints figures; asserts nothing.
#include <windows.h>

#include <cstdio>

#include "plugin_loader.h"
#include "scratch_registry.h"

namespace {

const int kRounds = 20;

template <class Call>
double millisecondsPer(Call call)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kRounds; ++i)
        call();
    QueryPerformanceCounter(&end);
    return 1e3 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart) /
           kRounds;
}

} // namespace

int main()
{
    ScratchRegistry scratch;
    setRegString(HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep", L"Version", L"4.0.12.3");
    setRegString(HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep", L"InstallPath", L"C:\\Safekeep");

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    PluginLoader plugin;
    uint32_t size = 0;
    LP_FUNCTION_INFO info{};
    plugin.getFunctionInfo(0, &info, &size); // the first query: module objects and the probe
    QueryPerformanceCounter(&end);
    std::printf("load + first query (module objects, probe): %8.2f ms\n",
                1e3 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));

    std::printf("LP_GetCapability:                          %8.3f ms\n", millisecondsPer([&] {
                    int32_t answer = 0;
                    plugin.getCapability(1, &answer);
                }));
    std::printf("LP_GetFunctionInfo (backup entry):         %8.2f ms\n", millisecondsPer([&] {
                    LP_FUNCTION_INFO entry{};
                    entry.nFunctionId = 101;
                    uint32_t cb = sizeof entry;
                    plugin.getFunctionInfo(0, &entry, &cb);
                }));
    std::printf("LP_GetStatus (quick back up now):          %8.2f ms\n", millisecondsPer([&] {
                    LP_STATUS_INFO status{};
                    status.nFunctionId = 1;
                    uint32_t cb = sizeof status;
                    plugin.getStatus(0, &status, &cb);
                }));
    return 0;
}
