// What the three sources of the pipe's endpoint share (sk_pipe_endpoint.cpp, sk_pipe_client.cpp,
// sk_pipe_server.cpp): the endpoint's shared state and the small helpers around its handles.
// Not for use outside this folder.
#pragma once

#include "sk_pipe.h"

#include <atomic>
#include <list>
#include <memory>
#include <string>

#include "ksl_catch.h"
#include "sk_slim_lock.h"
#include "sk_trace.h"

namespace sk_pipe_detail {

const DWORD kSendTimeoutMs = 500;
const DWORD kReportedCode = static_cast<DWORD>(-1); // failures that are not a Windows call's

CKSLScopedHandle makeEvent(BOOL bManualReset, BOOL bSignalled, const wchar_t* wcsName = nullptr);
bool isOpen(HANDLE hPipe);
// Cancels an operation still in flight and waits until the system has let go of its buffer and
// overlapped record. True when it completed after all; cbDone then holds its byte count.
bool cancelPending(HANDLE hPipe, OVERLAPPED* pOverlapped, DWORD& cbDone);
// A finished worker has only its return left to do: waiting for it takes no time.
void joinFinished(SKPipeInstance& instance);
// Starts a thread procedure with its own share of the state; suspended, so that the caller can
// note its id first.
HANDLE startThread(LPTHREAD_START_ROUTINE pfnProcedure, const std::shared_ptr<CSKPipe::CShared>& pShared,
                   SIZE_T cbStack, DWORD& dwThreadId);

// Closes a handle now, reporting a refused close under the label.
template <class TScoped>
void closeReported(TScoped& handle, const wchar_t* wcsLabel)
{
    if (handle && !handle.reset())
        SKReportError(0, wcsLabel, L"");
}

// Runs a thread's work on the endpoint's shared state, which the thread owns a share of until
// it ends; nothing may escape a thread procedure.
template <class F>
DWORD runShared(LPVOID pShared, const wchar_t* wcsNullLabel, F&& work)
{
    std::unique_ptr<std::shared_ptr<CSKPipe::CShared>> pOwner(static_cast<std::shared_ptr<CSKPipe::CShared>*>(pShared));
    if (pOwner == nullptr || *pOwner == nullptr) {
        SKReportError(kReportedCode, wcsNullLabel, L"");
        return 0;
    }
    return kslCatchTraced(DWORD(0), KSL_HERE, [&] {
        work(**pOwner);
        return DWORD(0);
    });
}

} // namespace sk_pipe_detail

// Everything the main server thread and the workers use lives here, so that a thread left to
// finish after shutdown never touches a destroyed endpoint.
struct CSKPipe::CShared : std::enable_shared_from_this<CSKPipe::CShared> {
    CShared(bool bServer, bool bThreaded, const wchar_t* wcsPipeName, ULONG_PTR ulHandlerData,
            SKPipeMessageHandler pfnMessageHandler, SKPipeSecurityProvider pfnSecurityProvider, long lConnectAttempts,
            const SKPipeSettings& settings);
    ~CShared();

    int createInstance();
    int createServerInstance(SKPipeInstance& instance);
    void listen(SKPipeInstance& instance);
    bool openClientPipe(SKPipeInstance& instance);
    void waitForReadyEvent();
    void waitForFreeInstance();
    bool startWorker(SKPipeInstance& instance);
    size_t instanceCount();

    DWORD GetData(BYTE* pBuffer, SKPipeInstance& instance, OVERLAPPED* pOverlapped, DWORD dwTimeout);
    DWORD readOnce(BYTE* pBuffer, HANDLE hPipe, OVERLAPPED* pOverlapped, DWORD dwTimeout, DWORD& cbRead);
    bool dropRestOfMessage(BYTE* pBuffer, HANDLE hPipe, OVERLAPPED* pOverlapped, DWORD dwTimeout, DWORD cbFirst);
    DWORD writeData(const BYTE* pBytes, DWORD cbLength, HANDLE hPipe, OVERLAPPED* pOverlapped, DWORD dwTimeout);
    bool waitOrStop(HANDLE hEvent, DWORD dwTimeout);

    void serveConnections();
    bool topUpListeners();
    void announce();
    void acceptClient(SKPipeInstance& instance);
    void stopListening();
    void reapFinishedWorkers();

    void serveRequests(SKPipeInstance& instance);
    bool callHandler(const BYTE* pRequest, DWORD cbRequest, BYTE* pReply, DWORD& cbReply);
    void endConversation(SKPipeInstance& instance, BYTE* pReply);
    SKPipeInstance* findWorkerRecord();
    void eraseLocked(SKPipeInstance& instance);

    bool isWorkerThread();
    void joinWorkers(const wchar_t* wcsWaitLabel, DWORD dwStartTick);
    void closeInstances();

    const bool m_bServer;
    const bool m_bThreaded;
    const SKPipeMessageHandler m_pfnMessageHandler;
    const ULONG_PTR m_ulHandlerData;
    const std::wstring m_wcsPipeName;
    const long m_lConnectAttempts;
    SKPipeSettings m_settings;
    const std::wstring m_wcsReadyEventName;
    std::atomic<bool> m_bClosing{false};
    CKSLScopedHandle m_hStopEvent{sk_pipe_detail::makeEvent(TRUE, FALSE)};   // wakes every wait when shutdown begins
    CKSLScopedHandle m_hWorkerDone{sk_pipe_detail::makeEvent(FALSE, FALSE)}; // a server worker has finished
    // Used by the main server thread only.
    SKPipeSecurityProvider m_pfnSecurityProvider;
    SECURITY_ATTRIBUTES m_securityAttributes = {}; // zero (default security) until a provider ran
    CKSLScopedHandle m_hReadyEvent;
    // Guarded by m_lock.
    SRWLOCK m_lock = SRWLOCK_INIT; // holds no handle, so nothing to release
    std::list<SKPipeInstance> m_instances; // records keep their address: overlapped I/O points into them
    bool m_bHandlersClosed = false;        // shutdown is over: no handler is called any more
};
