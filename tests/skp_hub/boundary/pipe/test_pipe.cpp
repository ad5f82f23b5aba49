// The service pipe: the client without a server, our own server end in this process, a busy pipe,
// and the service stand-in as a separate program.
#include <windows.h>
#include <sddl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "handle_count.h"
#include "pipe_load.h"
#include "sk_pipe.h"
#include "sk_tool_runner.h"
#include "test_paths.h"
#include "trace_capture.h"
#include "window_probe.h"

namespace {

const DWORD kPatienceMs = 30000; // bounds every wait for the other side; never reached when all is well

// Pipe and ready-event names of this process's own, so that no test meets a real service or another
// test program.
struct PipeNames {
    std::wstring pipe;
    std::wstring ready;
};

PipeNames uniqueNames()
{
    static int s_nCount = 0;
    const std::wstring suffix = std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++s_nCount);
    return {L"\\\\.\\pipe\\SKOrbitPipeTest_" + suffix, L"SKReadyTest_" + suffix};
}

// The product's waits with short pauses between tries.
SKPipeSettings quickSettings(const PipeNames& names)
{
    SKPipeSettings settings;
    settings.wcsReadyEventName = names.ready.c_str();
    settings.dwRetryPauseMs = 50;
    settings.dwPipeWaitMs = 5000;
    return settings;
}

const BYTE* bytesOf(const std::string& message)
{
    return reinterpret_cast<const BYTE*>(message.data());
}

// The quick backup request: "2", 1, the destinations, the text length, three zeros, the text in
// UTF-16LE from the odd offset 7, and its terminator.
std::string backupRequest(char destinations, const std::wstring& text)
{
    std::string message = {0x32, 0x01, destinations, static_cast<char>(text.size()), 0, 0, 0};
    for (wchar_t c : text)
        message += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return message + std::string(2, '\0');
}

// What a message handler was given, in order of arrival; optionally answers "<prefix><request>",
// and optionally holds on to one request until released.
class Inbox {
public:
    explicit Inbox(std::string replyPrefix = "", std::string hold = "")
        : m_replyPrefix(std::move(replyPrefix)), m_hold(std::move(hold))
    {
    }

    static DWORD handler(ULONG_PTR ulInbox, const BYTE* pRequest, DWORD cbRequest, BYTE* pReply)
    {
        auto* pInbox = reinterpret_cast<Inbox*>(ulInbox);
        const std::string request(reinterpret_cast<const char*>(pRequest), cbRequest);
        {
            std::lock_guard<std::mutex> guard(pInbox->m_lock);
            pInbox->m_messages.push_back(request);
        }
        SetEvent(pInbox->m_hArrived.get());
        if (!pInbox->m_hold.empty() && request == pInbox->m_hold) {
            SetEvent(pInbox->m_hHeld.get());
            WaitForSingleObject(pInbox->m_hRelease.get(), kPatienceMs);
        }
        if (pInbox->m_pfnAfterwards != nullptr)
            pInbox->m_pfnAfterwards(*pInbox);
        ++pInbox->m_nReturns;
        SetEvent(pInbox->m_hReturned.get());
        if (pInbox->m_replyPrefix.empty())
            return 0;
        const std::string reply = pInbox->m_replyPrefix + request;
        memcpy(pReply, reply.data(), reply.size());
        return static_cast<DWORD>(reply.size());
    }

    ULONG_PTR data() { return reinterpret_cast<ULONG_PTR>(this); }

    // Waits until at least n messages have arrived.
    bool waitFor(size_t n)
    {
        while (messages().size() < n)
            if (WaitForSingleObject(m_hArrived.get(), kPatienceMs) != WAIT_OBJECT_0)
                return false;
        return true;
    }

    std::vector<std::string> messages()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_messages;
    }

    bool waitHeld() { return WaitForSingleObject(m_hHeld.get(), kPatienceMs) == WAIT_OBJECT_0; }
    void release() { SetEvent(m_hRelease.get()); }
    int returns() const { return m_nReturns; }
    bool waitReturns(int n)
    {
        while (m_nReturns < n)
            if (WaitForSingleObject(m_hReturned.get(), kPatienceMs) != WAIT_OBJECT_0)
                return false;
        return true;
    }

    // Runs in the handler after each request (and after a held one is released).
    void (*m_pfnAfterwards)(Inbox&) = nullptr;
    CSKPipe* m_pEndpoint = nullptr; // for m_pfnAfterwards

