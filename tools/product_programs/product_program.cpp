// Stand-in for the product's programs (skp_gui.exe, rejuvenate_gui.exe, RestoreNow.exe), built
// from this one source. What the real program does at the boundary with the launcher:
//   - it shows that it was opened, and from where: on the console here, with its command line;
//   - rejuvenate_gui.exe sets "RejuvenateStatusEvent" when it is done, so that a launcher that
//     follows the event learns that the rejuvenation's state changed (the launcher resets it);
//   - it exits with 0.
// For the tests it also appends one line to the file named by the environment variable
// SKP_STANDIN_LOG, when that is set, with its own path and its arguments as it received them:
//   skp_gui.exe ran: path="C:\Program Files\Tessil\Safekeep\skp_gui.exe" arguments="/hub"
// With SKP_STANDIN_HOLD_MS set it stays open that many milliseconds before it exits, as a user
// keeps the real program open, so that a launcher waits for it that long.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "ksl_append_lock.h"
#include "ksl_scoped_handle.h"

namespace {

std::string utf8(const std::wstring& text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring programPath()
{
    wchar_t exe[MAX_PATH];
    const DWORD len = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    return std::wstring(exe, len < MAX_PATH ? len : 0);
}

// The arguments after the program's name, as the shell or CreateProcessW passed them.
std::wstring joinArguments(int argc, wchar_t** argv)
{
    std::wstring text;
    for (int i = 1; i < argc; ++i)
        text += (i > 1 ? L" " : L"") + std::wstring(argv[i]);
    return text;
}

// Who opens the program: the launcher's backup entry passes "/hub"; the quick Back up now link
// (through the plug-in) and the product's own entry pass nothing.
std::string openedFrom(const std::wstring& program, const std::wstring& args)
{
    if (lstrcmpiW(program.c_str(), L"skp_gui.exe") != 0)
        return "the launcher";
    return args == L"/hub" ? "the launcher's backup entry" : "the quick Back up now link or the product's entry";
}

void appendToStandInLog(const std::wstring& program, const std::wstring& path, const std::wstring& args)
{
    wchar_t logPath[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"SKP_STANDIN_LOG", logPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    const std::string line = utf8(program + L" ran: path=\"" + path + L"\" arguments=\"" + args + L"\"") + "\r\n";
    CKSLScopedFile file(CreateFileW(logPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        CKSLAppendLock lock(file.get());
        SetFilePointer(file.get(), 0, nullptr, FILE_END);
        DWORD written = 0;
        WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
}

// The plug-in created the event when the launcher first asked for its catalogue; with no launcher
// there is nobody to tell.
void signalStatusChange(const wchar_t* wcsEvent)
{
    CKSLScopedHandle hEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, wcsEvent));
    if (hEvent && SetEvent(hEvent.get()))
        std::printf("  set %ls\n", wcsEvent);
}

void holdIfAsked()
{
    wchar_t wcsHold[16];
    const DWORD n = GetEnvironmentVariableW(L"SKP_STANDIN_HOLD_MS", wcsHold, 16);
    if (n > 0 && n < 16)
        Sleep(static_cast<DWORD>(wcstoul(wcsHold, nullptr, 10)));
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring path = programPath();
    const std::wstring program = path.substr(path.find_last_of(L'\\') + 1);
    const std::wstring args = joinArguments(argc, argv);
    std::printf("  %s opened from %s%s%s\n", utf8(program).c_str(), openedFrom(program, args).c_str(),
                args.empty() ? "" : ", arguments: ", utf8(args).c_str());
    appendToStandInLog(program, path, args);
    holdIfAsked();
    if (lstrcmpiW(program.c_str(), L"rejuvenate_gui.exe") == 0) {
        std::printf("  rejuvenation done\n");
        signalStatusChange(L"RejuvenateStatusEvent");
    }
    std::fflush(stdout);
    return 0;
}
