// The service stand-in (sk_service.exe) on the product's own pipe for a number of messages, and a
// millisecond clock for timing what the tests and benchmarks watch. Header only.
#pragma once

#include <windows.h>

#include <string>

#include "test_paths.h"

// Starts the service with the arguments after "--count N" and waits (up to 5 s) until it has
// announced its pipe; answers its process handle, which the caller closes, or null.
inline HANDLE startServiceStandIn(int nCount, const std::wstring& extraArguments = std::wstring())
{
    std::wstring command = L"\"" + testBinDir() + L"sk_service.exe\" --count " + std::to_wstring(nCount);
    if (!extraArguments.empty())
        command += L" " + extraArguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    // The service signals its ready event once its pipe exists.
    HANDLE hReady = nullptr;
    for (int i = 0; i < 200 && hReady == nullptr; ++i) {
        hReady = OpenEventW(SYNCHRONIZE, FALSE, L"SK_ServerReadyEvent");
        if (hReady == nullptr)
            Sleep(25);
    }
    if (hReady != nullptr) {
        WaitForSingleObject(hReady, 5000);
        CloseHandle(hReady);
    }
    return pi.hProcess;
}

// Milliseconds on the performance counter.
inline double nowMs()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return 1e3 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}
