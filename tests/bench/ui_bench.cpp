// How long the launcher's window goes unanswered while an action runs. The benchmark owns a window
// on the calling thread, as the launcher does, and calls each action on that thread while a second
// thread sends the window a message every 10 ms (tests/helpers/window_probe.h) and, every 50 ms,
// posts one on which the window's thread queries the status or a catalogue record anew, as a
// launcher refreshes its display. For each scenario it prints the longest time a message waited for its
// answer, the rounds answered after more than 100 ms, and the reentrant queries answered.
//
// Scenarios: back up now with the service stand-in running; with no service (the pipe is tried
// twice, 5 s apart); rejuvenate; back up now with the library log at detail 0x300 and the debug
// trace on. The product's programs are the stand-ins, which exit at once. Asserts nothing.
#include <windows.h>

#include <cstdio>
#include <string>

#include "bench_setup.h"
#include "plugin_loader.h"
#include "scratch_registry.h"
#include "service_standin.h"
#include "test_paths.h"
#include "window_probe.h"

namespace {

// The product installed in a scratch folder with the stand-in programs.
void installProgramsInto(const std::wstring& installDir)
{
    CreateDirectoryW(installDir.c_str(), nullptr);
    for (const wchar_t* program : {L"skp_gui.exe", L"rejuvenate_gui.exe"})
        CopyFileW((testBinDir() + L"product\\" + program).c_str(), (installDir + L"\\" + program).c_str(), FALSE);
    setRegString(HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep", L"InstallPath", installDir);
}

void switchLogAndTraceOn()
{
    const std::wstring logs = L"SOFTWARE\\Tessil\\Logs";
    setRegDword(HKEY_LOCAL_MACHINE, logs, L"Logging", 1);
    setRegDword(HKEY_LOCAL_MACHINE, logs, L"LogDetail", 0x300);
    setRegString(HKEY_LOCAL_MACHINE, logs, L"TextOutput", testScratchPath(L"ksl.log"));
    for (const wchar_t* source : {L"SKP_HUB", L"Safekeep"})
        setRegString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tessil\\Safekeep\\Debug", source, testScratchPath(L"hub.log"));
}

// The table's rows, printed after every scenario has run (the product's stand-in programs print to
// the same console while they run).
std::string g_rows;

void runScenario(const char* wcsScenario, bool bService, bool bRejuvenate)
{
    PluginLoader plugin;
    int nAnswered = 0, nAsked = 0;
    // The status line and the catalogue records in turn, one query per message.
    auto query = [&] {
        static const int32_t kIds[] = {1, 2, 101, 102, 103, 104};
        if (nAsked++ % 2 == 0) {
            LP_STATUS_INFO status{};
            uint32_t cbStatus = sizeof status;
            status.nFunctionId = SKP_ID_QUICK_BACKUP_NOW;
            nAnswered += plugin.getStatus(0, &status, &cbStatus) == LP_OK;
        } else {
            LP_FUNCTION_INFO info{};
            uint32_t cbInfo = sizeof info;
            info.nFunctionId = kIds[(nAsked / 2) % 6];
            nAnswered += plugin.getFunctionInfo(0, &info, &cbInfo) == LP_OK;
        }
    };
    query(); // the first query creates the status events, as the launcher's first display does
    query();
    const HANDLE hService = bService ? startServiceStandIn(1) : nullptr;
    CWindowProbe probe(query);
    nAnswered = 0;
    probe.start();
    const DWORD dwStart = GetTickCount();
    const int32_t nResult = bRejuvenate ? plugin.rejuvenate() : plugin.backupNow();
    const DWORD dwMs = GetTickCount() - dwStart;
    probe.stop();
    char row[256];
    std::snprintf(row, sizeof row, "  %-50s %-14s %10.0f %8d %8d %10d %8.0f %8lu%s\n", wcsScenario,
                  bRejuvenate ? "LP_Rejuvenate" : "LP_BackupNow", probe.longestUnansweredMs(), probe.slowRounds(),
                  probe.rounds(), nAnswered, probe.longestQueryMs(), static_cast<unsigned long>(dwMs),
                  nResult != 0 ? "  (the export did not answer 0)" : "");
    g_rows += row;
    if (hService != nullptr) {
        WaitForSingleObject(hService, 10000);
        CloseHandle(hService);
    }
}

} // namespace

int main()
{
    ScratchRegistry scratch;
    setUpInstalledProduct();
    installProgramsInto(testScratchPath(L"Safekeep"));
    runScenario("back up now, service running", true, false);
    runScenario("back up now, no service", false, false);
    runScenario("rejuvenate", false, true);
    switchLogAndTraceOn();
    runScenario("back up now, service running, log 0x300 + trace", true, false);
    std::printf("The launcher's window during each action: the longest time a message waited for its answer (ms),\n"
                "the rounds answered after more than 100 ms, all rounds (one every 10 ms), the reentrant status and\n"
                "catalogue queries answered, the longest of them (ms), and how long the call took (ms).\n");
    std::printf("  %-50s %-14s %10s %8s %8s %10s %8s %8s\n", "scenario", "call", "longest", ">100ms", "rounds",
                "reentrant", "query ms", "call ms");
    std::printf("%s", g_rows.c_str());
    removeTree(testScratchDir());
    return 0;
}
