// hubhost: a console stand-in for the hub launcher. It loads a plug-in DLL and calls its exports
// the way the launcher does, printing what it gets back; it starts the catalogue's entries the way
// their exec interfaces say and follows their status events. The reference for launcher authors.
//
//   hubhost [--dll PATH] [--registry KEY] [--program-files DIR] COMMAND
//     launch                 what a launcher shows: every entry, its status, how it starts
//     run ID                 start entry ID as its exec interface says, and wait for it to end
//     watch [--count N] [--timeout S] [--stop-event NAME]
//                            follow the status events, printing each changed status line
//     window                 the launcher's window: the entries with their status line, kept up
//                            to date; an entry opens with a double click or Enter
//     caps [ID...] | catalog | status | session | backup | rejuvenate
//                            the exports called one by one, with the records they fill
//
// --dll names the plug-in to load (default: skp_hub.dll beside hubhost.exe). --registry points
// both registry roots of this process at a test's scratch key (see registry_redirect.h).
// --program-files sets this launcher's "ProgramFiles", where the plug-in's quick links say it lives:
// a test cannot hand it down in the environment, because 64-bit Windows (and Wine) set it anew in
// every process it starts.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "hub_window.h"
#include "launcher.h"
#include "record_printer.h"
#include "registry_redirect.h"
#include "skp_hub.h"

