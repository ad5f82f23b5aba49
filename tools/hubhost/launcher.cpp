#include "launcher.h"

#include <cstring>
#include <cwctype>
#include <vector>

#include "ksl_pumping_wait.h"
#include "record_printer.h"

const int32_t kHubFunctionIds[6] = {SKP_ID_QUICK_BACKUP_NOW, SKP_ID_QUICK_REJUVENATE, SKP_ID_RC_BACKUP,
                                    SKP_ID_RC_RESTORE, SKP_ID_RC_MAINTENANCE_REJUVENATE, SKP_ID_RC_PRODUCT};

namespace {

template <class T>
bool lookUp(HMODULE hModule, T& fn, const char* name)
{
    fn = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(hModule, name)));
    if (!fn)
        hostPrint("hubhost: the plug-in has no export %s (error %lu)\n", name, GetLastError());
    return fn != nullptr;
}

std::wstring moduleFileName(HMODULE hModule)
{
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(hModule, path, MAX_PATH);
    return std::wstring(path, n < MAX_PATH ? n : 0);
}

double secondsSince(ULONGLONG ullStart)
{
    return static_cast<double>(GetTickCount64() - ullStart) / 1000.0;
}

template <class Record, class Fn>
bool queryRecord(const char* name, Fn fn, int32_t nFunctionId, Record& record, bool bShowCalls)
{
    std::memset(&record, 0, sizeof record);
    record.nFunctionId = nFunctionId;
    uint32_t size = 0;
    int32_t rc = fn(0, &record, &size);
    if (bShowCalls)
        hostPrint("%s(id %d, size query) -> return %d, size %u\n", name, nFunctionId, rc, size);
    if (rc != LP_OK || size == 0) {
        if (bShowCalls)
            hostPrint(rc == LP_OK ? "  (size 0: the product is not installed here, so the plug-in offers nothing)\n"
                                  : "  (no record)\n");
        return false;
    }
    size = sizeof record;
    rc = fn(0, &record, &size);
    if (bShowCalls)
        hostPrint("%s(id %d, size %u) -> return %d\n", name, nFunctionId, static_cast<unsigned>(sizeof record), rc);
    return rc == LP_OK;
}

std::wstring trimmed(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos)
        return std::wstring();
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// "X:\..." or "\\server\...": a launcher loads nothing that the search order would pick for it.
bool isFullPath(const std::wstring& path)
{
    const bool drive = path.size() > 2 && std::iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\';
    return drive || path.compare(0, 2, L"\\\\") == 0;
}

bool callLibraryExport(const std::wstring& wcsExec, CHubRunResult& result)
{
    std::wstring library, exportName;
    if (!splitLibraryExport(wcsExec, library, exportName)) {
        hostPrint("hubhost: \"%s\" names no library and export\n", toUtf8(wcsExec).c_str());
        return false;
    }
    if (!isFullPath(library)) {
        hostPrint("hubhost: not loading \"%s\": a launcher loads a library only by its full path\n",
                  toUtf8(library).c_str());
        return false;
    }
    // The entry's own library, even where the launcher holds a copy of the same name elsewhere;
    // what it imports is looked for in its folder first (the installer's), not the launcher's.
    CKSLScopedModule hModule(LoadLibraryExW(library.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!hModule) {
        hostPrint("hubhost: cannot load %s (error %lu)\n", toUtf8(library).c_str(), GetLastError());
        return false;
    }
    const std::string exportAnsi(exportName.begin(), exportName.end()); // export names are ASCII
    PFN_LP_Action pfnAction = nullptr;
    if (!lookUp(hModule.get(), pfnAction, exportAnsi.c_str()))
        return false;
    result.wcsCalledModule = moduleFileName(hModule.get());
    hostPrint("calling %s in %s\n", exportAnsi.c_str(), toUtf8(result.wcsCalledModule).c_str());
    const ULONGLONG ullStart = GetTickCount64();
    result.dwResult = static_cast<DWORD>(pfnAction());
    result.bStarted = true;
    hostPrint("%s() -> return %d after %.1f s\n", exportAnsi.c_str(), static_cast<int32_t>(result.dwResult),
              secondsSince(ullStart));
    return true;
}

bool runCommandLine(const std::wstring& wcsExec, CHubRunResult& result)
{
    hostPrint("running %s\n", toUtf8(wcsExec).c_str());
    std::wstring command = wcsExec; // CreateProcessW may write into the command line
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        hostPrint("hubhost: cannot start it (error %lu)\n", GetLastError());
        return false;
    }
    CKSLScopedHandle hProcess(process.hProcess);
    CKSLScopedHandle hThread(process.hThread);
    const ULONGLONG ullStart = GetTickCount64();
    // A launcher's UI thread keeps dispatching its messages while the program runs.
    const HANDLE hWait = hProcess.get();
    kslWaitPumping(&hWait, 1, INFINITE);
    GetExitCodeProcess(hProcess.get(), &result.dwResult);
    result.bStarted = true;
    hostPrint("the program ended with exit code %lu after %.1f s\n", result.dwResult, secondsSince(ullStart));
    return true;
}

// An entry whose status the launcher follows.
struct CWatchedEntry {
    LP_FUNCTION_INFO info;
    CKSLScopedHandle hEvent;
};

void printStatusLine(const CHubPlugin& plugin, const CWatchedEntry& entry, const char* prefix)
{
    LP_STATUS_INFO status;
    if (queryStatus(plugin, entry.info.nFunctionId, status, false))
        hostPrint("%s%s: \"%s\"\n", prefix, HOST_TEXT(entry.info.szName), HOST_TEXT(status.szStatusText));
    else
        hostPrint("%s%s: no status\n", prefix, HOST_TEXT(entry.info.szName));
}

