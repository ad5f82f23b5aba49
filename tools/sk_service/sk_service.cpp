// Stand-in for the product's service: serves the service pipe with the plug-in's own server end.
// What it does is what the product's service does at the boundary with the plug-in:
//
//   on a back-up-now request ("2", 0x01, destination flags, text length, three zeros, the text)
//   1. it backs up to each destination the flags name (0x01 this computer, 0x20 the second disk,
//      0x08 USB, 0x10 network): here a copy of the files of one folder (--source) into a folder
//      of that destination's own under --backup-to, with a progress line per file;
//   2. it stores the time of the backup in the product's settings 136 and 137, "Settings\Usage"
//      "LastBackupTimeHigh" and "LastBackupTimeLow" (a FILETIME in UTC), under the product's
//      machine branch HKLM\SOFTWARE\Tessil\Safekeep;
//   3. it sets "BackupStatusEvent", so that the launcher queries the status line anew.
//
// Without --backup-to it only records what arrives. Each message and each step is printed and,
// with --log, appended to a UTF-8 file as one line:
//
//   message len=33 bytes=32 01 18 0c 00 ... backup destinations=0x18 text="Back up now"
//
// The last part appears for a message laid out as a quick backup request. A registered client
// that goes away shows as "client gone" and does not count as a message.
//
//   sk_service [--pipe NAME] [--ready-event NAME] [--stop-event NAME] [--log FILE] [--count N]
//              [--backup-to FOLDER --source FOLDER] [--registry KEY]
//
// Defaults: the product's pipe and ready event, the stop event "SK_ServiceStopEvent", no file,
// no limit. The service ends once N messages have been served or when the stop event is set.
// --registry points both registry roots at a test's scratch key (see registry_redirect.h).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>

#include "ksl_policy_dword_setting.h"
#include "ksl_scoped_handle.h"
#include "registry_redirect.h"
#include "sk_backup_request.h"
#include "sk_pipe.h"
#include "sk_product_policy.h"

