// Stand-in for the product's service: serves the service pipe with the plug-in's own server end,
// so that the back-up-now request can be seen. Each message is printed and, with --log, appended
// to a UTF-8 file as one line:
//
//   message len=33 bytes=32 01 18 0c 00 ... backup destinations=0x18 text="Back up now"
//
// The last part appears for a message laid out as a quick backup request. A registered client
// that goes away shows as "client gone" and does not count as a message.
//
//   sk_service [--pipe NAME] [--ready-event NAME] [--stop-event NAME] [--log FILE] [--count N]
//
// Defaults: the product's pipe and ready event, the stop event "SK_ServiceStopEvent", no file,
// no limit. The service ends once N messages have arrived or when the stop event is set.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>

#include "ksl_scoped_handle.h"
#include "sk_pipe.h"

namespace {

struct CServiceOptions {
    std::wstring pipeName = SK_SERVICE_PIPE_NAME;
    std::wstring readyEventName = SK_SERVER_READY_EVENT;
    std::wstring stopEventName = L"SK_ServiceStopEvent";
    std::wstring logPath;
    unsigned long ulCount = 0; // 0: no limit
};

struct CServiceState {
    std::mutex lock;
    const CServiceOptions* pOptions = nullptr;
    unsigned long ulReceived = 0;
    HANDLE hDone = nullptr; // set when the wanted number of messages has arrived
};

bool parseOptions(int argc, wchar_t** argv, CServiceOptions& options)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        const wchar_t* wcsValue = argv[i + 1];
        if (name == L"--pipe")
            options.pipeName = wcsValue;
        else if (name == L"--ready-event")
            options.readyEventName = wcsValue;
        else if (name == L"--stop-event")
            options.stopEventName = wcsValue;
        else if (name == L"--log")
            options.logPath = wcsValue;
        else if (name == L"--count")
            options.ulCount = std::wcstoul(wcsValue, nullptr, 10);
        else
            return false;
    }
    return argc % 2 == 1;
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
    if (cbRequest < 9 || pRequest[0] != 0x32 || pRequest[1] != 0x01 || cbRequest != 2u * pRequest[3] + 9)
        return std::string();
    wchar_t text[256];
    std::memcpy(text, pRequest + 7, 2u * pRequest[3]); // the text starts at an odd offset
    char head[64];
    std::snprintf(head, sizeof head, " backup destinations=0x%02x text=\"", pRequest[2]);
    return head + toUtf8(text, pRequest[3]) + "\"";
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

DWORD recordMessage(ULONG_PTR ulState, const BYTE* pRequest, DWORD cbRequest, BYTE* /*pReply*/)
{
    auto* pState = reinterpret_cast<CServiceState*>(ulState);
    const std::string line = describeMessage(pRequest, cbRequest);
    std::lock_guard<std::mutex> guard(pState->lock);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (!pState->pOptions->logPath.empty())
        appendLine(pState->pOptions->logPath, line);
    if (line != "client gone" && ++pState->ulReceived == pState->pOptions->ulCount)
        SetEvent(pState->hDone);
    return 0; // the request is fire-and-forget: no reply
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    CServiceOptions options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: sk_service [--pipe NAME] [--ready-event NAME] [--stop-event NAME] "
                             "[--log FILE] [--count N]\n");
        return 2;
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
    CSKPipe server(true, false, options.pipeName.c_str(), reinterpret_cast<ULONG_PTR>(&state), recordMessage, nullptr,
                   0, settings);
    std::printf("sk_service listening on %ls\n", options.pipeName.c_str());
    std::fflush(stdout);
    const HANDLE ends[2] = {hDone.get(), hStop.get()};
    WaitForMultipleObjects(2, ends, FALSE, INFINITE);
    server.shutdown();
    std::printf("sk_service: %lu message(s)\n", state.ulReceived);
    return 0;
}
