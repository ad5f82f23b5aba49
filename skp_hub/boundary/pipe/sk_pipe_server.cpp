// The pipe's server end: the main server thread keeps instances listening, announces the server
// once they exist, and hands each client that connects to a worker (sk_pipe_endpoint.cpp). Linked
// only into the programs that serve the pipe (the product's service); the plug-in, a client only,
// links sk_pipe_no_server.cpp instead and carries none of this.
#include "sk_pipe_shared.h"

#include <iterator>
#include <vector>

using namespace sk_pipe_detail;

namespace {

const DWORD kDefaultPipeTimeoutMs = 60000;
const DWORD kCreateRetryMs = 5000;
const DWORD kServerPipeMode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
// The main server thread waits on the stop event, the worker-done event and every listener.
static_assert(SK_PIPE_LISTENING_INSTANCES + 2 <= MAXIMUM_WAIT_OBJECTS, "one wait covers every listener");
static_assert(SK_PIPE_LISTENING_INSTANCES <= SK_PIPE_MAX_INSTANCES, "listeners count towards the bound");

// A client that connected, wrote and left before the server looked still has its messages in
// the pipe (ERROR_NO_DATA): they are read like any other's.
bool isConnected(DWORD dwError)
{
    return dwError == ERROR_SUCCESS || dwError == ERROR_PIPE_CONNECTED || dwError == ERROR_NO_DATA;
}

// Whether a pipe of that name exists, free or busy; asks without connecting to it.
bool nameTaken(const std::wstring& wcsPipeName)
{
    return WaitNamedPipeW(wcsPipeName.c_str(), 1) || GetLastError() == ERROR_SEM_TIMEOUT;
}

} // namespace

// The ready event first, so that clients that come early wait for it; then the main server thread.
void CSKPipe::startServer()
{
    m_pShared->m_hReadyEvent = makeEvent(TRUE, FALSE, m_pShared->m_wcsReadyEventName.c_str());
    if (!m_pShared->m_hReadyEvent)
        SKReportError(0, L"CreateEvent", L"");
    DWORD dwThreadId = 0;
    m_hMainServerThread.reset(startThread(MainServerThread, m_pShared, 0, dwThreadId));
    if (!m_hMainServerThread)
        SKReportError(0, L"CreateThread (MainServerThread)", L"");
    else
        ResumeThread(m_hMainServerThread.get());
}

// The first instance claims the name: when another program holds it already, the creation fails
// (access denied) instead of sharing the name with it. Where the system ignores the first-instance
// flag, the check beforehand refuses the name all the same.
int CSKPipe::CShared::createServerInstance(SKPipeInstance& instance)
{
    if (m_pfnSecurityProvider != nullptr) {
        m_securityAttributes.nLength = sizeof(m_securityAttributes);
        m_securityAttributes.lpSecurityDescriptor = m_pfnSecurityProvider(m_bServer);
        m_securityAttributes.bInheritHandle = FALSE;
        m_pfnSecurityProvider = nullptr;
    }
    bool bFirst = true;
    {
        CSKExclusiveLock guard(m_lock);
        for (const SKPipeInstance& held : m_instances)
            bFirst = bFirst && !held.m_hPipe;
    }
    if (bFirst && nameTaken(m_wcsPipeName)) {
        SKReportError(ERROR_ACCESS_DENIED, L"CreateNamedPipe", L"");
        return 1;
    }
    instance.m_hPipe.reset(CreateNamedPipeW(
        m_wcsPipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (bFirst ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
        kServerPipeMode, PIPE_UNLIMITED_INSTANCES, SK_PIPE_BUFFER_BYTES, SK_PIPE_BUFFER_BYTES, kDefaultPipeTimeoutMs,
        m_securityAttributes.nLength != 0 ? &m_securityAttributes : nullptr));
    if (!instance.m_hPipe) {
        SKReportError(0, L"CreateNamedPipe", L"");
        return 1;
    }
    // The connect points into the record: it starts once the record has its place in the list.
    CSKExclusiveLock guard(m_lock);
    m_instances.push_back(std::move(instance));
    listen(m_instances.back());
    return 0;
}

// Starts waiting for a client on the instance; the read event tells when one came.
void CSKPipe::CShared::listen(SKPipeInstance& instance)
{
    ResetEvent(instance.m_hReadEvent.get());
    instance.m_bListening = true;
    instance.m_dwConnectResult = ConnectNamedPipe(instance.m_hPipe.get(), &instance.m_olRead) ? ERROR_SUCCESS
                                                                                               : GetLastError();
    if (instance.m_dwConnectResult != ERROR_IO_PENDING)
        SetEvent(instance.m_hReadEvent.get());
}

DWORD WINAPI CSKPipe::MainServerThread(LPVOID pShared)
{
    return runShared(pShared, L"MainServerThread: null pipe", [](CShared& shared) { shared.serveConnections(); });
}

// Keeps the listening instances topped up and hands each client that connects to a worker,
// until shutdown begins.
void CSKPipe::CShared::serveConnections()
{
    bool bAnnounced = false;
    while (!m_bClosing) {
        reapFinishedWorkers();
        const bool bCreated = topUpListeners();
        std::vector<SKPipeInstance*> listeners;
        std::vector<HANDLE> handles = {m_hStopEvent.get(), m_hWorkerDone.get()};
        {
            CSKExclusiveLock guard(m_lock);
            for (SKPipeInstance& instance : m_instances)
                if (instance.m_bListening) {
                    listeners.push_back(&instance);
                    handles.push_back(instance.m_hReadEvent.get());
                }
        }
        if (!bAnnounced && !listeners.empty()) {
            announce();
            bAnnounced = true;
        }
        // With no instance at all, creating one is tried again after a pause.
        const DWORD dwTimeout = listeners.empty() && !bCreated ? kCreateRetryMs : INFINITE;
        const DWORD dwWait = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, dwTimeout);
        if (dwWait == WAIT_OBJECT_0)
            break;
        if (dwWait >= WAIT_OBJECT_0 + 2 && dwWait < WAIT_OBJECT_0 + handles.size())
            acceptClient(*listeners[dwWait - WAIT_OBJECT_0 - 2]);
        else if (dwWait == WAIT_FAILED) {
            SKReportError(0, L"WaitForMultipleObjects (MainServerThread)", L"");
            WaitForSingleObject(m_hStopEvent.get(), kCreateRetryMs);
        }
    }
    stopListening();
}

