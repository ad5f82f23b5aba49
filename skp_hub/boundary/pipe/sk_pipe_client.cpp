// The pipe's client end: waiting for an announced server, opening the pipe (with the pauses and
// waits between tries, all of them dispatching the calling thread's messages), and sending.
#include "sk_pipe_shared.h"

#include "ksl_pumping_wait.h"

using namespace sk_pipe_detail;

namespace {

// The client lets the server learn who it is, but not act as it.
const DWORD kClientOpenFlags = FILE_FLAG_WRITE_THROUGH | FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING |
                               SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
// How long a client waiting for a free instance of a busy pipe leaves its thread's messages waiting.
const DWORD kFreeInstanceSliceMs = 20;

} // namespace

int CSKPipe::SendData(const BYTE* pBytes, DWORD cbLength)
{
    if (m_pShared->m_bServer) {
        SKTrace(SK_TRACE_SAFEKEEP, L"SendData aborted. Server parameter required.");
        return 0;
    }
    // The server could not take it as one message.
    if (cbLength > SK_PIPE_BUFFER_BYTES) {
        SKTrace(SK_TRACE_SAFEKEEP, L"SendData aborted. Message too long. len=%lu", cbLength);
        return 0;
    }
    HANDLE hPipe = nullptr;
    {
        CSKExclusiveLock guard(m_pShared->m_lock);
        if (m_pShared->m_instances.empty()) {
            const int nFirst = pBytes != nullptr && cbLength > 0 ? static_cast<signed char>(pBytes[0]) : 0;
            SKTrace(SK_TRACE_SAFEKEEP, L"SendData aborted. No pipe exists. len=%d msg[0]=%d",
                    static_cast<int>(cbLength), nFirst);
            return 0;
        }
        hPipe = m_pShared->m_instances.front().m_hPipe.get();
    }
    return static_cast<int>(m_pShared->writeData(pBytes, cbLength, hPipe, &m_olWrite, kSendTimeoutMs));
}

// A server that has announced itself but has no instance yet is given time to create one. The
// event is opened for waiting only, which a service's event grants every user.
void CSKPipe::CShared::waitForReadyEvent()
{
    CKSLScopedHandle hReady(OpenEventW(SYNCHRONIZE, FALSE, m_wcsReadyEventName.c_str()));
    if (!hReady) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
            SKReportError(0, L"OpenEvent", L"");
        return;
    }
    const HANDLE hEvent = hReady.get();
    const DWORD dwWait = kslWaitPumping(&hEvent, 1, m_settings.dwReadyWaitMs);
    if (dwWait == WAIT_TIMEOUT)
        SKTrace(SK_TRACE_SAFEKEEP, L"Server did not respond.");
    else if (dwWait == WAIT_FAILED)
        SKReportError(0, L"WaitForSingleObject", L"");
}

// Every failed try, the last one included, is followed by the pause and the wait for a free
// instance (which returns at once when the pipe does not exist at all).
bool CSKPipe::CShared::openClientPipe(SKPipeInstance& instance)
{
    for (long lTry = 0; lTry <= m_lConnectAttempts; ++lTry) {
        waitForReadyEvent();
        instance.m_hPipe.reset(CreateFileW(m_wcsPipeName.c_str(), GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                           kClientOpenFlags, nullptr));
        if (instance.m_hPipe) {
            DWORD dwMode = PIPE_READMODE_MESSAGE;
            if (!SetNamedPipeHandleState(instance.m_hPipe.get(), &dwMode, nullptr, nullptr))
                SKReportError(0, L"SetNamedPipeHandleState", L"");
            return true;
        }
        kslPausePumping(m_settings.dwRetryPauseMs);
        waitForFreeInstance();
    }
    return false;
}

// WaitNamedPipeW blocks without dispatching the thread's messages: it is asked in short slices, and
// the messages that came meanwhile are dispatched between them. It answers at once when no
// instance of the pipe exists.
void CSKPipe::CShared::waitForFreeInstance()
{
    const ULONGLONG ullStart = GetTickCount64();
    while (!WaitNamedPipeW(m_wcsPipeName.c_str(), kFreeInstanceSliceMs) && GetLastError() == ERROR_SEM_TIMEOUT &&
           GetTickCount64() - ullStart < m_settings.dwPipeWaitMs)
        kslWaitPumping(nullptr, 0, 0);
}
