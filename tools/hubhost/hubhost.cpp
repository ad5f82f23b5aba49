// hubhost: a console stand-in for the hub launcher. It loads a plug-in DLL and calls its
// exports the way the launcher does, printing what it gets back.
//
//   hubhost [--dll PATH] caps [ID...] | catalog | status | session | backup | rejuvenate
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "record_printer.h"
#include "skp_hub.h"

namespace {

const int32_t kAllIds[] = {SKP_ID_QUICK_BACKUP_NOW, SKP_ID_QUICK_REJUVENATE, SKP_ID_RC_BACKUP,
                           SKP_ID_RC_RESTORE, SKP_ID_RC_MAINTENANCE_REJUVENATE, SKP_ID_RC_PRODUCT};

struct Plugin {
    HMODULE hModule = nullptr;
    PFN_LP_GetCapability getCapability = nullptr;
    PFN_LP_GetFunctionInfo getFunctionInfo = nullptr;
    PFN_LP_GetStatus getStatus = nullptr;
    PFN_LP_Action backupNow = nullptr;
    PFN_LP_Action rejuvenate = nullptr;
    ~Plugin()
    {
        if (hModule)
            FreeLibrary(hModule);
    }
};

std::wstring defaultDllPath()
{
    wchar_t exe[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe, n < MAX_PATH ? n : 0);
    const size_t slash = path.find_last_of(L"\\/");
    path = (slash == std::wstring::npos) ? std::wstring() : path.substr(0, slash + 1);
    return path + L"skp_hub.dll";
}

template <class T>
bool lookUp(Plugin& plugin, T& fn, const char* name)
{
    fn = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(plugin.hModule, name)));
    if (!fn)
        hostPrint("hubhost: the plug-in has no export %s (error %lu)\n", name, GetLastError());
    return fn != nullptr;
}

bool loadPlugin(Plugin& plugin, const std::wstring& path)
{
    plugin.hModule = LoadLibraryW(path.c_str());
    if (!plugin.hModule) {
        const DWORD err = GetLastError();
        hostPrint("hubhost: cannot load the plug-in %s (error %lu)\n",
                  toUtf8(reinterpret_cast<const LP_WCHAR*>(path.c_str()), path.size()).c_str(), err);
        return false;
    }
    bool ok = lookUp(plugin, plugin.getCapability, "LP_GetCapability");
    ok = lookUp(plugin, plugin.getFunctionInfo, "LP_GetFunctionInfo") && ok;
    ok = lookUp(plugin, plugin.getStatus, "LP_GetStatus") && ok;
    ok = lookUp(plugin, plugin.backupNow, "LP_BackupNow") && ok;
    ok = lookUp(plugin, plugin.rejuvenate, "LP_Rejuvenate") && ok;
    return ok;
}

int runCaps(Plugin& plugin, const std::vector<int32_t>& ids)
{
    for (int32_t id : ids) {
        int32_t answer = -1;
        const int32_t rc = plugin.getCapability(id, &answer);
        hostPrint("LP_GetCapability(%d) -> return %d, answer %d%s\n", id, rc, answer,
                  answer == 0 ? " (the plug-in's own function)" : "");
    }
    return 0;
}

// Size query first, then the record, as the launcher asks.
template <class Record, class Fn, class Print>
void queryRecord(const char* name, Fn fn, int32_t id, Print print)
{
    uint32_t size = 0;
    Record record;
    std::memset(&record, 0, sizeof record);
    record.nFunctionId = id;
    int32_t rc = fn(0, &record, &size);
    hostPrint("%s(id %d, size query) -> return %d, size %u\n", name, id, rc, size);
    if (rc != 0 || size == 0) {
        hostPrint(rc == 0 ? "  (size 0: the product is not installed here, so the plug-in offers nothing)\n"
                          : "  (no record)\n");
        return;
    }
    size = sizeof record;
    rc = fn(0, &record, &size);
    hostPrint("%s(id %d, size %u) -> return %d\n", name, id, static_cast<unsigned>(sizeof record), rc);
    if (rc == 0)
        print(record);
}

int runCatalog(Plugin& plugin)
{
    for (int32_t id : kAllIds)
        queryRecord<LP_FUNCTION_INFO>("LP_GetFunctionInfo", plugin.getFunctionInfo, id, printFunctionInfo);
    return 0;
}

int runStatus(Plugin& plugin)
{
    queryRecord<LP_STATUS_INFO>("LP_GetStatus", plugin.getStatus, SKP_ID_QUICK_BACKUP_NOW, printStatusInfo);
    return 0;
}

// What a launcher does when it starts: capabilities, the catalogue, the status, and the
// capabilities again, now that the plug-in has looked for the product.
int runSession(Plugin& plugin)
{
    const std::vector<int32_t> ids = {1, 2, 101, 102, 103, 104, 105};
    runCaps(plugin, ids);
    runCatalog(plugin);
    runStatus(plugin);
    return runCaps(plugin, ids);
}

int usage()
{
    hostPrint("usage: hubhost [--dll PATH] caps [ID...] | catalog | status | session | backup | rejuvenate\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::wstring dllPath = defaultDllPath();
    int i = 1;
    if (i + 1 < argc && std::wcscmp(argv[i], L"--dll") == 0) {
        dllPath = argv[i + 1];
        i += 2;
    }
    if (i >= argc)
        return usage();
    const std::wstring command = argv[i++];
    if (command != L"caps" && command != L"catalog" && command != L"status" && command != L"session" &&
        command != L"backup" && command != L"rejuvenate")
        return usage();

    Plugin plugin;
    if (!loadPlugin(plugin, dllPath))
        return 1;
    if (command == L"caps") {
        std::vector<int32_t> ids;
        for (; i < argc; ++i)
            ids.push_back(static_cast<int32_t>(std::wcstol(argv[i], nullptr, 10)));
        if (ids.empty())
            ids.assign(std::begin(kAllIds), std::end(kAllIds));
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
