#include "sk_pipe.h"

#include <cstring>
#include <iterator>
#include <vector>

#include "ksl_catch.h"
#include "ksl_pumping_wait.h"
#include "sk_resource.h"
#include "sk_slim_lock.h"
#include "sk_trace.h"

namespace {

const DWORD kSendTimeoutMs = 500;
// How long a client waiting for a free instance of a busy pipe leaves its thread's messages waiting.
const DWORD kFreeInstanceSliceMs = 20;
const DWORD kDefaultPipeTimeoutMs = 60000;
const DWORD kCreateRetryMs = 5000;
const DWORD kReportedCode = static_cast<DWORD>(-1); // failures that are not a Windows call's
const DWORD kShortWriteCode = 9990;
const SIZE_T kWorkerStackBytes = 1 << 20;
// The main server thread waits on the stop event, the worker-done event and every listener.
static_assert(SK_PIPE_LISTENING_INSTANCES + 2 <= MAXIMUM_WAIT_OBJECTS, "one wait covers every listener");
static_assert(SK_PIPE_LISTENING_INSTANCES <= SK_PIPE_MAX_INSTANCES, "listeners count towards the bound");
// The client lets the server learn who it is, but not act as it.
const DWORD kClientOpenFlags = FILE_FLAG_WRITE_THROUGH | FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING |
                               SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
const DWORD kServerPipeMode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;

CKSLScopedHandle makeEvent(BOOL bManualReset, BOOL bSignalled, const wchar_t* wcsName = nullptr)
{
    return CKSLScopedHandle(CreateEventW(nullptr, bManualReset, bSignalled, wcsName));
}

bool isOpen(HANDLE hPipe)
{
    return hPipe != nullptr && hPipe != INVALID_HANDLE_VALUE;
}

bool hasEnded(HANDLE hThread)
{
    return WaitForSingleObject(hThread, 0) == WAIT_OBJECT_0;
}

// Closes a handle now, reporting a refused close under the label.
template <class TScoped>
void closeReported(TScoped& handle, const wchar_t* wcsLabel)
{
    if (handle && !handle.reset())
        SKReportError(0, wcsLabel, L"");
}

// Cancels an operation still in flight and waits until the system has let go of its buffer and
// overlapped record. True when it completed after all; cbDone then holds its byte count.
bool cancelPending(HANDLE hPipe, OVERLAPPED* pOverlapped, DWORD& cbDone)
{
    CancelIoEx(hPipe, pOverlapped);
    return GetOverlappedResult(hPipe, pOverlapped, &cbDone, TRUE) != FALSE;
}

// The end of a conversation shows as a broken pipe or no data; neither is an error.
bool isConversationEnd(DWORD dwError)
{
    return dwError == ERROR_BROKEN_PIPE || dwError == ERROR_NO_DATA;
}

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

void prepareInstance(SKPipeInstance& instance)
{
    instance.m_hReadEvent = makeEvent(FALSE, TRUE);
    instance.m_hWriteEvent = makeEvent(FALSE, TRUE);
    instance.m_olRead.hEvent = instance.m_hReadEvent.get();
    instance.m_olWrite.hEvent = instance.m_hWriteEvent.get();
}

// The pipe ends and its events close with the labels of the worker.
void closePipeAndEvents(SKPipeInstance& instance, bool bServer)
{
    if (!instance.m_hPipe)
        SKReportError(0, L"InstanceThread: Invalid worker pipe.", L"");
    else if (bServer && !DisconnectNamedPipe(instance.m_hPipe.get()))
        SKReportError(0, L"DisconnectNamedPipe", L"");
    closeReported(instance.m_hPipe, L"CloseHandle (hPipe)");
    closeReported(instance.m_hReadEvent, L"CloseHandle (hReadEvent)");
    closeReported(instance.m_hWriteEvent, L"CloseHandle (hWriteEvent)");
}

} // namespace

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
    CKSLScopedHandle m_hStopEvent{makeEvent(TRUE, FALSE)};   // wakes every wait when shutdown begins
    CKSLScopedHandle m_hWorkerDone{makeEvent(FALSE, FALSE)}; // a server worker has finished
    // Used by the main server thread only.
    SKPipeSecurityProvider m_pfnSecurityProvider;
    SECURITY_ATTRIBUTES m_securityAttributes = {}; // zero (default security) until a provider ran
    CKSLScopedHandle m_hReadyEvent;
    // Guarded by m_lock.
    SRWLOCK m_lock = SRWLOCK_INIT; // holds no handle, so nothing to release
    std::list<SKPipeInstance> m_instances; // records keep their address: overlapped I/O points into them
    bool m_bHandlersClosed = false;        // shutdown is over: no handler is called any more
};