private:
    std::string m_replyPrefix;
    std::string m_hold;
    std::mutex m_lock;
    std::vector<std::string> m_messages;
    std::atomic<int> m_nReturns{0};
    CKSLScopedHandle m_hArrived{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    CKSLScopedHandle m_hReturned{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    CKSLScopedHandle m_hHeld{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    CKSLScopedHandle m_hRelease{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

int sendOnce(const PipeNames& names, const std::string& message)
{
    CSKPipe client(false, false, names.pipe.c_str(), 0, nullptr, nullptr, 3, quickSettings(names));
    const int nSent = client.SendData(bytesOf(message), static_cast<DWORD>(message.size()));
    client.shutdown();
    return nSent;
}

// A synchronous client of the test's own, for reading what the server does with the connection.
CKSLScopedFile openRawClient(const PipeNames& names)
{
    CKSLScopedHandle hReady(OpenEventW(SYNCHRONIZE, FALSE, names.ready.c_str()));
    if (hReady)
        WaitForSingleObject(hReady.get(), kPatienceMs);
    CKSLScopedFile pipe;
    for (int nTry = 0; nTry < 20 && !pipe; ++nTry) {
        pipe.reset(CreateFileW(names.pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr));
        if (!pipe)
            WaitNamedPipeW(names.pipe.c_str(), 1000);
    }
    DWORD dwMode = PIPE_READMODE_MESSAGE;
    if (pipe)
        SetNamedPipeHandleState(pipe.get(), &dwMode, nullptr, nullptr);
    return pipe;
}

bool writeRaw(const CKSLScopedFile& pipe, const std::string& message)
{
    DWORD cbWritten = 0;
    return WriteFile(pipe.get(), message.data(), static_cast<DWORD>(message.size()), &cbWritten, nullptr) &&
           cbWritten == message.size();
}

// Blocks until the server ends the conversation; true when it did.
bool serverHungUp(const CKSLScopedFile& pipe)
{
    char buffer[16];
    DWORD cbRead = 0;
    return !ReadFile(pipe.get(), buffer, sizeof buffer, &cbRead, nullptr) && GetLastError() != ERROR_MORE_DATA;
}

// ---------------------------------------------------------------------------------------------

using PipeClientTest = TraceCaptureTest;

TEST_F(PipeClientTest, WithoutAServerNothingIsSentAndTheTraceSaysSo)
{
    const PipeNames names = uniqueNames();
    const std::string message = backupRequest(0x01, L"abc");
    CSKPipe noTry(false, false, names.pipe.c_str(), 0, nullptr, nullptr, -1, quickSettings(names));
    EXPECT_EQ(0u, noTry.getInstanceCount());
    EXPECT_EQ(0, noTry.SendData(bytesOf(message), 15));
    // The plug-in's own client: two tries with the product's waits (about ten seconds).
    SKPipeSettings productWaits;
    productWaits.wcsReadyEventName = names.ready.c_str();
    CSKPipe product(false, false, names.pipe.c_str(), 0, nullptr, nullptr, 1, productWaits);
    EXPECT_EQ(0u, product.getInstanceCount());
    EXPECT_EQ(0, product.SendData(bytesOf(message), 15));
    product.shutdown();
    EXPECT_EQ(0, product.SendData(bytesOf(message), 15)) << "nothing is left after shutdown";
    const std::string noPipe = "SendData aborted. No pipe exists. len=15 msg[0]=50";
    EXPECT_EQ(std::vector<std::string>(3, noPipe), traceMessages());
}

TEST_F(PipeClientTest, EveryTryWaitsForAnAnnouncedServer)
{
    const PipeNames names = uniqueNames();
    CKSLScopedHandle hReady(CreateEventW(nullptr, TRUE, FALSE, names.ready.c_str())); // never set
    SKPipeSettings settings = quickSettings(names);
    settings.dwReadyWaitMs = 50;
    CSKPipe client(false, false, names.pipe.c_str(), 0, nullptr, nullptr, 1, settings);
    const BYTE high[1] = {0x80};
    EXPECT_EQ(0, client.SendData(high, 1));
    const std::vector<std::string> expected = {"Server did not respond.", "Server did not respond.",
                                               "SendData aborted. No pipe exists. len=1 msg[0]=-128"};
    EXPECT_EQ(expected, traceMessages());
}

// ---------------------------------------------------------------------------------------------

using PipeServerTest = TraceCaptureTest;

int g_nProviderCalls = 0;

PSECURITY_DESCRIPTOR everyoneMayConnect(bool bServer)
{
    ++g_nProviderCalls;
    EXPECT_TRUE(bServer);
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    SECURITY_DESCRIPTOR* pInit = static_cast<SECURITY_DESCRIPTOR*>(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
    if (pInit && InitializeSecurityDescriptor(pInit, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(pInit, TRUE, nullptr, FALSE))
        pDescriptor = pInit;
    return pDescriptor;
}

// Our server end on names of its own; its handler fills the inbox.
struct ServedPipe {
    explicit ServedPipe(SKPipeSecurityProvider pfnSecurityProvider = nullptr, std::string replyPrefix = "")
        : inbox(std::move(replyPrefix)),
          server(true, false, names.pipe.c_str(), inbox.data(), Inbox::handler, pfnSecurityProvider, 0,
                 quickSettings(names))
    {
    }

    // Held by the test, so that it lasts after the server has signalled it.
    bool waitReady() { return WaitForSingleObject(ready.get(), kPatienceMs) == WAIT_OBJECT_0; }

    PipeNames names = uniqueNames();
    CKSLScopedHandle ready{CreateEventW(nullptr, TRUE, FALSE, names.ready.c_str())};
    Inbox inbox;
    CSKPipe server;
};

TEST_F(PipeServerTest, ClientsOneAfterAnotherReachTheHandlerWithTheirExactBytes)
{
    g_nProviderCalls = 0;
    ServedPipe served(everyoneMayConnect);
    const std::string request = backupRequest(0x18, L"Back up now!");
    ASSERT_EQ(33u, request.size());
    const int kClients = 5;
    for (int i = 0; i < kClients; ++i)
        EXPECT_EQ(33, sendOnce(served.names, request)) << "client " << i;
    ASSERT_TRUE(served.inbox.waitFor(kClients));
    EXPECT_EQ(std::vector<std::string>(kClients, request), served.inbox.messages());
    EXPECT_EQ(1, g_nProviderCalls) << "the security provider runs once";
    EXPECT_EQ(0, served.server.SendData(bytesOf(request), 33));
    served.server.shutdown();
    EXPECT_EQ(std::vector<std::string>{"SendData aborted. Server parameter required."}, traceMessages())
        << "and no error reports";
}

// Even with a security provider, a child process started with inheritance gets none of the
// server's handles.
TEST_F(PipeServerTest, NoHandleOfTheServerIsInheritable)
{
    CKSLScopedHandle hInheritable(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ASSERT_TRUE(SetHandleInformation(hInheritable.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT));
    const DWORD dwBefore = inheritableHandleCount();
    ASSERT_LE(1u, dwBefore) << "the count sees an inheritable handle";
    ServedPipe served(everyoneMayConnect);
    ASSERT_TRUE(served.waitReady());
    CKSLScopedFile raw = openRawClient(served.names);
    ASSERT_TRUE(raw);
    ASSERT_TRUE(writeRaw(raw, "hello"));
    ASSERT_TRUE(served.inbox.waitFor(1));
    EXPECT_EQ(dwBefore, inheritableHandleCount());
}

TEST_F(PipeServerTest, EndOfConversationEndsTheWorkerWithoutTheHandler)
{
    ServedPipe served;
    CKSLScopedFile raw = openRawClient(served.names);
    ASSERT_TRUE(raw);
    ASSERT_TRUE(writeRaw(raw, std::string("\x06 bye", 5)));
    EXPECT_TRUE(serverHungUp(raw));
    EXPECT_TRUE(served.inbox.messages().empty());
    EXPECT_EQ(5, sendOnce(served.names, "after")) << "the server goes on serving";
    ASSERT_TRUE(served.inbox.waitFor(1));
    EXPECT_EQ(std::vector<std::string>{"after"}, served.inbox.messages());
}

TEST_F(PipeServerTest, ARegisteredClientThatGoesAwayIsAnnouncedWith7)
{
    ServedPipe served;
    CKSLScopedFile raw = openRawClient(served.names);
    ASSERT_TRUE(raw);
    ASSERT_TRUE(writeRaw(raw, "\x02hello"));
    ASSERT_TRUE(served.inbox.waitFor(1));
    raw.reset();
    ASSERT_TRUE(served.inbox.waitFor(2));
    const std::vector<std::string> expected = {"\x02hello", "\x07"};
    EXPECT_EQ(expected, served.inbox.messages());
}

TEST_F(PipeServerTest, RepliesReachTheHandlerOfAThreadedClient)
{
    ServedPipe served(nullptr, "ok:");
    Inbox clientInbox;
    CSKPipe client(false, true, served.names.pipe.c_str(), clientInbox.data(), Inbox::handler, nullptr, 3,
                   quickSettings(served.names));
    EXPECT_EQ(5, client.SendData(bytesOf("hello"), 5));
    ASSERT_TRUE(clientInbox.waitFor(1));
    EXPECT_EQ(std::vector<std::string>{"ok:hello"}, clientInbox.messages());
    client.shutdown();
    served.server.shutdown();
    EXPECT_EQ(std::vector<std::string>{"hello"}, served.inbox.messages());
    EXPECT_TRUE(traceMessages().empty());
}

// A server with a registered client that stays connected and idle until the server shuts down;
// answers what the handler saw.
std::vector<std::string> serveIdleClientUntilShutdown()
{
    ServedPipe served;
    CKSLScopedFile raw = openRawClient(served.names);
    EXPECT_TRUE(raw);
    EXPECT_TRUE(writeRaw(raw, "\x02"));
    EXPECT_TRUE(served.inbox.waitFor(1));
    served.server.shutdown();
    EXPECT_TRUE(serverHungUp(raw));
    return served.inbox.messages();
}

TEST_F(PipeServerTest, ShutdownEndsIdleConversationsAndLeavesNoHandles)
{
    serveIdleClientUntilShutdown(); // what Wine keeps after the first threads and pipes
    const DWORD dwBefore = openHandleCount();
    const std::vector<std::string> expected = {"\x02", "\x07"};
    EXPECT_EQ(expected, serveIdleClientUntilShutdown()) << "the registered client is announced as gone";
    EXPECT_EQ(dwBefore, openHandleCount());
}

// ---------------------------------------------------------------------------------------------

// A server of the test's own with a single instance of small buffers, synchronous.
CKSLScopedFile createRawServer(const PipeNames& names)
{
    return CKSLScopedFile(CreateNamedPipeW(names.pipe.c_str(), PIPE_ACCESS_DUPLEX,
                                           PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0,
                                           nullptr));
}

// The only instance is held by another client: the client under test finds the pipe busy, waits
// for the instance and gets through once it is free.
TEST_F(PipeClientTest, ABusyPipeIsTriedAgain)
{
    const PipeNames names = uniqueNames();
    CKSLScopedFile server = createRawServer(names);
    ASSERT_TRUE(server);
    CKSLScopedFile occupant = openRawClient(names);
    ASSERT_TRUE(occupant);

    std::atomic<int> nSent{-1};
    std::thread sender([&] {
        CSKPipe client(false, false, names.pipe.c_str(), 0, nullptr, nullptr, 1, quickSettings(names));
        nSent = client.SendData(bytesOf("through"), 7);
    });
    Sleep(300); // lets the sender meet the busy pipe; the checks below hold however long this takes
    EXPECT_EQ(-1, nSent.load()) << "nobody gets through while the only instance is held";
    occupant.reset();
    DisconnectNamedPipe(server.get());
    ConnectNamedPipe(server.get(), nullptr);
    char buffer[16] = {};
    DWORD cbRead = 0;
    EXPECT_TRUE(ReadFile(server.get(), buffer, sizeof buffer, &cbRead, nullptr));
    sender.join();
    EXPECT_EQ(7, nSent.load());
    EXPECT_EQ("through", std::string(buffer, cbRead));
    EXPECT_TRUE(traceMessages().empty());
}

// The client runs on the launcher's UI thread: each of its waits, made the only long one, keeps a
// window of the calling thread answering. Without a server the client's one try ends in the pause;
// an announced server that never gets ready holds it in the wait for the ready event; a pipe whose
// only instance is taken, in the wait for a free one.
TEST_F(PipeClientTest, EachWaitOfTheClientKeepsTheCallersWindowAnswering)
{
    const struct {
        const char* wcsWait;
        bool bAnnounced, bBusy;
        DWORD dwReadyWaitMs, dwRetryPauseMs, dwPipeWaitMs;
    } kCases[] = {
        {"pause between tries", false, false, 0, 1500, 0},
        {"ready event", true, false, 1500, 0, 0},
        {"free instance", false, true, 0, 0, 1500},
    };
    for (const auto& c : kCases) {
        const PipeNames names = uniqueNames();
        CKSLScopedHandle hReady(c.bAnnounced ? CreateEventW(nullptr, TRUE, FALSE, names.ready.c_str()) : nullptr);
        CKSLScopedFile server = c.bBusy ? createRawServer(names) : CKSLScopedFile();
        CKSLScopedFile occupant = c.bBusy ? openRawClient(names) : CKSLScopedFile();
        ASSERT_EQ(c.bBusy, static_cast<bool>(occupant)) << c.wcsWait;
        SKPipeSettings settings = quickSettings(names);
        settings.dwReadyWaitMs = c.dwReadyWaitMs;
        settings.dwRetryPauseMs = c.dwRetryPauseMs;
        settings.dwPipeWaitMs = c.dwPipeWaitMs;
        bool bInside = false;
        int nAnsweredInside = 0;
        CWindowProbe probe([&] { nAnsweredInside += bInside; });
        probe.start();
        bInside = true;
        CSKPipe client(false, false, names.pipe.c_str(), 0, nullptr, nullptr, 0, settings);
        bInside = false;
        probe.stop();
        EXPECT_EQ(0u, client.getInstanceCount()) << c.wcsWait;
        EXPECT_GT(nAnsweredInside, 0) << "the window answered nothing during the wait for the " << c.wcsWait;
    }
}

// A server that does not read leaves a large message pending: SendData gives up after 500 ms and
// takes its bytes back, so the caller may free them.
TEST_F(PipeClientTest, AWriteStillPendingIsReportedAndCalledOff)
{
    const PipeNames names = uniqueNames();
    CKSLScopedFile server = createRawServer(names);
    ASSERT_TRUE(server);
    CSKPipe client(false, false, names.pipe.c_str(), 0, nullptr, nullptr, 0, quickSettings(names));
    ASSERT_EQ(1u, client.getInstanceCount());
    std::vector<BYTE> message(SK_PIPE_BUFFER_BYTES, 0x5A);
    EXPECT_EQ(0, client.SendData(message.data(), static_cast<DWORD>(message.size())));
    std::fill(message.begin(), message.end(), 0); // the system holds no part of it any more
    client.shutdown();
    EXPECT_EQ(std::vector<std::string>{"GetOverlappedResult: Error 996 SendData"}, traceMessages());
}

// ---------------------------------------------------------------------------------------------

using ServiceStandInTest = TraceCaptureTest;

TEST_F(ServiceStandInTest, RecordsTheBackupRequestAndEndsOnItsStopEvent)
{
    const PipeNames names = uniqueNames();
    const std::wstring stopName = names.ready + L"_stop";
    const std::wstring log = testScratchPath(L"service.log");
    CKSLScopedHandle hReady(CreateEventW(nullptr, TRUE, FALSE, names.ready.c_str()));
    CKSLScopedHandle hStop(CreateEventW(nullptr, TRUE, FALSE, stopName.c_str()));
    HANDLE hProcess = nullptr;
    ASSERT_EQ(0, runTool(testBinDir() + L"sk_service.exe",
                         L"--pipe " + names.pipe + L" --ready-event " + names.ready + L" --stop-event " + stopName +
                             L" --log " + log + L" --count 2",
                         0, 0, 0x20, L"", &hProcess, L"Safekeep", 0, 1));
    CKSLScopedHandle process(hProcess);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hReady.get(), kPatienceMs)) << "the stand-in announces itself";

    EXPECT_EQ(33, sendOnce(names, backupRequest(0x18, L"Back up now!")));
    const std::string recorded = "message len=33 bytes=32 01 18 0c 00 00 00 42 00 61 00 63 00 6b 00 20 00 75 00 70 00 "
                                 "20 00 6e 00 6f 00 77 00 21 00 00 00 backup destinations=0x18 text=\"Back up now!\"\r\n";
    for (int nWait = 0; nWait < 300 && readFileBytes(log) != recorded; ++nWait)
        Sleep(100);
    EXPECT_EQ(recorded, readFileBytes(log));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(process.get(), 0)) << "one message of two: still serving";
    SetEvent(hStop.get());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.get(), kPatienceMs));
    DWORD dwExitCode = 1;
    EXPECT_TRUE(GetExitCodeProcess(process.get(), &dwExitCode));
    EXPECT_EQ(0u, dwExitCode);
}

TEST_F(ServiceStandInTest, EndsAfterTheCountedMessages)
{
    const PipeNames names = uniqueNames();
    CKSLScopedHandle hReady(CreateEventW(nullptr, TRUE, FALSE, names.ready.c_str()));
    HANDLE hProcess = nullptr;
    ASSERT_EQ(0, runTool(testBinDir() + L"sk_service.exe",
                         L"--pipe " + names.pipe + L" --ready-event " + names.ready + L" --stop-event " + names.ready +
                             L"_stop --count 2",
                         0, 0, 0x20, L"", &hProcess, L"Safekeep", 0, 1));
    CKSLScopedHandle process(hProcess);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hReady.get(), kPatienceMs));
    EXPECT_EQ(3, sendOnce(names, "one"));
    EXPECT_EQ(3, sendOnce(names, "two"));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.get(), kPatienceMs));
}

