// A tiny program for the process tests: it reports what it was started with through its exit
// code, so that a test needs no other channel to it.
//
//   exit_with <code> [sleep ms]   sleeps (optionally), then exits with <code>
//   exit_with startupflags        exits with STARTUPINFOW dwFlags | (wShowWindow << 16)
//   exit_with cmdlength [...]     exits with the length of its whole command line
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

DWORD startupFlags()
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    return startup.dwFlags | (static_cast<DWORD>(startup.wShowWindow) << 16);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 255;
    if (std::strcmp(argv[1], "startupflags") == 0)
        return static_cast<int>(startupFlags());
    if (std::strcmp(argv[1], "cmdlength") == 0)
        return static_cast<int>(std::wcslen(GetCommandLineW()));
    if (argc >= 3)
        Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    return std::atoi(argv[1]);
}