CSKPipe::CShared::CShared(bool bServer, bool bThreaded, const wchar_t* wcsPipeName, ULONG_PTR ulHandlerData,
                          SKPipeMessageHandler pfnMessageHandler, SKPipeSecurityProvider pfnSecurityProvider,
                          long lConnectAttempts, const SKPipeSettings& settings)
    : m_bServer(bServer),
      m_bThreaded(bThreaded),
      m_pfnMessageHandler(pfnMessageHandler),
      m_ulHandlerData(ulHandlerData),
      m_wcsPipeName(wcsPipeName != nullptr ? wcsPipeName : L""),
      m_lConnectAttempts(lConnectAttempts),
      m_settings(settings),
      m_wcsReadyEventName(settings.wcsReadyEventName != nullptr ? settings.wcsReadyEventName : L""),
      m_pfnSecurityProvider(bServer ? pfnSecurityProvider : nullptr)
{
    m_settings.wcsReadyEventName = m_wcsReadyEventName.c_str();
}

CSKPipe::CShared::~CShared()
{
    if (m_securityAttributes.lpSecurityDescriptor != nullptr)
        LocalFree(m_securityAttributes.lpSecurityDescriptor);
}

namespace {

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

// Starts a thread procedure with its own share of the state; suspended, so that the caller can
// note its id first.
HANDLE startThread(LPTHREAD_START_ROUTINE pfnProcedure, const std::shared_ptr<CSKPipe::CShared>& pShared,
                   SIZE_T cbStack, DWORD& dwThreadId)
{
    auto* pShare = new std::shared_ptr<CSKPipe::CShared>(pShared);
    const HANDLE hThread = CreateThread(nullptr, cbStack, pfnProcedure, pShare,
                                        CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION, &dwThreadId);
    if (hThread == nullptr)
        delete pShare;
    return hThread;
}

} // namespace

// --- the endpoint ----------------------------------------------------------------------------

CSKPipe::CSKPipe(bool bServer, bool bThreaded, const wchar_t* wcsPipeName, ULONG_PTR ulHandlerData,
                 SKPipeMessageHandler pfnMessageHandler, SKPipeSecurityProvider pfnSecurityProvider,
                 long lConnectAttempts, const SKPipeSettings& settings)
    : m_pShared(std::make_shared<CShared>(bServer, bThreaded, wcsPipeName, ulHandlerData, pfnMessageHandler,
                                          pfnSecurityProvider, lConnectAttempts, settings))
{
    m_hReadEvent = makeEvent(FALSE, TRUE);
    m_hWriteEvent = makeEvent(FALSE, TRUE);
    m_olRead.hEvent = m_hReadEvent.get();
    m_olWrite.hEvent = m_hWriteEvent.get();
    if (bServer) {
        m_pShared->m_hReadyEvent = makeEvent(TRUE, FALSE, m_pShared->m_wcsReadyEventName.c_str());
        if (!m_pShared->m_hReadyEvent)
            SKReportError(0, L"CreateEvent", L"");
        DWORD dwThreadId = 0;
        m_hMainServerThread.reset(startThread(MainServerThread, m_pShared, 0, dwThreadId));
        if (!m_hMainServerThread)
            SKReportError(0, L"CreateThread (MainServerThread)", L"");
        else
            ResumeThread(m_hMainServerThread.get());
        return;
    }
    m_pShared->createInstance();
    if (bThreaded) {
        CSKExclusiveLock guard(m_pShared->m_lock);
        if (!m_pShared->m_instances.empty())
            m_pShared->startWorker(m_pShared->m_instances.front());
    }
}