// ---------------------------------------------------------------------------------------------
// Sizes at and past the buffer, and hostile clients.

std::string sized(size_t cb, char fill, char last)
{
    std::string message(cb, fill);
    message.back() = last;
    return message;
}

// Whatever follows an oversize message is still read: its tail is no request of its own (a tail
// byte 6 would end the conversation, 2 would register it).
TEST_F(PipeServerTest, AnOversizeMessageIsDroppedWholeAndTheConversationGoesOn)
{
    ServedPipe served;
    CKSLScopedFile raw = openRawClient(served.names);
    ASSERT_TRUE(raw);
    const std::string whole = sized(SK_PIPE_BUFFER_BYTES, 'w', '!');
    const std::vector<std::string> stream = {"first", sized(SK_PIPE_BUFFER_BYTES + 1, 'a', SK_PIPE_END), whole,
                                             sized(2 * SK_PIPE_BUFFER_BYTES + 1, 'b', SK_PIPE_REGISTER), "last"};
    for (const std::string& message : stream)
        ASSERT_TRUE(writeRaw(raw, message)) << message.size();
    ASSERT_TRUE(served.inbox.waitFor(3));
    raw.reset();
    served.server.shutdown();
    EXPECT_EQ((std::vector<std::string>{"first", whole, "last"}), served.inbox.messages())
        << "no 7: the tail of the second oversize message did not register the client";
    const std::vector<std::string> expected = {"ReadFile: Error 234 GetData len=65537",
                                               "ReadFile: Error 234 GetData len=131073"};
    EXPECT_EQ(expected, traceMessages());
}

