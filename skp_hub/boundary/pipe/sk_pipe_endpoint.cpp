// The pipe's endpoint: the state both ends share, reading and writing with time-outs, the workers
// that serve a connection (the server's, and a threaded client's), and shutdown.
#include "sk_pipe_shared.h"

#include <cstring>
#include <iterator>
#include <vector>

#include "ksl_format.h"
#include "ksl_pumping_wait.h"

using namespace sk_pipe_detail;

namespace {

const DWORD kShortWriteCode = 9990;
const SIZE_T kWorkerStackBytes = 1 << 20;

bool hasEnded(HANDLE hThread)
{
    return WaitForSingleObject(hThread, 0) == WAIT_OBJECT_0;
}

// The end of a conversation shows as a broken pipe or no data; neither is an error.
bool isConversationEnd(DWORD dwError)
{
    return dwError == ERROR_BROKEN_PIPE || dwError == ERROR_NO_DATA;
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

namespace sk_pipe_detail {

CKSLScopedHandle makeEvent(BOOL bManualReset, BOOL bSignalled, const wchar_t* wcsName)
{
    return CKSLScopedHandle(CreateEventW(nullptr, bManualReset, bSignalled, wcsName));
}

bool isOpen(HANDLE hPipe)
{
    return hPipe != nullptr && hPipe != INVALID_HANDLE_VALUE;
}

// Cancels an operation still in flight and waits until the system has let go of its buffer and
// overlapped record. True when it completed after all; cbDone then holds its byte count.
bool cancelPending(HANDLE hPipe, OVERLAPPED* pOverlapped, DWORD& cbDone)
{
    CancelIoEx(hPipe, pOverlapped);
    return GetOverlappedResult(hPipe, pOverlapped, &cbDone, TRUE) != FALSE;
}

// A finished worker has only its return left to do: waiting for it takes no time.
void joinFinished(SKPipeInstance& instance)
{
    if (WaitForSingleObject(instance.m_hWorkerThread.get(), INFINITE) == WAIT_FAILED)
        SKReportError(0, L"WaitForSingleObject (server)", L"");
    closeReported(instance.m_hWorkerThread, L"CloseHandle (hWorkerThread)");
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

} // namespace sk_pipe_detail

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
        startServer(); // sk_pipe_server.cpp, in the programs that serve the pipe
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

// --- instances -------------------------------------------------------------------------------

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

void CSKPipe::CShared::eraseLocked(SKPipeInstance& instance)
{
    for (auto it = m_instances.begin(); it != m_instances.end(); ++it)
        if (&*it == &instance) {
            m_instances.erase(it);
            return;
        }
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
    kslFormat(wcsContext, 64, L"GetData len=%lu", cbTotal);
    SKReportError(ERROR_MORE_DATA, L"ReadFile", wcsContext);
    return dwResult == ERROR_SUCCESS;
}

// True when hEvent was signalled; false on time-out or when shutdown began.
bool CSKPipe::CShared::waitOrStop(HANDLE hEvent, DWORD dwTimeout)
{
    const HANDLE handles[2] = {hEvent, m_hStopEvent.get()};
    return WaitForMultipleObjects(2, handles, FALSE, dwTimeout) == WAIT_OBJECT_0;
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
