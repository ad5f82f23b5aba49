// Every export call as the launcher makes it, on a machine with the product installed and the
// status record filled (inside a scratch registry), beside a floor program: the calls a status
// query cannot avoid (one check of the trace switch, the resource library mapped once, the six
// settings looked up along their locations, date and time formatting, and with the library log
// on one reading of its configuration), and the load of a library that does nothing. For each of three log configurations it prints
//     T <configuration> <call> <median ms>
// and, run with --marks, wraps each measured call in two cheap server requests that name it
// (opening events that do not exist), so that a server trace of the run (WINEDEBUG=+server) can
// be cut into exactly the round trips of each call (scripts/bench-table does that and prints the
// table). Asserts nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_setup.h"
#include "plugin_loader.h"
#include "scratch_registry.h"
#include "test_paths.h"

namespace {

const int kCycles = 7; // load-to-unload cycles per configuration; the median time is printed
bool g_bMarks = false;

const wchar_t kLogKey[] = L"SOFTWARE\\Tessil\\Logs";

void mark(const char* wcsEdge, const char* wcsConfig, const char* wcsCall)
{
    if (!g_bMarks)
        return;
    char name[160];
    std::snprintf(name, sizeof name, "skbench:%s:%s:%s", wcsEdge, wcsConfig, wcsCall);
    OpenEventA(SYNCHRONIZE, FALSE, name); // does not exist: one round trip, named in the trace
}

double nowMs()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return 1e3 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Timings {
    std::vector<std::string> order;
    std::vector<std::vector<double>> samples;

    void add(const std::string& call, double ms)
    {
        auto it = std::find(order.begin(), order.end(), call);
        if (it == order.end()) {
            order.push_back(call);
            samples.emplace_back();
            it = order.end() - 1;
        }
        samples[static_cast<size_t>(it - order.begin())].push_back(ms);
    }
};

template <class Call>
void measure(Timings& timings, const char* config, const char* call, Call body)
{
    mark("begin", config, call);
    const double start = nowMs();
    body();
    const double end = nowMs();
    mark("end", config, call);
    timings.add(call, end - start);
}

// The floor: what a status query cannot avoid doing.
bool readSetting(const wchar_t* wcsKeyPath, const wchar_t* wcsName, DWORD& dwValue)
{
    static const struct {
        HKEY hRoot;
        const wchar_t* wcsBase;
    } kLocations[] = {{HKEY_LOCAL_MACHINE, L"Software\\Policies\\Tessil\\Safekeep\\"},
                      {HKEY_CURRENT_USER, L"Software\\Policies\\Tessil\\Safekeep\\"},
                      {HKEY_LOCAL_MACHINE, L"Software\\Policies\\Tessil\\Safekeep\\User Defaults\\"},
                      {HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep\\"},
                      {HKEY_CURRENT_USER, L"Software\\Tessil\\Safekeep\\"},
                      {HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep\\User Defaults\\"}};
    for (const auto& location : kLocations) {
        HKEY hKey = nullptr;
        const std::wstring path = std::wstring(location.wcsBase) + wcsKeyPath;
        if (RegOpenKeyExW(location.hRoot, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
            continue;
        DWORD cb = sizeof dwValue;
        const bool bFound = RegQueryValueExW(hKey, wcsName, nullptr, nullptr, reinterpret_cast<BYTE*>(&dwValue),
                                             &cb) == ERROR_SUCCESS;
        RegCloseKey(hKey);
        if (bFound)
            return true;
    }
    return false;
}

void readLogConfiguration()
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLogKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return;
    BYTE data[1024];
    DWORD cb = sizeof data;
    const bool bOn = RegQueryValueExW(hKey, L"Logging", nullptr, nullptr, data, &cb) == ERROR_SUCCESS && data[0];
    for (const wchar_t* wcsName : {L"LogDetail", L"TextOutput", L"AllowObjects", L"ExcludeObjects", L"export_bench"}) {
        cb = sizeof data;
        if (bOn)
            RegQueryValueExW(hKey, wcsName, nullptr, nullptr, data, &cb);
    }
    RegCloseKey(hKey);
}

void floorStatus()
{
    readLogConfiguration();
    HKEY hDebug = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tessil\\Safekeep\\Debug", 0, KEY_QUERY_VALUE, &hDebug) ==
        ERROR_SUCCESS)
        RegCloseKey(hDebug);
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring library = testBinDir() + L"sk_res.dll";
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileW(library.c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE)
        FindClose(hFind);
    HMODULE hRes = LoadLibraryExW(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    wchar_t text[256];
    for (UINT id : {560u, 559u, 454u})
        LoadStringW(hRes, id, text, 256);
    if (hRes)
        FreeLibrary(hRes);
    DWORD dwValue = 0;
    readSetting(L"Settings\\Usage", L"LastBackupTimeHigh", dwValue);
    readSetting(L"Settings\\Usage", L"LastBackupTimeLow", dwValue);
    for (const wchar_t* wcsName : {L"BackupLocal", L"BackupSecond", L"BackupUSB", L"BackupNetwork"})
        readSetting(L"Settings\\Backup", wcsName, dwValue);
    FILETIME ftUtc{0x27f41f00, 0x01dd8687}, ftLocal{};
    SYSTEMTIME st{};
    FileTimeToLocalFileTime(&ftUtc, &ftLocal);
    FileTimeToSystemTime(&ftLocal, &st);
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, text, 256);
    GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &st, nullptr, text, 256);
}

// The actions wait for the service pipe (about 10 s without a service) and one second more: they
// are measured in the first cycle only.
void oneCycle(Timings& timings, const char* config, bool bActions)
{
    PluginLoader* plugin = nullptr;
    measure(timings, config, "floor", [] { floorStatus(); });
    // What any library costs the loader: a resource-only one, loaded and unloaded.
    HMODULE hTrivial = nullptr;
    measure(timings, config, "floor(load)", [&] { hTrivial = LoadLibraryW((testBinDir() + L"sk_res.dll").c_str()); });
    FreeLibrary(hTrivial);
    measure(timings, config, "load", [&] { plugin = new PluginLoader(); });
    measure(timings, config, "capability(first)", [&] {
        int32_t answer = 0;
        plugin->getCapability(1, &answer);
    });
    measure(timings, config, "catalogue(size,first)", [&] {
        LP_FUNCTION_INFO info{};
        uint32_t size = 0;
        plugin->getFunctionInfo(0, &info, &size);
    });
    for (int32_t id : {1, 2, 101, 102, 103, 104}) {
        const std::string call = "catalogue(" + std::to_string(id) + ")";
        measure(timings, config, call.c_str(), [&] {
            LP_FUNCTION_INFO info{};
            info.nFunctionId = id;
            uint32_t size = sizeof info;
            plugin->getFunctionInfo(0, &info, &size);
        });
    }
    measure(timings, config, "status(size)", [&] {
        LP_STATUS_INFO status{};
        uint32_t size = 0;
        plugin->getStatus(0, &status, &size);
    });
    measure(timings, config, "status(fill)", [&] {
        LP_STATUS_INFO status{};
        status.nFunctionId = 1;
        uint32_t size = sizeof status;
        plugin->getStatus(0, &status, &size);
    });
    if (bActions) {
        measure(timings, config, "backupNow(set-up)", [&] { plugin->backupNow(); });
        measure(timings, config, "rejuvenate(set-up)", [&] { plugin->rejuvenate(); });
    }
    measure(timings, config, "unload", [&] { delete plugin; });
}

void configure(const char* config, const std::wstring& logPath)
{
    deleteRegTree(HKEY_LOCAL_MACHINE, kLogKey);
    if (std::strcmp(config, "log-off") == 0)
        return;
    setRegDword(HKEY_LOCAL_MACHINE, kLogKey, L"Logging", 1);
    setRegString(HKEY_LOCAL_MACHINE, kLogKey, L"TextOutput", logPath);
    if (std::strcmp(config, "log-0x300") == 0)
        setRegDword(HKEY_LOCAL_MACHINE, kLogKey, L"LogDetail", 0x300);
}

} // namespace

int main(int argc, char** argv)
{
    g_bMarks = argc > 1 && std::strcmp(argv[1], "--marks") == 0;
    const int nCycles = g_bMarks ? 1 : kCycles;
    ScratchRegistry scratch;
    setUpInstalledProduct();
    const std::wstring logPath = testScratchPath(L"bench_log.txt");

    for (const char* config : {"log-off", "log-default", "log-0x300"}) {
        configure(config, logPath);
        Timings timings;
        for (int i = 0; i < nCycles; ++i) {
            DeleteFileW(logPath.c_str());
            oneCycle(timings, config, i == 0);
        }
        for (size_t i = 0; i < timings.order.size(); ++i) {
            std::vector<double>& s = timings.samples[i];
            std::sort(s.begin(), s.end());
            std::printf("T %s %s %.3f\n", config, timings.order[i].c_str(), s[s.size() / 2]);
        }
    }
    DeleteFileW(logPath.c_str());
    return 0;
}
