#include <windows.h>

#include "sk_hub_state.h"
#include "sk_module_objects.h"
#include "sk_module_state.h"

// The C++ runtime's own memory (its emergency exception pool), returned when the library goes.
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace {

// The lock of the library's own unwinder (see CMakeLists.txt): made once, when the exception
// frames are registered at load, and otherwise never closed by the runtime. Closed by hand at the
// one moment of the unload when no frame needs it any more; a scoped owner would close it when the
// runtime destroys the library's statics, which is its own time, not ours.
HANDLE g_hUnwinderLock = nullptr;

} // namespace

#ifndef _WIN64
// Called by the x86 unwinder instead of CreateSemaphoreW (x64 has no such lock).
extern "C" HANDLE WINAPI SKUnwinderCreateSemaphore(LPSECURITY_ATTRIBUTES pAttributes, LONG lInitial, LONG lMaximum,
                                                   LPCWSTR wcsName)
{
    HANDLE hSemaphore = CreateSemaphoreW(pAttributes, lInitial, lMaximum, wcsName);
    if (g_hUnwinderLock == nullptr)
        g_hUnwinderLock = hSemaphore;
    return hSemaphore;
}

// The import slot the unwinder calls through.
asm(".data\n.globl __imp__SKUnwinderCreateSemaphore@16\n"
    "__imp__SKUnwinderCreateSemaphore@16: .long _SKUnwinderCreateSemaphore@16\n.text\n");
#endif

namespace {

// Under the loader lock: no library is freed, no registry read, no file written and no lock
// waited for. The module-wide objects give back their memory inside a silent call (their
// destructors neither read the log configuration nor write a record or a trace line); the
// system libraries they loaded stay loaded.
void releaseAtUnload()
{
    {
        CSKCallScope silent(CSKCallScope::Silent);
        SKReleaseModuleObjects();
    }
    closeStatusEvents();
    __gnu_cxx::__freeres();
    // No thread runs this library's code any more: the frames' deregistration that follows
    // takes the lock uncontended, which never touches the semaphore.
    if (g_hUnwinderLock)
        CloseHandle(g_hUnwinderLock);
    g_hUnwinderLock = nullptr;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved)
{
    if (dwReason == DLL_PROCESS_ATTACH) {
        SKSetLibraryModule(hInstance);
        DisableThreadLibraryCalls(hInstance);
    } else if (dwReason == DLL_PROCESS_DETACH && pReserved == nullptr) {
        // Unloaded by the launcher. When the process is ending (pReserved set) the system
        // reclaims everything and other threads may be gone.
        releaseAtUnload();
    }
    return TRUE;
}
