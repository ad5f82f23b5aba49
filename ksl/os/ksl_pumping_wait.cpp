#include "ksl_pumping_wait.h"

#include <vector>

#include "ksl_log_settings.h"
#include "ksl_thread_slot.h"

namespace {

// Milliseconds since a start, from the performance counter, so that a deadline is never met early
// by a coarse tick.
class CKSLStopwatch {
public:
    CKSLStopwatch() { restart(); }
    void restart() { QueryPerformanceCounter(&m_start); }
    // The milliseconds left of dwTimeoutMs, rounded up; 0 once they have passed.
    DWORD remainingOf(DWORD dwTimeoutMs) const
    {
        if (dwTimeoutMs == INFINITE)
            return INFINITE;
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        const ULONGLONG ullElapsed = static_cast<ULONGLONG>(now.QuadPart - m_start.QuadPart);
        const ULONGLONG ullTicks = static_cast<ULONGLONG>(dwTimeoutMs) * frequency.QuadPart / 1000;
        if (ullElapsed >= ullTicks)
            return 0;
        return static_cast<DWORD>(((ullTicks - ullElapsed) * 1000 + frequency.QuadPart - 1) / frequency.QuadPart);
    }

private:
    LARGE_INTEGER m_start;
};

// Thread messages and a WM_QUIT taken out of the queue during the wait, posted again at its end.
class CKSLKeptMessages {
public:
    CKSLKeptMessages() = default;
    CKSLKeptMessages(const CKSLKeptMessages&) = delete;
    CKSLKeptMessages& operator=(const CKSLKeptMessages&) = delete;
    ~CKSLKeptMessages()
    {
        for (const MSG& msg : m_kept)
            PostThreadMessageW(GetCurrentThreadId(), msg.message, msg.wParam, msg.lParam);
        if (m_bQuit)
            PostQuitMessage(static_cast<int>(m_quitCode));
    }

    // Dispatches every message waiting in the queue; answers whether there was any.
    bool dispatchWaiting()
    {
        bool bAny = false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            bAny = true;
            if (msg.message == WM_QUIT) {
                m_bQuit = true;
                m_quitCode = msg.wParam;
            } else if (msg.hwnd == nullptr) {
                m_kept.push_back(msg);
            } else {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        return bAny;
    }

private:
    std::vector<MSG> m_kept;
    bool m_bQuit = false;
    WPARAM m_quitCode = 0;
};

} // namespace

DWORD kslWaitPumping(const HANDLE* pHandles, DWORD nCount, DWORD dwTimeoutMs, EKSLWaitClock clock)
{
    CKSLLogSettingsScope::writeHeldLines();
    CKSLThreadSlot::CAside aside;
    CKSLKeptMessages messages;
    CKSLStopwatch stopwatch;
    for (;;) {
        if (messages.dispatchWaiting() && clock == EKSLWaitClock::RestartAfterMessage)
            stopwatch.restart();
        const DWORD dwWait =
            MsgWaitForMultipleObjects(nCount, pHandles, FALSE, stopwatch.remainingOf(dwTimeoutMs), QS_ALLINPUT);
        if (dwWait == WAIT_OBJECT_0 + nCount)
            continue; // a message came: dispatch it
        // A wait the system ended a moment before the counter's deadline goes on for the rest.
        if (dwWait == WAIT_TIMEOUT && stopwatch.remainingOf(dwTimeoutMs) != 0)
            continue;
        return dwWait;
    }
}
