// The service pipe's server end under load: 32 clients at once, 1,000 messages each of 12 to
// 65,536 bytes and one oversize message each; then 200 start/stop cycles of the server. Prints
// figures; asserts nothing. Goal: nothing lost or corrupted but the oversize messages, shutdown
// under 2 s with the clients connected or a handler blocked, no handles or threads left by the
// cycles.
//
//   pipe_load_bench [clients [messages [cycles]]]
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "handle_count.h"
#include "pipe_load.h"

namespace {

std::wstring uniqueName(const wchar_t* wcsPrefix, int nRound)
{
    return wcsPrefix + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(nRound);
}

DWORD threadCount()
{
    CKSLScopedFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    DWORD dwCount = 0;
    for (BOOL bMore = snapshot && Thread32First(snapshot.get(), &entry); bMore;
         bMore = Thread32Next(snapshot.get(), &entry))
        dwCount += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    return dwCount;
}

// A server that comes up, serves one client's message and goes down again.
void startAndStop(int nRound)
{
    const std::wstring pipe = uniqueName(L"\\\\.\\pipe\\SKOrbitPipeBench_", nRound);
    const std::wstring ready = uniqueName(L"SKReadyBench_", nRound);
    CKSLScopedHandle hReady(CreateEventW(nullptr, TRUE, FALSE, ready.c_str()));
    SKPipeSettings settings;
    settings.wcsReadyEventName = ready.c_str();
    CSKPipe server(true, false, pipe.c_str(), 0, nullptr, nullptr, 0, settings);
    WaitForSingleObject(hReady.get(), 30000);
    CKSLScopedFile client = pipe_load_detail::openLoadClient(pipe);
    if (client)
        pipe_load_detail::writeWhole(client.get(), pipe_load_detail::makeMessage(0, 0, 100));
    server.shutdown();
}

// A handler that holds its request until released.
struct CHeldHandler {
    CKSLScopedHandle hHeld{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    CKSLScopedHandle hRelease{CreateEventW(nullptr, TRUE, FALSE, nullptr)};

    static DWORD handler(ULONG_PTR ulHeld, const BYTE*, DWORD, BYTE*)
    {
        auto* pHeld = reinterpret_cast<CHeldHandler*>(ulHeld);
        SetEvent(pHeld->hHeld.get());
        WaitForSingleObject(pHeld->hRelease.get(), 30000);
        return 0;
    }
};

// Shutdown while a handler is busy with a request: the handler is left to finish alone.
double shutdownWithABlockedHandler()
{
    const std::wstring pipe = uniqueName(L"\\\\.\\pipe\\SKOrbitPipeHeld_", 0);
    const std::wstring ready = uniqueName(L"SKReadyHeld_", 0);
    static CHeldHandler held; // outlives the endpoint, as a handler left running needs
    CKSLScopedHandle hReady(CreateEventW(nullptr, TRUE, FALSE, ready.c_str()));
    SKPipeSettings settings;
    settings.wcsReadyEventName = ready.c_str();
    CSKPipe server(true, false, pipe.c_str(), reinterpret_cast<ULONG_PTR>(&held), CHeldHandler::handler, nullptr, 0,
                   settings);
    WaitForSingleObject(hReady.get(), 30000);
    CKSLScopedFile client = pipe_load_detail::openLoadClient(pipe);
    if (client)
        pipe_load_detail::writeWhole(client.get(), pipe_load_detail::makeMessage(0, 0, 100));
    WaitForSingleObject(held.hHeld.get(), 30000);
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    server.shutdown();
    const double dMs = pipe_load_detail::millisecondsSince(start);
    SetEvent(held.hRelease.get());
    return dMs;
}

} // namespace

int main(int argc, char** argv)
{
    const DWORD dwClients = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 32;
    const DWORD dwMessages = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000;
    const int nCycles = argc > 3 ? std::atoi(argv[3]) : 200;

    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    const PipeLoadFigures f = runPipeLoad(uniqueName(L"\\\\.\\pipe\\SKOrbitPipeLoad_", 0),
                                          uniqueName(L"SKReadyLoad_", 0), dwClients, dwMessages);
    const double dLoadMs = pipe_load_detail::millisecondsSince(start);
    std::printf("pipe load: %lu clients x %lu messages (12..65536 bytes) + 1 oversize (65537 bytes) each\n",
                dwClients, dwMessages);
    std::printf("  sent %ld, oversize sent %ld, received %ld, lost %ld, duplicated %ld, corrupted %ld\n", f.lSent,
                f.lOversize, f.lReceived, f.lLost, f.lDuplicated, f.lCorrupted);
    std::printf("  whole run %.0f ms; shutdown with %lu clients connected: %.1f ms\n", dLoadMs, dwClients,
                f.dShutdownMs);

    std::printf("  shutdown with a handler blocked in a request: %.1f ms\n", shutdownWithABlockedHandler());

    startAndStop(-1); // what the first server leaves loaded for all later ones
    const DWORD dwHandlesBefore = openHandleCount();
    const DWORD dwThreadsBefore = threadCount();
    QueryPerformanceCounter(&start);
    for (int i = 0; i < nCycles; ++i)
        startAndStop(i);
    const double dCyclesMs = pipe_load_detail::millisecondsSince(start);
    std::printf("%d start/stop cycles (one client each): %.1f ms per cycle\n", nCycles,
                nCycles > 0 ? dCyclesMs / nCycles : 0.0);
    std::printf("  handles before %lu, after %lu; threads before %lu, after %lu\n", dwHandlesBefore,
                openHandleCount(), dwThreadsBefore, threadCount());
    return 0;
}