TEST_F(PipeClientTest, SendDataRefusesAMessageOverTheBuffer)
{
    ServedPipe served;
    CSKPipe client(false, false, served.names.pipe.c_str(), 0, nullptr, nullptr, 3, quickSettings(served.names));
    const std::string tooLong = sized(SK_PIPE_BUFFER_BYTES + 1, 'x', SK_PIPE_END);
    EXPECT_EQ(0, client.SendData(bytesOf(tooLong), static_cast<DWORD>(tooLong.size())));
    const std::string whole = sized(SK_PIPE_BUFFER_BYTES, 'y', 'z');
    EXPECT_EQ(static_cast<int>(SK_PIPE_BUFFER_BYTES), client.SendData(bytesOf(whole), SK_PIPE_BUFFER_BYTES));
    ASSERT_TRUE(served.inbox.waitFor(1));
    client.shutdown();
    served.server.shutdown();
    EXPECT_EQ(std::vector<std::string>{whole}, served.inbox.messages());
    EXPECT_EQ(std::vector<std::string>{"SendData aborted. Message too long. len=65537"}, traceMessages());
}

// Product clients that all start at the same moment, each with a single try, all get through.
TEST_F(PipeServerTest, ThirtyTwoClientsAtOnceWithOneTryEachAllGetThrough)
{
    ServedPipe served;
    ASSERT_TRUE(served.waitReady());
    const int kClients = 32;
    CKSLScopedHandle hGo(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::vector<int> sent(kClients, -1);
    std::vector<std::string> expected;
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        expected.push_back(backupRequest(static_cast<char>(i), L"client " + std::to_wstring(i)));
        clients.emplace_back([&, i] {
            WaitForSingleObject(hGo.get(), kPatienceMs);
            CSKPipe client(false, false, served.names.pipe.c_str(), 0, nullptr, nullptr, 0,
                           quickSettings(served.names));
            sent[i] = client.SendData(bytesOf(expected[i]), static_cast<DWORD>(expected[i].size()));
        });
    }
    SetEvent(hGo.get());
    for (std::thread& client : clients)
        client.join();
    for (int i = 0; i < kClients; ++i)
        EXPECT_EQ(static_cast<int>(expected[i].size()), sent[i]) << "client " << i;
    ASSERT_TRUE(served.inbox.waitFor(kClients));
    std::vector<std::string> received = served.inbox.messages();
    std::sort(received.begin(), received.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, received);
    EXPECT_TRUE(traceMessages().empty());
}

