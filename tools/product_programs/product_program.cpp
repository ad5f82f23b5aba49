// Stand-in for the product's programs (skp_gui.exe, rejuvenate_gui.exe): it records that it ran,
// with its command line, by appending one line to the file named by the environment variable
// SKP_STANDIN_LOG, and exits with 0.
#include <windows.h>

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

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    wchar_t logPath[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"SKP_STANDIN_LOG", logPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 0;
    wchar_t exe[MAX_PATH];
    const DWORD len = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring name(exe, len < MAX_PATH ? len : 0);
    name.erase(0, name.find_last_of(L'\\') + 1);
    const std::string line = utf8(name + L" ran: " + GetCommandLineW()) + "\r\n";
    CKSLScopedFile file(CreateFileW(logPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        CKSLAppendLock lock(file.get());
        SetFilePointer(file.get(), 0, nullptr, FILE_END);
        DWORD written = 0;
        WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    return 0;
}
