#include <windows.h>

#include "sk_module_objects.h"
#include "sk_module_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved)
{
    if (dwReason == DLL_PROCESS_ATTACH) {
        SKSetLibraryModule(hInstance);
        DisableThreadLibraryCalls(hInstance);
    } else if (dwReason == DLL_PROCESS_DETACH && pReserved == nullptr) {
        // Unloaded by the launcher: release the module-wide objects. When the process is ending
        // (pReserved set) the system reclaims everything and other threads may be gone.
        SKReleaseModuleObjects();
    }
    return TRUE;
}