// With every instance the server may hold connected, the next client finds the pipe busy; once
// one conversation ends, it gets in.
TEST_F(PipeServerTest, AClientPastTheBoundFindsThePipeBusyUntilOneLeaves)
{
    ServedPipe served;
    std::vector<CKSLScopedFile> connected;
    for (DWORD i = 0; i < SK_PIPE_MAX_INSTANCES; ++i) {
        connected.push_back(openRawClient(served.names));
        ASSERT_TRUE(connected.back()) << "client " << i;
    }
    // The server counts an instance once its worker has taken the connection over.
    for (DWORD dwWaited = 0; served.server.getInstanceCount() < SK_PIPE_MAX_INSTANCES && dwWaited < kPatienceMs;
         dwWaited += 20)
        Sleep(20);
    CKSLScopedFile past(
        CreateFileW(served.names.pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(past);
    EXPECT_EQ(static_cast<DWORD>(ERROR_PIPE_BUSY), GetLastError());
    EXPECT_EQ(SK_PIPE_MAX_INSTANCES, served.server.getInstanceCount());
    connected.pop_back();
    CKSLScopedFile next = openRawClient(served.names);
    ASSERT_TRUE(next);
    ASSERT_TRUE(writeRaw(next, "next"));
    ASSERT_TRUE(served.inbox.waitFor(1));
    EXPECT_EQ(std::vector<std::string>{"next"}, served.inbox.messages());
    EXPECT_TRUE(traceMessages().empty());
}

class PipeNameTest : public TraceCaptureTest {
protected:
    // Waits until the trace holds at least n lines.
    bool traced(size_t n) const
    {
        for (DWORD dwWaited = 0; traceMessages().size() < n; dwWaited += 20) {
            if (dwWaited > kPatienceMs)
                return false;
            Sleep(20);
        }
        return true;
    }
};

// A look-alike that created the name first keeps it to itself: the server is refused the name,
// announces nothing and holds no instance. A second server of ours fares the same.
TEST_F(PipeNameTest, ASecondServerOnTheSameNameIsRefusedAndServesNothing)
{
    const PipeNames names = uniqueNames();
    CKSLScopedFile squatter = createRawServer(names);
    ASSERT_TRUE(squatter);
    CKSLScopedHandle hReady(CreateEventW(nullptr, TRUE, FALSE, names.ready.c_str()));
    Inbox refusedInbox;
    {
        CSKPipe refused(true, false, names.pipe.c_str(), refusedInbox.data(), Inbox::handler, nullptr, 0,
                        quickSettings(names));
        ASSERT_TRUE(traced(1));
        EXPECT_EQ(0u, refused.getInstanceCount());
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hReady.get(), 0)) << "nobody is told to come";
    }
    squatter.reset();

    ServedPipe first;
    ASSERT_TRUE(first.waitReady());
    {
        CSKPipe second(true, false, first.names.pipe.c_str(), refusedInbox.data(), Inbox::handler, nullptr, 0,
                       quickSettings(first.names));
        ASSERT_TRUE(traced(2));
        EXPECT_EQ(5, sendOnce(first.names, "hello"));
        ASSERT_TRUE(first.inbox.waitFor(1));
        EXPECT_EQ(0u, second.getInstanceCount());
    }
    EXPECT_EQ(std::vector<std::string>{"hello"}, first.inbox.messages());
    EXPECT_TRUE(refusedInbox.messages().empty());
    EXPECT_EQ(std::vector<std::string>(2, "CreateNamedPipe: Error 5 "), traceMessages());
}