namespace {

struct CServiceOptions {
    std::wstring pipeName = SK_SERVICE_PIPE_NAME;
    std::wstring readyEventName = SK_SERVER_READY_EVENT;
    std::wstring stopEventName = L"SK_ServiceStopEvent";
    std::wstring logPath;
    std::wstring backupTo; // empty: record only
    std::wstring source;
    std::wstring registryKey;
    unsigned long ulCount = 0; // 0: no limit
};

// The destination flags of a backup request and the folder each destination gets.
const struct {
    BYTE byFlag;
    const wchar_t* wcsFolder;
} kDestinations[] = {{SK_BACKUP_LOCAL, L"This computer"},
                     {SK_BACKUP_SECOND_DISK, L"Second disk"},
                     {SK_BACKUP_USB, L"USB"},
                     {SK_BACKUP_NETWORK, L"Network"}};

const long kLastBackupTimeHigh = 136;
const long kLastBackupTimeLow = 137;

struct CServiceState {
    std::mutex lock;
    const CServiceOptions* pOptions = nullptr;
    unsigned long ulReceived = 0;
    HANDLE hDone = nullptr; // set when the wanted number of messages has arrived
};

// The options that name something, and where each goes.
const struct {
    const wchar_t* wcsName;
    std::wstring CServiceOptions::*pText;
} kTextOptions[] = {
    {L"--pipe", &CServiceOptions::pipeName},
    {L"--ready-event", &CServiceOptions::readyEventName},
    {L"--stop-event", &CServiceOptions::stopEventName},
    {L"--log", &CServiceOptions::logPath},
    {L"--backup-to", &CServiceOptions::backupTo},
    {L"--source", &CServiceOptions::source},
    {L"--registry", &CServiceOptions::registryKey},
};

bool parseOption(const std::wstring& name, const wchar_t* wcsValue, CServiceOptions& options)
{
    if (name == L"--count") {
        options.ulCount = std::wcstoul(wcsValue, nullptr, 10);
        return true;
    }
    for (const auto& option : kTextOptions) {
        if (name == option.wcsName) {
            options.*option.pText = wcsValue;
            return true;
        }
    }
    return false;
}

bool parseOptions(int argc, wchar_t** argv, CServiceOptions& options)
{
    for (int i = 1; i + 1 < argc; i += 2)
        if (!parseOption(argv[i], argv[i + 1], options))
            return false;
    return argc % 2 == 1 && options.backupTo.empty() == options.source.empty();
}

std::string toUtf8(const wchar_t* wcsText, int nChars)
{
    if (nChars <= 0)
        return std::string();
    const int cb = WideCharToMultiByte(CP_UTF8, 0, wcsText, nChars, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(cb), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wcsText, nChars, &text[0], cb, nullptr, nullptr);
    return text;
}

// " backup destinations=0x18 text="..."" for a message laid out as a quick backup request.
std::string describeBackupRequest(const BYTE* pRequest, DWORD cbRequest)
{
    SKBackupRequest request;
    if (!parseBackupRequest(pRequest, cbRequest, request))
        return std::string();
    char head[64];
    std::snprintf(head, sizeof head, " backup destinations=0x%02x text=\"", request.byDestinations);
    return head + toUtf8(request.text.c_str(), static_cast<int>(request.text.size())) + "\"";
}

std::string describeMessage(const BYTE* pRequest, DWORD cbRequest)
{
    if (cbRequest == 1 && pRequest[0] == SK_PIPE_UNREGISTERED)
        return "client gone";
    std::string line = "message len=" + std::to_string(cbRequest) + " bytes=";
    char hex[4];
    for (DWORD i = 0; i < cbRequest; ++i) {
        std::snprintf(hex, sizeof hex, i == 0 ? "%02x" : " %02x", pRequest[i]);
        line += hex;
    }
    return line + describeBackupRequest(pRequest, cbRequest);
}

void appendLine(const std::wstring& path, const std::string& line)
{
    CKSLScopedFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string text = line + "\r\n";
    DWORD cbWritten = 0;
    if (!file || !WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &cbWritten, nullptr))
        std::fprintf(stderr, "sk_service: cannot write %ls (error %lu)\n", path.c_str(), GetLastError());
}

// One line on the console and in the log; the caller holds the state's lock.
void report(const CServiceOptions& options, const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (!options.logPath.empty())
        appendLine(options.logPath, line);
}

std::string toUtf8(const std::wstring& text)
{
    return toUtf8(text.c_str(), static_cast<int>(text.size()));
}

// The stand-in's backup to one destination: the files of the source folder, copied.
void copySourceFiles(const CServiceOptions& options, const wchar_t* wcsDestination)
{
    const std::wstring target = options.backupTo + L"\\" + wcsDestination;
    CreateDirectoryW(options.backupTo.c_str(), nullptr);
    CreateDirectoryW(target.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    CKSLScopedFind hFind(FindFirstFileW((options.source + L"\\*").c_str(), &found));
    if (!hFind) {
        report(options, "  nothing to back up in " + toUtf8(options.source));
        return;
    }
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const std::wstring name = found.cFileName;
        const bool copied =
            CopyFileW((options.source + L"\\" + name).c_str(), (target + L"\\" + name).c_str(), FALSE) != FALSE;
        report(options, "  backup to " + toUtf8(wcsDestination) + ": " + toUtf8(name) +
                            (copied ? " (" + std::to_string(found.nFileSizeLow) + " bytes)"
                                    : " FAILED, error " + std::to_string(GetLastError())));
    } while (FindNextFileW(hFind.get(), &found));
}

