// A launcher's window, as far as the plug-in can tell: a window owned by the calling thread, and a
// second thread that sends it a message every 10 ms and times how long each takes to be answered
// (the window answers only while its thread dispatches messages). Every 50 ms the second thread
// also posts a message on which the window's thread runs a caller's query, as a launcher refreshes
// its display from a timer: the reentrant calls into the plug-in while an export waits.
//
// A message-only window: it needs no display, and messages reach it as they reach any window.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

#include "service_standin.h"

class CWindowProbe {
public:
    static const UINT WM_PROBE_PING = WM_APP + 1;
    static const UINT WM_PROBE_QUERY = WM_APP + 2;

    explicit CWindowProbe(std::function<void()> query = {}) : m_query(std::move(query))
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = windowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"SkpWindowProbe";
        RegisterClassW(&wc); // a second probe finds the class registered
        m_hWnd = CreateWindowExW(0, wc.lpszClassName, L"probe", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                                 nullptr);
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~CWindowProbe()
    {
        stop();
        DestroyWindow(m_hWnd);
    }
    CWindowProbe(const CWindowProbe&) = delete;
    CWindowProbe& operator=(const CWindowProbe&) = delete;

    HWND window() const { return m_hWnd; }

    // Starts sending; the figures count from here.
    void start()
    {
        m_dLongestMs = 0;
        m_nRounds = m_nSlowRounds = m_nQueries = 0;
        m_dLongestQueryMs = 0;
        m_bStop = false;
        m_hThread = CreateThread(nullptr, 0, sender, this, 0, nullptr);
    }
    // Stops sending, answering the messages still on their way.
    void stop()
    {
        if (m_hThread == nullptr)
            return;
        m_bStop = true;
        while (MsgWaitForMultipleObjects(1, &m_hThread, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
            pump();
        CloseHandle(m_hThread);
        m_hThread = nullptr;
        pump();
    }

    double longestUnansweredMs() const { return m_dLongestMs; }
    int rounds() const { return m_nRounds; }
    int slowRounds() const { return m_nSlowRounds; } // answered after more than 100 ms
    int queries() const { return m_nQueries; }
    double longestQueryMs() const { return m_dLongestQueryMs; }

private:
    static void pump()
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }

    static DWORD WINAPI sender(LPVOID pProbe)
    {
        CWindowProbe& probe = *static_cast<CWindowProbe*>(pProbe);
        for (int i = 0; !probe.m_bStop; ++i) {
            const double start = nowMs();
            DWORD_PTR result = 0;
            SendMessageTimeoutW(probe.m_hWnd, WM_PROBE_PING, 0, 0, SMTO_NORMAL, 120000, &result);
            const double ms = nowMs() - start;
            probe.m_dLongestMs = ms > probe.m_dLongestMs ? ms : probe.m_dLongestMs.load();
            ++probe.m_nRounds;
            if (ms > 100)
                ++probe.m_nSlowRounds;
            if (i % 5 == 0)
                PostMessageW(probe.m_hWnd, WM_PROBE_QUERY, 0, 0);
            Sleep(10);
        }
        return 0;
    }

    static LRESULT CALLBACK windowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        auto* pProbe = reinterpret_cast<CWindowProbe*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (pProbe != nullptr && uMsg == WM_PROBE_PING)
            return 1;
        if (pProbe != nullptr && uMsg == WM_PROBE_QUERY) {
            if (pProbe->m_query && !pProbe->m_bStop) {
                const double start = nowMs();
                pProbe->m_query();
                const double ms = nowMs() - start;
                pProbe->m_dLongestQueryMs = ms > pProbe->m_dLongestQueryMs ? ms : pProbe->m_dLongestQueryMs;
                ++pProbe->m_nQueries;
            }
            return 0;
        }
        return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    }

    std::function<void()> m_query;
    HWND m_hWnd = nullptr;
    HANDLE m_hThread = nullptr;
    std::atomic<bool> m_bStop{false};
    std::atomic<double> m_dLongestMs{0};
    std::atomic<int> m_nRounds{0};
    std::atomic<int> m_nSlowRounds{0};
    int m_nQueries = 0;
    double m_dLongestQueryMs = 0;
};