// A ready event created first by someone else, granting every user only the right to wait on it
// (as a service's event does): the server cannot signal it, the client can still wait on it, and
// once the wait is over the message gets through.
TEST_F(PipeNameTest, ASquattedReadyEventIsWaitedOnAndTheServerStillServes)
{
    const PipeNames names = uniqueNames();
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;0x00100000;;;WD)", SDDL_REVISION_1,
                                                                     &pDescriptor, nullptr));
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), pDescriptor, FALSE};
    CKSLScopedHandle hSquatted(CreateEventW(&attributes, TRUE, FALSE, names.ready.c_str()));
    LocalFree(pDescriptor);
    ASSERT_TRUE(hSquatted);
    CKSLScopedHandle hFull(OpenEventW(EVENT_ALL_ACCESS, FALSE, names.ready.c_str()));
    ASSERT_FALSE(hFull) << "this system grants full access against the event's rights";

    Inbox inbox;
    CSKPipe server(true, false, names.pipe.c_str(), inbox.data(), Inbox::handler, nullptr, 0, quickSettings(names));
    SKPipeSettings settings = quickSettings(names);
    settings.dwReadyWaitMs = 50;
    int nSent = 0;
    for (int nTry = 0; nTry < 100 && nSent == 0; ++nTry) { // until the server's instances exist
        CSKPipe client(false, false, names.pipe.c_str(), 0, nullptr, nullptr, 0, settings);
        nSent = client.SendData(bytesOf("through"), 7);
    }
    EXPECT_EQ(7, nSent);
    ASSERT_TRUE(inbox.waitFor(1));
    server.shutdown();
    EXPECT_EQ(std::vector<std::string>{"through"}, inbox.messages());
    const std::vector<std::string> trace = traceMessages();
    ASSERT_LE(2u, trace.size());
    EXPECT_EQ("CreateEvent: Error 5 ", trace.front());
    for (size_t i = 1; i < trace.size(); ++i) // each try waited on the event and never opened it wrongly
        EXPECT_TRUE(trace[i] == "Server did not respond." ||
                    trace[i] == "SendData aborted. No pipe exists. len=7 msg[0]=116")
            << trace[i];
    EXPECT_EQ("Server did not respond.", trace.back());
}