// Settings 136 and 137 in the product's machine branch, written through the product's own
// settings table.
bool storeBackupTime(const FILETIME& time)
{
    CSKProductPolicy policy;
    CKSLPolicyDwordSetting high, low;
    return policy.getPolicySetting(kLastBackupTimeHigh, high) && policy.getPolicySetting(kLastBackupTimeLow, low) &&
           low.setPolicy(KSL_POLICY_HKLM_PRODUCT, time.dwLowDateTime, 1, CKSLWCharString(), 0) &&
           high.setPolicy(KSL_POLICY_HKLM_PRODUCT, time.dwHighDateTime, 1, CKSLWCharString(), 0);
}

std::string describeTime(const FILETIME& time)
{
    SYSTEMTIME utc{};
    FileTimeToSystemTime(&time, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC (LastBackupTimeHigh 0x%08lx, Low 0x%08lx)",
                  utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond, time.dwHighDateTime,
                  time.dwLowDateTime);
    return text;
}

// The launcher's plug-in created the event; with no launcher there is nobody to tell.
void signalStatusChange(const CServiceOptions& options)
{
    CKSLScopedHandle hEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, L"BackupStatusEvent"));
    report(options, hEvent && SetEvent(hEvent.get()) ? "  set BackupStatusEvent"
                                                      : "  no launcher holds BackupStatusEvent");
}

void backUp(const CServiceOptions& options, BYTE byDestinations)
{
    bool bBackedUp = false;
    for (const auto& destination : kDestinations) {
        if (byDestinations & destination.byFlag) {
            copySourceFiles(options, destination.wcsFolder);
            bBackedUp = true;
        }
    }
    if (!bBackedUp) {
        report(options, "  no destination the service knows: nothing backed up");
        return;
    }
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    report(options, storeBackupTime(now) ? "  stored the backup time " + describeTime(now)
                                         : "  cannot store the backup time");
    signalStatusChange(options);
}

DWORD serveMessage(ULONG_PTR ulState, const BYTE* pRequest, DWORD cbRequest, BYTE* /*pReply*/)
{
    auto* pState = reinterpret_cast<CServiceState*>(ulState);
    const CServiceOptions& options = *pState->pOptions;
    const std::string line = describeMessage(pRequest, cbRequest);
    std::lock_guard<std::mutex> guard(pState->lock);
    report(options, line);
    SKBackupRequest request;
    if (!options.backupTo.empty() && parseBackupRequest(pRequest, cbRequest, request))
        backUp(options, request.byDestinations);
    if (line != "client gone" && ++pState->ulReceived == options.ulCount)
        SetEvent(pState->hDone);
    return 0; // the request is fire-and-forget: no reply
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    CServiceOptions options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: sk_service [--pipe NAME] [--ready-event NAME] [--stop-event NAME] "
                             "[--log FILE] [--count N] [--backup-to FOLDER --source FOLDER] [--registry KEY]\n");
        return 2;
    }
    CToolRegistryRedirect registry;
    if (!options.registryKey.empty() && !registry.redirect(options.registryKey)) {
        std::fprintf(stderr, "sk_service: cannot use the registry key %ls\n", options.registryKey.c_str());
        return 1;
    }
    CKSLScopedHandle hDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CKSLScopedHandle hStop(CreateEventW(nullptr, TRUE, FALSE, options.stopEventName.c_str()));
    if (!hDone || !hStop) {
        std::fprintf(stderr, "sk_service: cannot create events (error %lu)\n", GetLastError());
        return 1;
    }
    CServiceState state;
    state.pOptions = &options;
    state.hDone = hDone.get();
    SKPipeSettings settings;
    settings.wcsReadyEventName = options.readyEventName.c_str();
    CSKPipe server(true, false, options.pipeName.c_str(), reinterpret_cast<ULONG_PTR>(&state), serveMessage, nullptr,
                   0, settings);
    std::printf("sk_service listening on %ls\n", options.pipeName.c_str());
    std::fflush(stdout);
    const HANDLE ends[2] = {hDone.get(), hStop.get()};
    WaitForMultipleObjects(2, ends, FALSE, INFINITE);
    server.shutdown();
    std::printf("sk_service: %lu message(s)\n", state.ulReceived);
    return 0;
}
