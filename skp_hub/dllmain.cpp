#include <windows.h>

#include "sk_module_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID /*pReserved*/)
{
    if (dwReason == DLL_PROCESS_ATTACH) {
        SKSetLibraryModule(hInstance);
        DisableThreadLibraryCalls(hInstance);
    }
    return TRUE;
}