// A handler blocked in a request does not hold shutdown up: the endpoint goes, the handler is
// left to return alone, and then its worker closes the pipe and its own thread without calling
// the handler again (no 7 for the registered client).
TEST_F(PipeServerTest, ShutdownLeavesABlockingHandlerToFinishAlone)
{
    serveIdleClientUntilShutdown(); // what Wine keeps after the first threads and pipes
    const PipeNames names = uniqueNames();
    Inbox inbox("", "\x02 block");
    const DWORD dwBefore = openHandleCount();
    CKSLScopedFile raw;
    {
        CSKPipe server(true, false, names.pipe.c_str(), inbox.data(), Inbox::handler, nullptr, 0,
                       quickSettings(names));
        raw = openRawClient(names);
        ASSERT_TRUE(raw);
        ASSERT_TRUE(writeRaw(raw, "\x02 block"));
        ASSERT_TRUE(inbox.waitHeld());
        server.shutdown();
        EXPECT_EQ(0, inbox.returns()) << "shutdown returned with the handler still inside";
    }
    inbox.release();
    ASSERT_TRUE(inbox.waitReturns(1));
    EXPECT_TRUE(serverHungUp(raw));
    raw.reset();
    for (int nWait = 0; nWait < 300 && openHandleCount() != dwBefore; ++nWait)
        Sleep(10); // the worker ends on its own
    EXPECT_EQ(dwBefore, openHandleCount());
    EXPECT_EQ(std::vector<std::string>{"\x02 block"}, inbox.messages());
    EXPECT_TRUE(traceMessages().empty());
}

void shutDownOwnEndpoint(Inbox& inbox)
{
    inbox.m_pEndpoint->shutdown();
}