CSKPipe::~CSKPipe()
{
    shutdown();
}

size_t CSKPipe::getInstanceCount()
{
    return m_pShared->instanceCount();
}

int CSKPipe::createInstance()
{
    return m_pShared->createInstance();
}

DWORD CSKPipe::GetData(BYTE (&buffer)[SK_PIPE_BUFFER_BYTES], SKPipeInstance& instance, OVERLAPPED* pOverlapped,
                       DWORD dwTimeout)
{
    return m_pShared->GetData(buffer, instance, pOverlapped, dwTimeout);
}

DWORD CSKPipe::writeData(const BYTE* pBytes, DWORD cbLength, HANDLE hPipe, OVERLAPPED* pOverlapped, DWORD dwTimeout)
{
    return m_pShared->writeData(pBytes, cbLength, hPipe, pOverlapped, dwTimeout);
}

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

// The main server thread ends at once when told to; the workers get until the deadline, and
// those still running then are left to finish alone. A handler that calls this for its own
// endpoint does not wait for itself; while another shutdown runs it returns at once.
void CSKPipe::shutdown()
{
    // A handler's own call only tries: the shutdown that holds the lock may be waiting for it.
    CSKExclusiveLock guard(m_shutdownLock, m_pShared->isWorkerThread());
    if (!guard.owns())
        return;
    if (m_bShutDown)
        return;
    m_bShutDown = true;
    const DWORD dwStartTick = GetTickCount();
    CShared& shared = *m_pShared;
    shared.m_bClosing = true;
    SetEvent(shared.m_hStopEvent.get());
    if (m_hMainServerThread) {
        if (WaitForSingleObject(m_hMainServerThread.get(), INFINITE) == WAIT_FAILED)
            SKReportError(0, L"WaitForSingleObject (Main Server Thread)", L"");
        closeReported(m_hMainServerThread, L"CloseHandle (Main Server Thread)");
    }
    if (shared.m_bServer || shared.m_bThreaded)
        shared.joinWorkers(shared.m_bServer ? L"WaitForSingleObject (server)" : L"WaitForSingleObject (client)",
                           dwStartTick);
    shared.closeInstances();
    m_olRead.hEvent = nullptr;
    m_olWrite.hEvent = nullptr;
    closeReported(m_hReadEvent, L"CloseHandle (read event)");
    closeReported(m_hWriteEvent, L"CloseHandle (write event)");
    shared.m_hReadyEvent.reset();
}

// --- opening ---------------------------------------------------------------------------------

size_t CSKPipe::CShared::instanceCount()
{
    CSKExclusiveLock guard(m_lock);
    return m_instances.size();
}

