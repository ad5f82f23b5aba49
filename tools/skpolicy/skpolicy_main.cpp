// skpolicy.exe: the command line of skpolicy (skpolicy.h); its output is UTF-8.
#include <windows.h>

#include "skpolicy.h"

namespace {

void writeTo(DWORD dwStdHandle, const std::wstring& text)
{
    const std::string bytes = skpolicy::toUtf8(text);
    DWORD dwWritten = 0;
    if (!bytes.empty())
        WriteFile(GetStdHandle(dwStdHandle), bytes.data(), static_cast<DWORD>(bytes.size()), &dwWritten, nullptr);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    std::wstring out;
    std::wstring err;
    const int rc = skpolicy::run(args, out, err);
    writeTo(STD_OUTPUT_HANDLE, out);
    writeTo(STD_ERROR_HANDLE, err);
    return rc;
}
