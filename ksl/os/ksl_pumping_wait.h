// The one way this library waits on a thread that may own windows: the launcher calls the plug-in
// on its UI thread, and a window whose thread does not dispatch its messages for a few seconds is
// shown as not responding. Every wait of an export (the pause before the product's program, the
// pipe client's waits, the wait for the program) goes through here.
//
// While it waits, the thread's window messages are dispatched, so the launcher may call into the
// library again on the same thread (a timer refreshing its display). Such a call runs as one made
// outside any other: before the first message, the log lines the current call holds are written
// and the current call's per-thread state is put aside (CKSLThreadSlot::CAside), and given back
// when the wait is over. Messages that no window takes (thread messages) and a WM_QUIT are kept
// and posted again, in their order, when the wait is over, so the caller's own message loop still
// sees them.
#pragma once

#include <windows.h>

enum class EKSLWaitClock {
    Deadline,            // the time-out counts from the start of the wait
    RestartAfterMessage, // it starts afresh after each dispatched message (the process wrapper's wait)
};

// Waits until one of nCount handles (none: only the time) is signalled or dwTimeoutMs have passed
// (INFINITE: no limit). Answers WAIT_OBJECT_0 + i for handle i (WAIT_ABANDONED_0 + i for an
// abandoned mutex), WAIT_TIMEOUT, or WAIT_FAILED with the thread's last error set. With the
// Deadline clock it never returns WAIT_TIMEOUT before dwTimeoutMs have passed.
DWORD kslWaitPumping(const HANDLE* pHandles, DWORD nCount, DWORD dwTimeoutMs,
                     EKSLWaitClock clock = EKSLWaitClock::Deadline);

// A pause of at least dwMs milliseconds that keeps the thread's windows answering.
inline void kslPausePumping(DWORD dwMs)
{
    kslWaitPumping(nullptr, 0, dwMs);
}