int CSKPipe::CShared::createInstance()
{
    SKPipeInstance instance;
    prepareInstance(instance);
    if (m_bServer)
        return createServerInstance(instance);
    if (openClientPipe(instance)) {
        CSKExclusiveLock guard(m_lock);
        m_instances.push_back(std::move(instance));
    }
    return 0;
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

// Called with the list held: the record names its thread before the thread looks itself up.
bool CSKPipe::CShared::startWorker(SKPipeInstance& instance)
{
    instance.m_hWorkerThread.reset(
        startThread(InstanceThread, shared_from_this(), kWorkerStackBytes, instance.m_dwWorkerThreadId));
    if (!instance.m_hWorkerThread) {
        SKReportError(0, L"CreateThread (Worker)", L"");
        return false;
    }
    ResumeThread(instance.m_hWorkerThread.get());
    return true;
}

// --- reading and writing ---------------------------------------------------------------------

DWORD CSKPipe::CShared::writeData(const BYTE* pBytes, DWORD cbLength, HANDLE hPipe, OVERLAPPED* pOverlapped,
                                  DWORD dwTimeout)
{
    if (!isOpen(hPipe))
        return 0;
    DWORD cbWritten = 0;
    if (!WriteFile(hPipe, pBytes, cbLength, &cbWritten, pOverlapped)) {
        const DWORD dwError = GetLastError();
        if (dwError == ERROR_IO_PENDING) {
            kslWaitPumping(&pOverlapped->hEvent, 1, dwTimeout); // on the caller's thread: its windows answer
            if (!GetOverlappedResult(hPipe, pOverlapped, &cbWritten, FALSE)) {
                const DWORD dwResult = GetLastError();
                if (!isConversationEnd(dwResult))
                    SKReportError(dwResult, L"GetOverlappedResult", L"SendData");
                // The caller's bytes must not stay in the system's hands after this returns.
                if (dwResult == ERROR_IO_INCOMPLETE && !cancelPending(hPipe, pOverlapped, cbWritten))
                    cbWritten = 0;
            }
        } else if (isConversationEnd(dwError)) {
            return 0;
        } else {
            SKReportError(dwError, L"WriteFile", L"");
        }
    }
    if (cbWritten != cbLength && cbWritten != 0)
        SKReportError(kShortWriteCode, L"WriteFile", L"SendData");
    return cbWritten;
}

DWORD CSKPipe::CShared::GetData(BYTE* pBuffer, SKPipeInstance& instance, OVERLAPPED* pOverlapped, DWORD dwTimeout)
{
    const HANDLE hPipe = instance.m_hPipe.get();
    if (!isOpen(hPipe))
        return 0;
    for (;;) {
        std::memset(pBuffer, 0, 4);
        DWORD cbRead = 0;
        if (readOnce(pBuffer, hPipe, pOverlapped, dwTimeout, cbRead) != ERROR_MORE_DATA)
            return cbRead;
        if (!dropRestOfMessage(pBuffer, hPipe, pOverlapped, dwTimeout, cbRead))
            return 0;
    }
}

// One read of up to a buffer's worth, waited for until the time-out or shutdown (then called off
// before the buffer goes back). Answers ERROR_SUCCESS, ERROR_MORE_DATA (the message goes on) or
// the error that ended it; errors other than the end of the conversation are reported.
DWORD CSKPipe::CShared::readOnce(BYTE* pBuffer, HANDLE hPipe, OVERLAPPED* pOverlapped, DWORD dwTimeout,
                                 DWORD& cbRead)
{
    cbRead = 0;
    if (ReadFile(hPipe, pBuffer, SK_PIPE_BUFFER_BYTES, &cbRead, pOverlapped))
        return ERROR_SUCCESS;
    DWORD dwError = GetLastError();
    if (dwError == ERROR_MORE_DATA) {
        GetOverlappedResult(hPipe, pOverlapped, &cbRead, FALSE); // the count of the first part
        return dwError;
    }
    if (dwError != ERROR_IO_PENDING) {
        if (!isConversationEnd(dwError))
            SKReportError(dwError, L"ReadFile", L"GetData");
        return dwError;
    }
    if (waitOrStop(pOverlapped->hEvent, dwTimeout)) {
        if (GetOverlappedResult(hPipe, pOverlapped, &cbRead, FALSE))
            return ERROR_SUCCESS;
        dwError = GetLastError();
        if (dwError != ERROR_IO_INCOMPLETE) {
            if (dwError != ERROR_MORE_DATA && !isConversationEnd(dwError))
                SKReportError(dwError, L"GetOverlappedResult", L"GetData");
            return dwError;
        }
    }
    // Timed out, shutting down, or not done after all: the read is called off.
    if (cancelPending(hPipe, pOverlapped, cbRead))
        return ERROR_SUCCESS;
    cbRead = 0;
    return ERROR_OPERATION_ABORTED;
}

// A message longer than the buffer is read to its end and dropped whole, with one trace line;
// true when the conversation can go on with the next message.
bool CSKPipe::CShared::dropRestOfMessage(BYTE* pBuffer, HANDLE hPipe, OVERLAPPED* pOverlapped, DWORD dwTimeout,
                                         DWORD cbFirst)
{
    DWORD cbTotal = cbFirst;
    DWORD dwResult = ERROR_MORE_DATA;
    while (dwResult == ERROR_MORE_DATA) {
        DWORD cbPart = 0;
        dwResult = readOnce(pBuffer, hPipe, pOverlapped, dwTimeout, cbPart);
        cbTotal += cbPart;
    }
    wchar_t wcsContext[64];
    SKFormat(wcsContext, 64, L"GetData len=%lu", cbTotal);
    SKReportError(ERROR_MORE_DATA, L"ReadFile", wcsContext);
    return dwResult == ERROR_SUCCESS;
}

// True when hEvent was signalled; false on time-out or when shutdown began.
bool CSKPipe::CShared::waitOrStop(HANDLE hEvent, DWORD dwTimeout)
{
    const HANDLE handles[2] = {hEvent, m_hStopEvent.get()};
    return WaitForMultipleObjects(2, handles, FALSE, dwTimeout) == WAIT_OBJECT_0;
}

// --- the main server thread ------------------------------------------------------------------

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

namespace {

// A finished worker has only its return left to do: waiting for it takes no time.
void joinFinished(SKPipeInstance& instance)
{
    if (WaitForSingleObject(instance.m_hWorkerThread.get(), INFINITE) == WAIT_FAILED)
        SKReportError(0, L"WaitForSingleObject (server)", L"");
    closeReported(instance.m_hWorkerThread, L"CloseHandle (hWorkerThread)");
}

} // namespace

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

void CSKPipe::CShared::eraseLocked(SKPipeInstance& instance)
{
    for (auto it = m_instances.begin(); it != m_instances.end(); ++it)
        if (&*it == &instance) {
            m_instances.erase(it);
            return;
        }
}

// --- the workers -----------------------------------------------------------------------------

DWORD WINAPI CSKPipe::InstanceThread(LPVOID pShared)
{
    return runShared(pShared, L"InstanceThread: null pipe", [](CShared& shared) {
        SKPipeInstance* pInstance = shared.findWorkerRecord();
        if (pInstance == nullptr)
            SKReportError(kReportedCode, L"InstanceThread: null worker", L"");
        else
            shared.serveRequests(*pInstance);
    });
}

SKPipeInstance* CSKPipe::CShared::findWorkerRecord()
{
    const DWORD dwThreadId = GetCurrentThreadId();
    CSKExclusiveLock guard(m_lock);
    for (SKPipeInstance& instance : m_instances)
        if (instance.m_dwWorkerThreadId == dwThreadId)
            return &instance;
    return nullptr;
}

bool CSKPipe::CShared::isWorkerThread()
{
    return findWorkerRecord() != nullptr;
}

void CSKPipe::CShared::serveRequests(SKPipeInstance& instance)
{
    BYTE request[SK_PIPE_BUFFER_BYTES];
    BYTE reply[SK_PIPE_BUFFER_BYTES];
    while (!m_bClosing) {
        const DWORD cbRequest = GetData(request, instance, &instance.m_olRead, INFINITE);
        if (cbRequest == 0 || m_bClosing || request[0] == SK_PIPE_END)
            break;
        if (request[0] == SK_PIPE_REGISTER)
            instance.m_bRegistered = true;
        DWORD cbReply = 0;
        if (!callHandler(request, cbRequest, reply, cbReply))
            break;
        if (cbReply != 0)
            writeData(reply, cbReply, instance.m_hPipe.get(), &instance.m_olWrite, kSendTimeoutMs);
    }
    endConversation(instance, reply);
}

// Calls the handler unless shutdown is over; false when it was not called that way or threw.
bool CSKPipe::CShared::callHandler(const BYTE* pRequest, DWORD cbRequest, BYTE* pReply, DWORD& cbReply)
{
    cbReply = 0;
    if (m_pfnMessageHandler == nullptr)
        return true;
    {
        CSKExclusiveLock guard(m_lock);
        if (m_bHandlersClosed)
            return false;
    }
    return kslCatchTraced(false, KSL_HERE, [&] {
        cbReply = m_pfnMessageHandler(m_ulHandlerData, pRequest, cbRequest, pReply);
        if (cbReply > SK_PIPE_BUFFER_BYTES)
            cbReply = SK_PIPE_BUFFER_BYTES;
        return true;
    });
}

// A server worker announces a registered client as gone and closes its pipe; the main server
// thread or shutdown then drops the record. A worker that shutdown has given up on drops its
// record itself, its own thread handle with it. A client's record stays for shutdown.
void CSKPipe::CShared::endConversation(SKPipeInstance& instance, BYTE* pReply)
{
    if (m_bServer && instance.m_bRegistered) {
        const BYTE gone[1] = {SK_PIPE_UNREGISTERED};
        DWORD cbIgnored = 0;
        callHandler(gone, sizeof gone, pReply, cbIgnored);
    }
    {
        CSKExclusiveLock guard(m_lock);
        if (m_bServer)
            closePipeAndEvents(instance, true);
        if (instance.m_bAbandoned)
            eraseLocked(instance);
        else
            instance.m_bFinished = m_bServer;
    }
    if (m_bServer)
        SetEvent(m_hWorkerDone.get());
}

// --- closing ---------------------------------------------------------------------------------

// Waits for every worker but the calling one, until the deadline.
void CSKPipe::CShared::joinWorkers(const wchar_t* wcsWaitLabel, DWORD dwStartTick)
{
    std::vector<HANDLE> workers;
    {
        const DWORD dwSelf = GetCurrentThreadId();
        CSKExclusiveLock guard(m_lock);
        for (const SKPipeInstance& instance : m_instances)
            if (instance.m_hWorkerThread && instance.m_dwWorkerThreadId != dwSelf)
                workers.push_back(instance.m_hWorkerThread.get());
    }
    for (HANDLE hWorker : workers) {
        const DWORD dwElapsed = GetTickCount() - dwStartTick;
        const DWORD dwLeft = dwElapsed < SK_PIPE_SHUTDOWN_WAIT_MS ? SK_PIPE_SHUTDOWN_WAIT_MS - dwElapsed : 0;
        if (WaitForSingleObject(hWorker, dwLeft) == WAIT_FAILED)
            SKReportError(0, wcsWaitLabel, L"");
    }
}

// Closes what every record holds, except the records of workers still running: those are left
// to their workers, which call no handler any more.
void CSKPipe::CShared::closeInstances()
{
    std::list<SKPipeInstance> instances;
    {
        CSKExclusiveLock guard(m_lock);
        m_bHandlersClosed = true;
        for (auto it = m_instances.begin(); it != m_instances.end();) {
            auto next = std::next(it);
            // A finished worker has only its return left to do.
            if (!it->m_hWorkerThread || it->m_bFinished || hasEnded(it->m_hWorkerThread.get()))
                instances.splice(instances.end(), m_instances, it);
            else
                it->m_bAbandoned = true;
            it = next;
        }
    }
    for (SKPipeInstance& instance : instances) {
        if (!m_bServer && !m_bThreaded) {
            closeReported(instance.m_hPipe, L"CloseHandle (single thread client 1)");
            closeReported(instance.m_hReadEvent, L"CloseHandle (single thread client 2)");
            closeReported(instance.m_hWriteEvent, L"CloseHandle (single thread client 3)");
            continue;
        }
        // A listening instance has no client to disconnect.
        if (instance.m_hPipe)
            closePipeAndEvents(instance, m_bServer && !instance.m_bListening);
        if (instance.m_bFinished)
            joinFinished(instance);
        else
            closeReported(instance.m_hWorkerThread, L"CloseHandle (hWorkerThread)");
    }
}
