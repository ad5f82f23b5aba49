// A DLL that claims to be the product's resource library but whose entry point leaves a mark:
// it creates the file named by the environment variable SKP_PLANTED_MARK. The plug-in must read
// its strings without ever running that entry point.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH) {
        wchar_t mark[MAX_PATH];
        if (GetEnvironmentVariableW(L"SKP_PLANTED_MARK", mark, MAX_PATH) > 0) {
            HANDLE h = CreateFileW(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
        }
    }
    return TRUE;
}