namespace {

const char kUsage[] = "usage: hubhost [--dll PATH] [--registry KEY] [--program-files DIR] COMMAND\n"
                      "  launch | run ID | watch [--count N] [--timeout S] [--stop-event NAME] | window\n"
                      "  caps [ID...] | catalog | status | session | backup | rejuvenate\n";

std::wstring defaultDllPath()
{
    wchar_t exe[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe, n < MAX_PATH ? n : 0);
    const size_t slash = path.find_last_of(L"\\/");
    path = (slash == std::wstring::npos) ? std::wstring() : path.substr(0, slash + 1);
    return path + L"skp_hub.dll";
}

int32_t toId(const wchar_t* wcsText)
{
    return static_cast<int32_t>(std::wcstol(wcsText, nullptr, 10));
}

int runCaps(const CHubPlugin& plugin, const std::vector<int32_t>& ids)
{
    for (int32_t id : ids) {
        int32_t answer = -1;
        const int32_t rc = plugin.getCapability(id, &answer);
        hostPrint("LP_GetCapability(%d) -> return %d, answer %d%s\n", id, rc, answer,
                  answer == 0 ? " (the plug-in's own function)" : "");
    }
    return 0;
}

int runCatalog(const CHubPlugin& plugin)
{
    for (int32_t id : kHubFunctionIds) {
        LP_FUNCTION_INFO info;
        if (queryFunctionInfo(plugin, id, info, true))
            printFunctionInfo(info);
    }
    return 0;
}

int runStatus(const CHubPlugin& plugin)
{
    LP_STATUS_INFO status;
    if (queryStatus(plugin, SKP_ID_QUICK_BACKUP_NOW, status, true))
        printStatusInfo(status);
    return 0;
}

// What a launcher does when it starts: capabilities, the whole catalogue, the status, and the
// capabilities again, now that the plug-in has looked for the product.
int runSession(const CHubPlugin& plugin)
{
    const std::vector<int32_t> ids = {1, 2, 101, 102, 103, 104, 105};
    runCaps(plugin, ids);
    runCatalog(plugin);
    runStatus(plugin);
    return runCaps(plugin, ids);
}

// One entry as a launcher shows it: its name and kind, its status line, and how it starts.
void showEntry(const CHubPlugin& plugin, const LP_FUNCTION_INFO& info)
{
    const bool quickLink = info.nFunctionId == SKP_ID_QUICK_BACKUP_NOW || info.nFunctionId == SKP_ID_QUICK_REJUVENATE;
    hostPrint("%s  (%s %d)\n", HOST_TEXT(info.szName), quickLink ? "quick link" : "category entry", info.nFunctionId);
    LP_STATUS_INFO status;
    if (info.bStatusAvailable && queryStatus(plugin, info.nFunctionId, status, false))
        hostPrint("    status:  %s\n", HOST_TEXT(status.szStatusText));
    if (info.szEventForStatusChange[0] != 0)
        hostPrint("    changes: signalled by %s\n", HOST_TEXT(info.szEventForStatusChange));
    const std::string exec = HOST_TEXT(info.szExecInterface);
    if (info.nExecType == LP_EXEC_LIBRARY_EXPORT)
        hostPrint("    starts:  the export in \"%s\"\n", exec.c_str());
    else
        hostPrint("    starts:  the command line \"%s\"\n", exec.c_str());
}

int runLaunch(const CHubPlugin& plugin)
{
    int nEntries = 0;
    for (int32_t id : kHubFunctionIds) {
        LP_FUNCTION_INFO info;
        if (queryFunctionInfo(plugin, id, info, false)) {
            showEntry(plugin, info);
            ++nEntries;
        }
    }
    if (nEntries == 0)
        hostPrint("Safekeep is not installed here: the plug-in offers no entry\n");
    return 0;
}

int runId(const CHubPlugin& plugin, int32_t nFunctionId)
{
    LP_FUNCTION_INFO info;
    if (!queryFunctionInfo(plugin, nFunctionId, info, false)) {
        hostPrint("hubhost: the plug-in has no entry %d\n", nFunctionId);
        return 1;
    }
    hostPrint("%s (%d)\n", HOST_TEXT(info.szName), nFunctionId);
    CHubRunResult result;
    return runEntry(info, result) ? 0 : 1;
}

bool parseWatchOptions(int argc, wchar_t** argv, int i, CHubWatchOptions& options)
{
    for (; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        if (name == L"--count")
            options.ulChanges = std::wcstoul(argv[i + 1], nullptr, 10);
        else if (name == L"--timeout")
            options.dwTimeoutMs = 1000 * std::wcstoul(argv[i + 1], nullptr, 10);
        else if (name == L"--stop-event")
            options.wcsStopEvent = argv[i + 1];
        else
            return false;
    }
    return i == argc;
}

int usage()
{
    hostPrint("%s", kUsage);
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring dllPath = defaultDllPath();
    CToolRegistryRedirect registry;
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == L'-'; i += 2) {
        if (std::wcscmp(argv[i], L"--dll") == 0) {
            dllPath = argv[i + 1];
        } else if (std::wcscmp(argv[i], L"--registry") == 0) {
            if (!registry.redirect(argv[i + 1])) {
                hostPrint("hubhost: cannot use the registry key %s\n", toUtf8(argv[i + 1]).c_str());
                return 1;
            }
        } else if (std::wcscmp(argv[i], L"--program-files") == 0) {
            SetEnvironmentVariableW(L"ProgramFiles", argv[i + 1]);
        } else {
            return usage();
        }
    }
    if (i >= argc)
        return usage();
    const std::wstring command = argv[i++];
    const bool known = command == L"launch" || command == L"run" || command == L"watch" || command == L"window" ||
                       command == L"caps" ||
                       command == L"catalog" || command == L"status" || command == L"session" ||
                       command == L"backup" || command == L"rejuvenate";
    CHubWatchOptions watchOptions;
    if (!known || (command == L"run" && i + 1 != argc) ||
        (command == L"watch" && !parseWatchOptions(argc, argv, i, watchOptions)))
        return usage();

    CHubPlugin plugin;
    if (!plugin.load(dllPath))
        return 1;
    if (command == L"launch")
        return runLaunch(plugin);
    if (command == L"run")
        return runId(plugin, toId(argv[i]));
    if (command == L"watch")
        return watchStatus(plugin, watchOptions);
    if (command == L"window")
        return runHubWindow(plugin);
    if (command == L"caps") {
        std::vector<int32_t> ids;
        for (; i < argc; ++i)
            ids.push_back(toId(argv[i]));
        if (ids.empty())
            ids.assign(std::begin(kHubFunctionIds), std::end(kHubFunctionIds));
        return runCaps(plugin, ids);
    }
    if (command == L"catalog")
        return runCatalog(plugin);
    if (command == L"status")
        return runStatus(plugin);
    if (command == L"session")
        return runSession(plugin);
    const bool backup = command == L"backup";
    const int32_t rc = backup ? plugin.backupNow() : plugin.rejuvenate();
    hostPrint("%s() -> return %d\n", backup ? "LP_BackupNow" : "LP_Rejuvenate", rc);
    return 0;
}