std::vector<CWatchedEntry> openStatusEvents(const CHubPlugin& plugin)
{
    std::vector<CWatchedEntry> entries;
    for (int32_t nFunctionId : kHubFunctionIds) {
        CWatchedEntry entry;
        if (!queryFunctionInfo(plugin, nFunctionId, entry.info, false) || !entry.info.bStatusAvailable ||
            entry.info.szEventForStatusChange[0] == 0)
            continue;
        const wchar_t* wcsEvent = reinterpret_cast<const wchar_t*>(entry.info.szEventForStatusChange);
        entry.hEvent.reset(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, wcsEvent));
        if (!entry.hEvent) {
            hostPrint("hubhost: cannot open %s (error %lu)\n", HOST_TEXT(entry.info.szEventForStatusChange),
                      GetLastError());
            continue;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace

bool CHubPlugin::load(const std::wstring& wcsPath)
{
    hModule.reset(LoadLibraryW(wcsPath.c_str()));
    if (!hModule) {
        hostPrint("hubhost: cannot load the plug-in %s (error %lu)\n", toUtf8(wcsPath).c_str(), GetLastError());
        return false;
    }
    bool ok = lookUp(hModule.get(), getCapability, "LP_GetCapability");
    ok = lookUp(hModule.get(), getFunctionInfo, "LP_GetFunctionInfo") && ok;
    ok = lookUp(hModule.get(), getStatus, "LP_GetStatus") && ok;
    ok = lookUp(hModule.get(), backupNow, "LP_BackupNow") && ok;
    ok = lookUp(hModule.get(), rejuvenate, "LP_Rejuvenate") && ok;
    return ok;
}

bool queryFunctionInfo(const CHubPlugin& plugin, int32_t nFunctionId, LP_FUNCTION_INFO& info, bool bShowCalls)
{
    return queryRecord("LP_GetFunctionInfo", plugin.getFunctionInfo, nFunctionId, info, bShowCalls);
}

bool queryStatus(const CHubPlugin& plugin, int32_t nFunctionId, LP_STATUS_INFO& status, bool bShowCalls)
{
    return queryRecord("LP_GetStatus", plugin.getStatus, nFunctionId, status, bShowCalls);
}

bool splitLibraryExport(const std::wstring& wcsExec, std::wstring& wcsLibrary, std::wstring& wcsExport)
{
    const size_t comma = wcsExec.rfind(L',');
    if (comma == std::wstring::npos)
        return false;
    wcsLibrary = trimmed(wcsExec.substr(0, comma));
    wcsExport = trimmed(wcsExec.substr(comma + 1));
    return !wcsLibrary.empty() && !wcsExport.empty();
}

bool runEntry(const LP_FUNCTION_INFO& info, CHubRunResult& result)
{
    const std::wstring exec(reinterpret_cast<const wchar_t*>(info.szExecInterface),
                            wcsnlen(reinterpret_cast<const wchar_t*>(info.szExecInterface),
                                    sizeof info.szExecInterface / sizeof info.szExecInterface[0]));
    result = CHubRunResult();
    if (info.nExecType == LP_EXEC_LIBRARY_EXPORT)
        return callLibraryExport(exec, result);
    if (info.nExecType == LP_EXEC_COMMAND_LINE)
        return runCommandLine(exec, result);
    hostPrint("hubhost: exec type %d is not one a launcher knows\n", info.nExecType);
    return false;
}

int watchStatus(const CHubPlugin& plugin, const CHubWatchOptions& options)
{
    std::vector<CWatchedEntry> entries = openStatusEvents(plugin);
    if (entries.empty()) {
        hostPrint("hubhost: no entry with a status to watch\n");
        return 2;
    }
    CKSLScopedHandle hStop;
    if (!options.wcsStopEvent.empty())
        hStop.reset(CreateEventW(nullptr, TRUE, FALSE, options.wcsStopEvent.c_str()));
    std::vector<HANDLE> waits;
    for (CWatchedEntry& entry : entries) {
        // Reset before the first query, so that a change made after it is not lost.
        ResetEvent(entry.hEvent.get());
        printStatusLine(plugin, entry, "");
        hostPrint("waiting for %s\n", HOST_TEXT(entry.info.szEventForStatusChange));
        waits.push_back(entry.hEvent.get());
    }
    if (hStop)
        waits.push_back(hStop.get());
    for (unsigned long ulSeen = 0; options.ulChanges == 0 || ulSeen < options.ulChanges; ++ulSeen) {
        const DWORD dwWait =
            WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, options.dwTimeoutMs);
        if (dwWait == WAIT_TIMEOUT) {
            hostPrint("no change within %.0f s\n", options.dwTimeoutMs / 1000.0);
            return 1;
        }
        const size_t index = dwWait - WAIT_OBJECT_0;
        if (index == entries.size())
            return 0; // the stop event
        if (index > entries.size()) {
            hostPrint("hubhost: the wait failed (error %lu)\n", GetLastError());
            return 1;
        }
        const CWatchedEntry& entry = entries[index];
        ResetEvent(entry.hEvent.get());
        const std::string prefix = std::string(HOST_TEXT(entry.info.szEventForStatusChange)) + " was set -> ";
        printStatusLine(plugin, entry, prefix.c_str());
    }
    return 0;
}