// Creates instances until enough listen or the bound is reached; false when a creation failed.
bool CSKPipe::CShared::topUpListeners()
{
    for (;;) {
        {
            CSKExclusiveLock guard(m_lock);
            DWORD dwListening = 0;
            for (const SKPipeInstance& instance : m_instances)
                dwListening += instance.m_bListening ? 1 : 0;
            if (dwListening >= SK_PIPE_LISTENING_INSTANCES || m_instances.size() >= SK_PIPE_MAX_INSTANCES)
                return true;
        }
        if (createInstance() != 0)
            return false;
    }
}

// Clients wait for the ready event: they are let go once, when the listening instances exist.
void CSKPipe::CShared::announce()
{
    if (!m_hReadyEvent)
        return;
    if (!SetEvent(m_hReadyEvent.get()))
        SKReportError(0, L"SetEvent", L"");
    m_hReadyEvent.reset();
}

void CSKPipe::CShared::acceptClient(SKPipeInstance& instance)
{
    DWORD dwResult = instance.m_dwConnectResult;
    if (dwResult == ERROR_IO_PENDING) {
        DWORD cbUnused = 0;
        dwResult =
            GetOverlappedResult(instance.m_hPipe.get(), &instance.m_olRead, &cbUnused, FALSE) ? ERROR_SUCCESS
                                                                                               : GetLastError();
        if (dwResult == ERROR_IO_INCOMPLETE)
            return;
    }
    CSKExclusiveLock guard(m_lock);
    instance.m_bListening = false;
    if (isConnected(dwResult) && startWorker(instance))
        return;
    if (!isConnected(dwResult) && dwResult != ERROR_PIPE_NOT_CONNECTED)
        SKReportError(dwResult, L"ConnectNamedPipe", L"");
    // An instance without its worker is of no further use; its handles go with it.
    eraseLocked(instance);
}

// The connects still pending are called off before their records can go.
void CSKPipe::CShared::stopListening()
{
    CSKExclusiveLock guard(m_lock);
    for (SKPipeInstance& instance : m_instances) {
        DWORD cbUnused = 0;
        if (instance.m_bListening && instance.m_dwConnectResult == ERROR_IO_PENDING)
            cancelPending(instance.m_hPipe.get(), &instance.m_olRead, cbUnused);
    }
}

// Drops the records of the workers that have finished.
void CSKPipe::CShared::reapFinishedWorkers()
{
    std::list<SKPipeInstance> finished;
    {
        CSKExclusiveLock guard(m_lock);
        for (auto it = m_instances.begin(); it != m_instances.end();) {
            auto next = std::next(it);
            if (it->m_bFinished)
                finished.splice(finished.end(), m_instances, it);
            it = next;
        }
    }
    for (SKPipeInstance& instance : finished)
        joinFinished(instance);
}