TEST_F(PipeServerTest, AHandlerThatShutsItsEndpointDownReturns)
{
    const PipeNames names = uniqueNames();
    Inbox inbox;
    inbox.m_pfnAfterwards = shutDownOwnEndpoint;
    CSKPipe server(true, false, names.pipe.c_str(), inbox.data(), Inbox::handler, nullptr, 0, quickSettings(names));
    inbox.m_pEndpoint = &server;
    EXPECT_EQ(4, sendOnce(names, "stop"));
    ASSERT_TRUE(inbox.waitReturns(1)) << "the handler's shutdown did not wait for its own worker";
    EXPECT_EQ(0, sendOnce(names, "late")) << "nobody serves any more";
    server.shutdown();
    EXPECT_EQ(std::vector<std::string>{"stop"}, inbox.messages());
    EXPECT_EQ(std::vector<std::string>{"SendData aborted. No pipe exists. len=4 msg[0]=108"}, traceMessages());
}

// The killed-client test starts this program again to run this test alone as its client.
const wchar_t kChildPipeVariable[] = L"SKP_PIPE_TEST_CHILD_PIPE";
const wchar_t kChildWritingVariable[] = L"SKP_PIPE_TEST_CHILD_WRITING";
const size_t kChildLargeMessage = 4 * SK_PIPE_BUFFER_BYTES;

TEST(PipeChild, DISABLED_WritesUntilKilled)
{
    wchar_t pipe[MAX_PATH] = {};
    wchar_t writing[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(kChildPipeVariable, pipe, MAX_PATH) ||
        !GetEnvironmentVariableW(kChildWritingVariable, writing, MAX_PATH))
        GTEST_SKIP() << "only run as the killed-client test's client";
    CKSLScopedFile raw = openRawClient({pipe, L""});
    ASSERT_TRUE(raw);
    ASSERT_TRUE(writeRaw(raw, "first"));
    CKSLScopedHandle hWriting(OpenEventW(EVENT_MODIFY_STATE, FALSE, writing));
    SetEvent(hWriting.get());
    writeRaw(raw, sized(kChildLargeMessage, 'k', 'k')); // blocks: the server's handler is held
    Sleep(INFINITE);
}

// A client killed while its message is under way costs only its own conversation: the handler
// never sees a part of it, and the server goes on serving.
TEST_F(PipeServerTest, AClientKilledByItsPidMidMessageCostsOnlyItsOwnConversation)
{
    ServedPipe served;
    const PipeNames names = uniqueNames();
    Inbox& inbox = served.inbox;
    CKSLScopedHandle hWriting(CreateEventW(nullptr, TRUE, FALSE, names.ready.c_str()));
    wchar_t self[MAX_PATH] = {};
    ASSERT_NE(0u, GetModuleFileNameW(nullptr, self, MAX_PATH));
    SetEnvironmentVariableW(kChildPipeVariable, served.names.pipe.c_str());
    SetEnvironmentVariableW(kChildWritingVariable, names.ready.c_str());
    std::wstring command = std::wstring(L"\"") + self +
                           L"\" --gtest_also_run_disabled_tests --gtest_filter=PipeChild.DISABLED_WritesUntilKilled";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    const BOOL bStarted =
        CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
    SetEnvironmentVariableW(kChildPipeVariable, nullptr);
    SetEnvironmentVariableW(kChildWritingVariable, nullptr);
    ASSERT_TRUE(bStarted);
    CKSLScopedHandle childProcess(info.hProcess);
    CKSLScopedHandle childThread(info.hThread);

    // Hold the handler on the child's first message, so that the large one stays under way.
    ASSERT_TRUE(inbox.waitFor(1));
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hWriting.get(), kPatienceMs));
    Sleep(200); // lets the child's write begin; the checks below hold however long this takes
    CKSLScopedHandle byPid(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, info.dwProcessId));
    ASSERT_TRUE(byPid);
    ASSERT_TRUE(TerminateProcess(byPid.get(), 9));
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(byPid.get(), kPatienceMs));

    EXPECT_EQ(5, sendOnce(served.names, "after"));
    ASSERT_TRUE(inbox.waitFor(2));
    served.server.shutdown();
    EXPECT_EQ((std::vector<std::string>{"first", "after"}), inbox.messages());
    const std::vector<std::string> trace = traceMessages();
    for (const std::string& line : trace)
        EXPECT_EQ(0u, line.rfind("ReadFile: Error 234 GetData len=", 0)) << line;
    EXPECT_GE(1u, trace.size()) << "at most the part that was under way, dropped";
}

// The load benchmark's run, shortened: nothing lost, doubled or corrupted, and each client's
// oversize message dropped with its one trace line.
TEST_F(PipeServerTest, EightClientsOfAHundredMessagesLoseNothingButTheOversizeOnes)
{
    const PipeNames names = uniqueNames();
    const PipeLoadFigures figures = runPipeLoad(names.pipe, names.ready, 8, 100);
    EXPECT_EQ(800, figures.lSent);
    EXPECT_EQ(8, figures.lOversize);
    EXPECT_EQ(800, figures.lReceived);
    EXPECT_EQ(0, figures.lLost);
    EXPECT_EQ(0, figures.lDuplicated);
    EXPECT_EQ(0, figures.lCorrupted);
    EXPECT_EQ(std::vector<std::string>(8, "ReadFile: Error 234 GetData len=65537"), traceMessages());
}

} // namespace
