// CSKPipe: both ends of the product service's message pipe.
//
// Client: waits for the server's ready event, opens the pipe and sends messages with SendData; a
// threaded client also runs a worker that hands the server's replies to the message handler. Its
// waits (for the ready event, between tries, for a free instance, for a write) dispatch the calling
// thread's window messages (kslWaitPumping): the plug-in's client runs on the launcher's UI thread.
// Server: a main server thread keeps SK_PIPE_LISTENING_INSTANCES pipe instances listening,
// signals the ready event once they exist and accepts clients; every connected client gets a
// worker thread that reads requests and writes back what the message handler answers.
//
// Nothing throws: a failed Windows call becomes one trace line under "Safekeep". shutdown() stops
// the threads and closes every handle; the destructor calls it when the owner did not.
//
// The server's first instance claims the name (a second server is refused it and serves nothing),
// instances take no remote clients and no pipe handle is inheritable. The client lets the server
// identify it but not act as it, and opens the ready event for waiting only.
#pragma once

#include <windows.h>

#include <atomic>
#include <list>
#include <memory>
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
// length (0: no reply, more than the buffer is cut to it). Runs on a worker thread, one per
// client, so calls for different clients run at the same time. A handler must not:
// - block for long: shutdown waits SK_PIPE_SHUTDOWN_WAIT_MS in all for the handlers still running,
//   then leaves each of them to finish alone. Such a handler must not touch the endpoint any more, and what its
//   handler data points to must stay valid until it returns (the endpoint may be gone by then);
//   its worker closes the pipe and its own thread handle once it returns and calls no handler
//   again;
// - throw (an exception is caught and traced, and ends that client's conversation);
// - write past the 65,536-byte reply buffer, or need more than about 850 KB of stack (a worker
//   reserves 1 MB, 128 KB of which hold the request and the reply).
// It may call shutdown on its own endpoint: that call returns without waiting for the calling
// worker, which ends once the handler has returned.
typedef DWORD (*SKPipeMessageHandler)(ULONG_PTR ulHandlerData, const BYTE* pRequest, DWORD cbRequest,
                                      BYTE* pReply);
// Server only: called once, before the first pipe instance, with the server flag; answers a
// security descriptor allocated with LocalAlloc (the endpoint frees it) or null for the default.
typedef PSECURITY_DESCRIPTOR (*SKPipeSecurityProvider)(bool bServer);

// The server keeps this many instances listening, so that as many clients may connect at the
// same moment ...
const DWORD SK_PIPE_LISTENING_INSTANCES = 32;
// ... and holds at most this many instances (listening and connected), hence at most this many
// worker threads (a worker left to a blocking handler counts until it returns). A client past the
// bound finds every instance busy (ERROR_PIPE_BUSY): it waits for a free one as its connect
// attempts allow, else SendData answers 0 ("No pipe exists"). So a local program can make the
// server hold at most 64 threads, 64 MB of reserved stack and 64 pipes of 2 x 64 KB buffers.
const DWORD SK_PIPE_MAX_INSTANCES = 64;
// How long shutdown waits for the threads before it leaves the rest to finish alone.
const DWORD SK_PIPE_SHUTDOWN_WAIT_MS = 1500;

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
    OVERLAPPED m_olRead = {};  // hEvent = m_hReadEvent; also waits for the client to connect
    OVERLAPPED m_olWrite = {}; // hEvent = m_hWriteEvent, for replies
    CKSLScopedHandle m_hReadEvent;
    CKSLScopedHandle m_hWriteEvent;
    bool m_bRegistered = false;
    bool m_bListening = false;  // server: waiting for a client to connect
    DWORD m_dwConnectResult = ERROR_IO_PENDING; // how ConnectNamedPipe answered at once
    bool m_bFinished = false;   // the server worker is done; the record waits to be joined
    bool m_bAbandoned = false;  // shutdown gave up waiting: the worker drops the record itself
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
    // 0 on any failure (no pipe, a server endpoint, a message over 65,536 bytes, a broken pipe, a
    // write still pending).
    int SendData(const BYTE* pBytes, DWORD cbLength);
    // Reads one message into buffer, waiting up to dwTimeout ms (or until shutdown); a read that
    // did not complete is cancelled before returning. A message over 65,536 bytes is read to its
    // end, dropped with one trace line, and the next message is read instead. Answers the bytes
    // read, 0 for none.
    DWORD GetData(BYTE (&buffer)[SK_PIPE_BUFFER_BYTES], SKPipeInstance& instance, OVERLAPPED* pOverlapped,
                  DWORD dwTimeout);
    // Writes one message, waiting up to dwTimeout ms; a write still pending then is cancelled, so
    // the caller's bytes are free again on return. Answers the bytes written.
    DWORD writeData(const BYTE* pBytes, DWORD cbLength, HANDLE hPipe, OVERLAPPED* pOverlapped, DWORD dwTimeout);
    // Server: adds one listening pipe instance, answering 1 when CreateNamedPipeW failed. Client:
    // tries to open the pipe (see lConnectAttempts); always 0, an opened pipe shows as a new
    // instance.
    int createInstance();
    // Stops the threads and closes every handle, within about SK_PIPE_SHUTDOWN_WAIT_MS however
    // the handlers behave. Safe to call more than once, and from a handler; not from DllMain
    // (a server's threads need the loader lock to end).
    void shutdown();

    // Thread procedures; their argument is the endpoint's shared state, which each thread keeps
    // alive until it ends.
    static DWORD WINAPI MainServerThread(LPVOID pShared);
    static DWORD WINAPI InstanceThread(LPVOID pShared);

    // How many pipe instances the endpoint holds now.
    size_t getInstanceCount();

    // What the endpoint and its threads share; outlives the endpoint while a thread runs.
    struct CShared;

private:
    // The server's start: sk_pipe_server.cpp, or in a program that serves no pipe (the plug-in)
    // sk_pipe_no_server.cpp.
    void startServer();

    std::shared_ptr<CShared> m_pShared;
    // The endpoint's own events and overlapped records, for SendData.
    OVERLAPPED m_olRead = {};
    OVERLAPPED m_olWrite = {};
    CKSLScopedHandle m_hReadEvent;
    CKSLScopedHandle m_hWriteEvent;
    CKSLScopedHandle m_hMainServerThread;
    SRWLOCK m_shutdownLock = SRWLOCK_INIT; // one shutdown at a time; a handler's own call does not wait
    bool m_bShutDown = false;
};
