// CSKPipe: both ends of the product service's message pipe.
//
// Client: waits for the server's ready event, opens the pipe and sends messages with SendData; a
// threaded client also runs a worker that hands the server's replies to the message handler.
// Server: a main server thread creates pipe instances, signals the ready event once the first
// exists and accepts clients; every connected client gets a worker thread that reads requests and
// writes back what the message handler answers.
//
// Nothing throws: a failed Windows call becomes one trace line under "Safekeep". shutdown() stops
// and joins every thread and closes every handle; the destructor calls it when the owner did not.
#pragma once

#include <windows.h>

#include <atomic>
#include <list>
#include <string>

#include "ksl_scoped_handle.h"

#define SK_SERVICE_PIPE_NAME L"\\\\.\\pipe\\SKOrbitPipe"
#define SK_SERVER_READY_EVENT L"SK_ServerReadyEvent"

// Both pipe buffers, every read, the reply buffer and a client's message buffer.
const DWORD SK_PIPE_BUFFER_BYTES = 0x10000;

// First byte of a request as the workers read it.
const BYTE SK_PIPE_REGISTER = 2;     // the client registers; it is announced with 7 when it goes
const BYTE SK_PIPE_END = 6;          // end of conversation
const BYTE SK_PIPE_UNREGISTERED = 7; // made up for the handler when a registered client goes

// Called with the handler data, the request and the 65,536-byte reply buffer; answers the reply
// length (0: no reply). Runs on a worker thread, and must return for shutdown to finish.
typedef DWORD (*SKPipeMessageHandler)(ULONG_PTR ulHandlerData, const BYTE* pRequest, DWORD cbRequest,
                                      BYTE* pReply);
// Server only: called once, before the first pipe instance, with the server flag; answers a
// security descriptor allocated with LocalAlloc (the endpoint frees it) or null for the default.
typedef PSECURITY_DESCRIPTOR (*SKPipeSecurityProvider)(bool bServer);

// Names and waits of the endpoint. The defaults are the product's; tests use private names so
// that they never meet a real service, and shorter waits.
struct SKPipeSettings {
    const wchar_t* wcsReadyEventName = SK_SERVER_READY_EVENT;
    DWORD dwReadyWaitMs = 20000;  // client: how long a present ready event is awaited
    DWORD dwRetryPauseMs = 5000;  // client: pause after a failed open, then ...
    DWORD dwPipeWaitMs = 25000;   // ... WaitNamedPipeW for a free instance
};

// One pipe handle and what serves it.
struct SKPipeInstance {
    CKSLScopedFile m_hPipe;
    CKSLScopedHandle m_hWorkerThread;
    DWORD m_dwWorkerThreadId = 0;
    OVERLAPPED m_olRead = {};  // hEvent = m_hReadEvent
    OVERLAPPED m_olWrite = {}; // hEvent = m_hWriteEvent, for replies
    CKSLScopedHandle m_hReadEvent;
    CKSLScopedHandle m_hWriteEvent;
    bool m_bRegistered = false;
    bool m_bFinished = false; // the server worker is done; the record waits to be joined
};

class CSKPipe {
public:
    // The plug-in's client: CSKPipe(false, false, SK_SERVICE_PIPE_NAME, 0, nullptr, nullptr, 1).
    // lConnectAttempts (client): retries after the first try to open the pipe; negative: no try.
    CSKPipe(bool bServer, bool bThreaded, const wchar_t* wcsPipeName, ULONG_PTR ulHandlerData,
            SKPipeMessageHandler pfnMessageHandler, SKPipeSecurityProvider pfnSecurityProvider,
            long lConnectAttempts, const SKPipeSettings& settings = SKPipeSettings());
    ~CSKPipe();
    CSKPipe(const CSKPipe&) = delete;
    CSKPipe& operator=(const CSKPipe&) = delete;

    // Client: writes one message to the pipe, waiting up to 500 ms; answers the bytes written,
    // 0 on any failure (no pipe, a server endpoint, a broken pipe, a write still pending).
    int SendData(const BYTE* pBytes, DWORD cbLength);
    // Reads one message into buffer, waiting up to dwTimeout ms (or until shutdown); a read that
    // did not complete is cancelled before returning. Answers the bytes read, 0 for none.
    DWORD GetData(BYTE (&buffer)[SK_PIPE_BUFFER_BYTES], SKPipeInstance& instance, OVERLAPPED* pOverlapped,
                  DWORD dwTimeout);
    // Writes one message, waiting up to dwTimeout ms; a write still pending then is cancelled, so
    // the caller's bytes are free again on return. Answers the bytes written.
    DWORD writeData(const BYTE* pBytes, DWORD cbLength, HANDLE hPipe, OVERLAPPED* pOverlapped, DWORD dwTimeout);
    // Server: adds one pipe instance, answering 1 when CreateNamedPipeW failed. Client: tries to
    // open the pipe (see lConnectAttempts); always 0, an opened pipe shows as a new instance.
    int createInstance();
    // Stops the threads, joins them and closes every handle. Safe to call more than once.
    void shutdown();

    static DWORD WINAPI MainServerThread(LPVOID pEndpoint);
    static DWORD WINAPI InstanceThread(LPVOID pEndpoint);

    // How many pipe instances the endpoint holds now.
    size_t getInstanceCount();

private:
    int createServerInstance(SKPipeInstance& instance);
    bool openClientPipe(SKPipeInstance& instance);
    void waitForReadyEvent();
    bool startWorker(SKPipeInstance& instance);
    bool connectClient(SKPipeInstance& instance, HANDLE hConnectEvent);
    void serveConnections();
    void serveRequests(SKPipeInstance& instance);
    void endServerConversation(SKPipeInstance& instance, BYTE* pReply);
    SKPipeInstance* findWorkerRecord();
    void removeInstance(SKPipeInstance& instance);
    void joinFinishedWorkers();
    void joinWorkers(const wchar_t* wcsWaitLabel);
    void closeInstances();
    bool waitOrStop(HANDLE hEvent, DWORD dwTimeout);

    CKSLScopedHandle m_hReadyEvent;
    OVERLAPPED m_olRead = {};
    OVERLAPPED m_olWrite = {};
    CKSLScopedHandle m_hReadEvent;
    CKSLScopedHandle m_hWriteEvent;
    bool m_bServer;
    bool m_bThreaded;
    std::list<SKPipeInstance> m_instances; // records keep their address: overlapped I/O points into them
    SRWLOCK m_instancesLock = SRWLOCK_INIT; // holds no handle, so nothing to release
    SKPipeMessageHandler m_pfnMessageHandler;
    SKPipeSecurityProvider m_pfnSecurityProvider;
    ULONG_PTR m_ulHandlerData;
    std::wstring m_wcsPipeName;
    std::atomic<bool> m_bClosing{false};
    CKSLScopedHandle m_hMainServerThread;
    long m_lConnectAttempts;
    // Wakes every wait of the threads when shutdown begins (manual reset).
    CKSLScopedHandle m_hStopEvent;
    // This endpoint's pipe security; zero (default security) until a provider has run.
    SECURITY_ATTRIBUTES m_securityAttributes = {};
    SKPipeSettings m_settings;
    std::wstring m_wcsReadyEventName;
    bool m_bShutDown = false;
};
