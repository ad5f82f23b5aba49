#include "sk_pipe.h"

#include <cstring>
#include <iterator>
#include <vector>

#include "ksl_catch.h"
#include "sk_resource.h"
#include "sk_trace.h"

namespace {

const DWORD kSendTimeoutMs = 500;
const DWORD kDefaultPipeTimeoutMs = 60000;
const DWORD kCreateRetryMs = 5000;
const DWORD kReportedCode = static_cast<DWORD>(-1); // failures that are not a Windows call's
const DWORD kShortWriteCode = 9990;

CKSLScopedHandle makeEvent(BOOL bManualReset, BOOL bSignalled, const wchar_t* wcsName = nullptr)
{
    return CKSLScopedHandle(CreateEventW(nullptr, bManualReset, bSignalled, wcsName));
}

// Holds the instance list for the life of one block.
class CSKExclusiveLock {
public:
    explicit CSKExclusiveLock(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~CSKExclusiveLock() { ReleaseSRWLockExclusive(&m_lock); }
    CSKExclusiveLock(const CSKExclusiveLock&) = delete;
    CSKExclusiveLock& operator=(const CSKExclusiveLock&) = delete;

private:
    SRWLOCK& m_lock;
};

bool isOpen(HANDLE hPipe)
{
    return hPipe != nullptr && hPipe != INVALID_HANDLE_VALUE;
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

// Runs a thread's work on its endpoint: nothing may escape a thread procedure.
template <class F>
DWORD runOnEndpoint(LPVOID pEndpoint, const wchar_t* wcsNullLabel, F&& work)
{
    auto* pPipe = static_cast<CSKPipe*>(pEndpoint);
    if (pPipe == nullptr) {
        SKReportError(kReportedCode, wcsNullLabel, L"");
        return 0;
    }
    return kslCatchTraced(DWORD(0), KSL_HERE, [&] {
        work(*pPipe);
        return DWORD(0);
    });
}

void prepareInstance(SKPipeInstance& instance)
{
    instance.m_hReadEvent = makeEvent(FALSE, TRUE);
    instance.m_hWriteEvent = makeEvent(FALSE, TRUE);
    instance.m_olRead.hEvent = instance.m_hReadEvent.get();
    instance.m_olWrite.hEvent = instance.m_hWriteEvent.get();
}

} // namespace

CSKPipe::CSKPipe(bool bServer, bool bThreaded, const wchar_t* wcsPipeName, ULONG_PTR ulHandlerData,
                 SKPipeMessageHandler pfnMessageHandler, SKPipeSecurityProvider pfnSecurityProvider,
                 long lConnectAttempts, const SKPipeSettings& settings)
    : m_bServer(bServer),
      m_bThreaded(bThreaded),
      m_pfnMessageHandler(pfnMessageHandler),
      m_pfnSecurityProvider(bServer ? pfnSecurityProvider : nullptr),
      m_ulHandlerData(ulHandlerData),
      m_wcsPipeName(wcsPipeName != nullptr ? wcsPipeName : L""),
      m_lConnectAttempts(lConnectAttempts),
      m_settings(settings),
      m_wcsReadyEventName(settings.wcsReadyEventName != nullptr ? settings.wcsReadyEventName : L"")
{
    m_settings.wcsReadyEventName = m_wcsReadyEventName.c_str();
    m_hReadEvent = makeEvent(FALSE, TRUE);
    m_hWriteEvent = makeEvent(FALSE, TRUE);
    m_olRead.hEvent = m_hReadEvent.get();
    m_olWrite.hEvent = m_hWriteEvent.get();
    m_hStopEvent = makeEvent(TRUE, FALSE);
    if (m_bServer) {
        m_hReadyEvent = makeEvent(TRUE, FALSE, m_wcsReadyEventName.c_str());
        if (!m_hReadyEvent)
            SKReportError(0, L"CreateEvent", L"");
        m_hMainServerThread.reset(CreateThread(nullptr, 0, MainServerThread, this, 0, nullptr));
        if (!m_hMainServerThread)
            SKReportError(0, L"CreateThread (MainServerThread)", L"");
        return;
    }
    createInstance();
    if (m_bThreaded) {
        CSKExclusiveLock guard(m_instancesLock);
        if (!m_instances.empty())
            startWorker(m_instances.front());
    }
}

CSKPipe::~CSKPipe()
{
    shutdown();
}

size_t CSKPipe::getInstanceCount()
{
    CSKExclusiveLock guard(m_instancesLock);
    return m_instances.size();
}

// --- opening ---------------------------------------------------------------------------------

int CSKPipe::createInstance()
{
    SKPipeInstance instance;
    prepareInstance(instance);
    if (m_bServer) {
        if (createServerInstance(instance) != 0)
            return 1;
    } else if (!openClientPipe(instance)) {
        return 0;
    }
    CSKExclusiveLock guard(m_instancesLock);
    m_instances.push_back(std::move(instance));
    return 0;
}

int CSKPipe::createServerInstance(SKPipeInstance& instance)
{
    if (m_pfnSecurityProvider != nullptr) {
        m_securityAttributes.nLength = sizeof(m_securityAttributes);
        m_securityAttributes.lpSecurityDescriptor = m_pfnSecurityProvider(m_bServer);
        m_securityAttributes.bInheritHandle = TRUE;
        m_pfnSecurityProvider = nullptr;
    }
    instance.m_hPipe.reset(CreateNamedPipeW(
        m_wcsPipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, SK_PIPE_BUFFER_BYTES,
        SK_PIPE_BUFFER_BYTES, kDefaultPipeTimeoutMs,
        m_securityAttributes.nLength != 0 ? &m_securityAttributes : nullptr));
    if (!instance.m_hPipe) {
        SKReportError(0, L"CreateNamedPipe", L"");
        return 1;
    }
    // Clients wait for this event: they are let go once, when the first instance exists.
    if (m_hReadyEvent) {
        if (!SetEvent(m_hReadyEvent.get()))
            SKReportError(0, L"SetEvent", L"");
        m_hReadyEvent.reset();
    }
    return 0;
}

// A server that has announced itself but has no instance yet is given time to create one.
void CSKPipe::waitForReadyEvent()
{
    CKSLScopedHandle hReady(OpenEventW(EVENT_ALL_ACCESS, FALSE, m_wcsReadyEventName.c_str()));
    if (!hReady) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
            SKReportError(0, L"OpenEvent", L"");
        return;
    }
    const DWORD dwWait = WaitForSingleObject(hReady.get(), m_settings.dwReadyWaitMs);
    if (dwWait == WAIT_TIMEOUT)
        SKTrace(SK_TRACE_SAFEKEEP, L"Server did not respond.");
    else if (dwWait == WAIT_FAILED)
        SKReportError(0, L"WaitForSingleObject", L"");
}

// Every failed try, the last one included, is followed by the pause and the wait for a free
// instance (which returns at once when the pipe does not exist at all).
bool CSKPipe::openClientPipe(SKPipeInstance& instance)
{
    for (long lTry = 0; lTry <= m_lConnectAttempts; ++lTry) {
        waitForReadyEvent();
        instance.m_hPipe.reset(CreateFileW(m_wcsPipeName.c_str(), GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_WRITE_THROUGH | FILE_FLAG_OVERLAPPED | FILE_FLAG_NO_BUFFERING,
                                           nullptr));
        if (instance.m_hPipe) {
            DWORD dwMode = PIPE_READMODE_MESSAGE;
            if (!SetNamedPipeHandleState(instance.m_hPipe.get(), &dwMode, nullptr, nullptr))
                SKReportError(0, L"SetNamedPipeHandleState", L"");
            return true;
        }
        Sleep(m_settings.dwRetryPauseMs);
        WaitNamedPipeW(m_wcsPipeName.c_str(), m_settings.dwPipeWaitMs);
    }
    return false;
}

// The thread starts suspended, so that its record names it before it looks itself up.
bool CSKPipe::startWorker(SKPipeInstance& instance)
{
    instance.m_hWorkerThread.reset(
        CreateThread(nullptr, 0, InstanceThread, this, CREATE_SUSPENDED, &instance.m_dwWorkerThreadId));
    if (!instance.m_hWorkerThread) {
        SKReportError(0, L"CreateThread (Worker)", L"");
        return false;
    }
    ResumeThread(instance.m_hWorkerThread.get());
    return true;
}

// --- reading and writing ---------------------------------------------------------------------

int CSKPipe::SendData(const BYTE* pBytes, DWORD cbLength)
{
    if (m_bServer) {
        SKTrace(SK_TRACE_SAFEKEEP, L"SendData aborted. Server parameter required.");
        return 0;
    }
    HANDLE hPipe = nullptr;
    {
        CSKExclusiveLock guard(m_instancesLock);
        if (m_instances.empty()) {
            const int nFirst = pBytes != nullptr && cbLength > 0 ? static_cast<signed char>(pBytes[0]) : 0;
            SKTrace(SK_TRACE_SAFEKEEP, L"SendData aborted. No pipe exists. len=%d msg[0]=%d",
                    static_cast<int>(cbLength), nFirst);
            return 0;
        }
        hPipe = m_instances.front().m_hPipe.get();
    }
    return static_cast<int>(writeData(pBytes, cbLength, hPipe, &m_olWrite, kSendTimeoutMs));
}

DWORD CSKPipe::writeData(const BYTE* pBytes, DWORD cbLength, HANDLE hPipe, OVERLAPPED* pOverlapped,
                         DWORD dwTimeout)
{
    if (!isOpen(hPipe))
        return 0;
    DWORD cbWritten = 0;
    if (!WriteFile(hPipe, pBytes, cbLength, &cbWritten, pOverlapped)) {
        const DWORD dwError = GetLastError();
        if (dwError == ERROR_IO_PENDING) {
            WaitForSingleObject(pOverlapped->hEvent, dwTimeout);
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

DWORD CSKPipe::GetData(BYTE (&buffer)[SK_PIPE_BUFFER_BYTES], SKPipeInstance& instance, OVERLAPPED* pOverlapped,
                       DWORD dwTimeout)
{
    const HANDLE hPipe = instance.m_hPipe.get();
    if (!isOpen(hPipe))
        return 0;
    std::memset(buffer, 0, 4);
    DWORD cbRead = 0;
    if (ReadFile(hPipe, buffer, sizeof buffer, &cbRead, pOverlapped))
        return cbRead;
    DWORD dwError = GetLastError();
    if (dwError != ERROR_IO_PENDING) {
        if (isConversationEnd(dwError))
            return 0;
        SKReportError(dwError, L"ReadFile", L"GetData");
        return cbRead;
    }
    // Timed out or shutting down: the read is called off before the buffer goes back.
    if (!waitOrStop(pOverlapped->hEvent, dwTimeout))
        return cancelPending(hPipe, pOverlapped, cbRead) ? cbRead : 0;
    if (GetOverlappedResult(hPipe, pOverlapped, &cbRead, FALSE))
        return cbRead;
    dwError = GetLastError();
    if (dwError == ERROR_IO_INCOMPLETE)
        return cancelPending(hPipe, pOverlapped, cbRead) ? cbRead : 0;
    if (!isConversationEnd(dwError))
        SKReportError(dwError, L"GetOverlappedResult", L"GetData");
    return cbRead;
}

// True when hEvent was signalled; false on time-out or when shutdown began.
bool CSKPipe::waitOrStop(HANDLE hEvent, DWORD dwTimeout)
{
    const HANDLE handles[2] = {hEvent, m_hStopEvent.get()};
    return WaitForMultipleObjects(2, handles, FALSE, dwTimeout) == WAIT_OBJECT_0;
}

// --- threads ---------------------------------------------------------------------------------

DWORD WINAPI CSKPipe::MainServerThread(LPVOID pEndpoint)
{
    return runOnEndpoint(pEndpoint, L"MainServerThread: null pipe", [](CSKPipe& pipe) { pipe.serveConnections(); });
}

// Alternates between waiting for a client on the newest instance and creating the next one,
// until shutdown begins.
void CSKPipe::serveConnections()
{
    CKSLScopedHandle hConnectEvent = makeEvent(TRUE, FALSE);
    while (!m_bClosing) {
        joinFinishedWorkers();
        if (createInstance() == 1) {
            WaitForSingleObject(m_hStopEvent.get(), kCreateRetryMs);
            continue;
        }
        SKPipeInstance* pInstance = nullptr;
        {
            CSKExclusiveLock guard(m_instancesLock);
            if (!m_instances.empty())
                pInstance = &m_instances.back();
        }
        if (pInstance == nullptr) {
            SKReportError(kReportedCode, L"MainServerThread - No pipe handle.", L"");
            return;
        }
        bool bServed = false;
        if (connectClient(*pInstance, hConnectEvent.get())) {
            CSKExclusiveLock guard(m_instancesLock);
            bServed = startWorker(*pInstance);
        }
        // An instance without its worker is of no further use; its handles go with it.
        if (!bServed)
            removeInstance(*pInstance);
    }
}

bool CSKPipe::connectClient(SKPipeInstance& instance, HANDLE hConnectEvent)
{
    const HANDLE hPipe = instance.m_hPipe.get();
    OVERLAPPED overlapped = {};
    overlapped.hEvent = hConnectEvent;
    ResetEvent(hConnectEvent);
    DWORD dwError = ERROR_SUCCESS;
    if (!ConnectNamedPipe(hPipe, &overlapped)) {
        dwError = GetLastError();
        if (dwError == ERROR_IO_PENDING) {
            DWORD cbUnused = 0;
            if (!waitOrStop(hConnectEvent, INFINITE)) {
                cancelPending(hPipe, &overlapped, cbUnused);
                return false;
            }
            dwError = GetOverlappedResult(hPipe, &overlapped, &cbUnused, FALSE) ? ERROR_SUCCESS : GetLastError();
        }
    }
    // A client that connected, wrote and left before this call still has its messages in the
    // pipe (ERROR_NO_DATA): they are read like any other's.
    if (dwError == ERROR_SUCCESS || dwError == ERROR_PIPE_CONNECTED || dwError == ERROR_NO_DATA)
        return true;
    if (dwError != ERROR_PIPE_NOT_CONNECTED)
        SKReportError(dwError, L"ConnectNamedPipe", L"");
    return false;
}

DWORD WINAPI CSKPipe::InstanceThread(LPVOID pEndpoint)
{
    return runOnEndpoint(pEndpoint, L"InstanceThread: null pipe", [](CSKPipe& pipe) {
        SKPipeInstance* pInstance = pipe.findWorkerRecord();
        if (pInstance == nullptr)
            SKReportError(kReportedCode, L"InstanceThread: null worker", L"");
        else
            pipe.serveRequests(*pInstance);
    });
}

SKPipeInstance* CSKPipe::findWorkerRecord()
{
    const DWORD dwThreadId = GetCurrentThreadId();
    CSKExclusiveLock guard(m_instancesLock);
    for (SKPipeInstance& instance : m_instances)
        if (instance.m_dwWorkerThreadId == dwThreadId)
            return &instance;
    return nullptr;
}

void CSKPipe::serveRequests(SKPipeInstance& instance)
{
    BYTE request[SK_PIPE_BUFFER_BYTES];
    BYTE reply[SK_PIPE_BUFFER_BYTES];
    while (!m_bClosing) {
        const DWORD cbRequest = GetData(request, instance, &instance.m_olRead, INFINITE);
        if (cbRequest == 0 || m_bClosing || request[0] == SK_PIPE_END)
            break;
        if (request[0] == SK_PIPE_REGISTER)
            instance.m_bRegistered = true;
        if (m_pfnMessageHandler == nullptr)
            continue;
        DWORD cbReply = m_pfnMessageHandler(m_ulHandlerData, request, cbRequest, reply);
        if (cbReply > sizeof reply)
            cbReply = sizeof reply;
        if (cbReply != 0)
            writeData(reply, cbReply, instance.m_hPipe.get(), &instance.m_olWrite, kSendTimeoutMs);
    }
    // A client endpoint keeps its record: shutdown closes it.
    if (m_bServer)
        endServerConversation(instance, reply);
}

void CSKPipe::endServerConversation(SKPipeInstance& instance, BYTE* pReply)
{
    if (instance.m_bRegistered && m_pfnMessageHandler != nullptr) {
        const BYTE gone[1] = {SK_PIPE_UNREGISTERED};
        m_pfnMessageHandler(m_ulHandlerData, gone, sizeof gone, pReply);
    }
    if (instance.m_hPipe) {
        if (!DisconnectNamedPipe(instance.m_hPipe.get()))
            SKReportError(0, L"DisconnectNamedPipe", L"");
        closeReported(instance.m_hPipe, L"CloseHandle (hPipe)");
    } else {
        SKReportError(0, L"InstanceThread: Invalid worker pipe.", L"");
    }
    closeReported(instance.m_hReadEvent, L"CloseHandle (hReadEvent)");
    closeReported(instance.m_hWriteEvent, L"CloseHandle (hWriteEvent)");
    // The main server thread or shutdown joins this thread and drops the record.
    CSKExclusiveLock guard(m_instancesLock);
    instance.m_bFinished = true;
}

// --- closing ---------------------------------------------------------------------------------

void CSKPipe::removeInstance(SKPipeInstance& instance)
{
    CSKExclusiveLock guard(m_instancesLock);
    for (auto it = m_instances.begin(); it != m_instances.end(); ++it)
        if (&*it == &instance) {
            m_instances.erase(it);
            return;
        }
}

// Joins the workers whose conversation is over and drops their records.
void CSKPipe::joinFinishedWorkers()
{
    std::list<SKPipeInstance> finished;
    {
        CSKExclusiveLock guard(m_instancesLock);
        for (auto it = m_instances.begin(); it != m_instances.end();) {
            auto next = std::next(it);
            if (it->m_bFinished)
                finished.splice(finished.end(), m_instances, it);
            it = next;
        }
    }
    for (SKPipeInstance& instance : finished) {
        if (WaitForSingleObject(instance.m_hWorkerThread.get(), INFINITE) == WAIT_FAILED)
            SKReportError(0, L"WaitForSingleObject (server)", L"");
        closeReported(instance.m_hWorkerThread, L"CloseHandle (hWorkerThread)");
    }
}

// Waits for every worker; the stop event has told them to end.
void CSKPipe::joinWorkers(const wchar_t* wcsWaitLabel)
{
    std::vector<HANDLE> workers;
    {
        CSKExclusiveLock guard(m_instancesLock);
        for (const SKPipeInstance& instance : m_instances)
            if (instance.m_hWorkerThread)
                workers.push_back(instance.m_hWorkerThread.get());
    }
    for (HANDLE hWorker : workers)
        if (WaitForSingleObject(hWorker, INFINITE) == WAIT_FAILED)
            SKReportError(0, wcsWaitLabel, L"");
}

void CSKPipe::closeInstances()
{
    std::list<SKPipeInstance> instances;
    {
        CSKExclusiveLock guard(m_instancesLock);
        instances.swap(m_instances);
    }
    for (SKPipeInstance& instance : instances) {
        if (!m_bServer && !m_bThreaded) {
            closeReported(instance.m_hPipe, L"CloseHandle (single thread client 1)");
            closeReported(instance.m_hReadEvent, L"CloseHandle (single thread client 2)");
            closeReported(instance.m_hWriteEvent, L"CloseHandle (single thread client 3)");
            continue;
        }
        if (!instance.m_hPipe)
            SKReportError(0, L"InstanceThread: Invalid worker pipe.", L"");
        else if (m_bServer && !DisconnectNamedPipe(instance.m_hPipe.get()))
            SKReportError(0, L"DisconnectNamedPipe", L"");
        closeReported(instance.m_hPipe, L"CloseHandle (hPipe)");
        closeReported(instance.m_hReadEvent, L"CloseHandle (hReadEvent)");
        closeReported(instance.m_hWriteEvent, L"CloseHandle (hWriteEvent)");
        closeReported(instance.m_hWorkerThread, L"CloseHandle (hWorkerThread)");
    }
}

void CSKPipe::shutdown()
{
    if (m_bShutDown)
        return;
    m_bShutDown = true;
    m_bClosing = true;
    SetEvent(m_hStopEvent.get());
    if (m_bServer && m_hMainServerThread) {
        if (WaitForSingleObject(m_hMainServerThread.get(), INFINITE) == WAIT_FAILED)
            SKReportError(0, L"WaitForSingleObject (Main Server Thread)", L"");
        closeReported(m_hMainServerThread, L"CloseHandle (Main Server Thread)");
    }
    if (m_bServer || m_bThreaded)
        joinWorkers(m_bServer ? L"WaitForSingleObject (server)" : L"WaitForSingleObject (client)");
    joinFinishedWorkers();
    closeInstances();
    m_olRead.hEvent = nullptr;
    m_olWrite.hEvent = nullptr;
    closeReported(m_hReadEvent, L"CloseHandle (read event)");
    closeReported(m_hWriteEvent, L"CloseHandle (write event)");
    m_hReadyEvent.reset();
    m_hStopEvent.reset();
    if (m_securityAttributes.lpSecurityDescriptor != nullptr)
        LocalFree(m_securityAttributes.lpSecurityDescriptor);
    m_securityAttributes = SECURITY_ATTRIBUTES();
}
