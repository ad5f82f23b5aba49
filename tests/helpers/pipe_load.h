// Load on the service pipe's server end: concurrent clients, each on one connection, send
// numbered messages of varied sizes (12 to 65,536 bytes) and one oversize message (65,537 bytes,
// whose last byte would end the conversation if it arrived on its own); the handler checks every
// message it gets. Header only: the load benchmark and the pipe tests share it.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ksl_scoped_handle.h"
#include "sk_pipe.h"

struct PipeLoadFigures {
    long lSent = 0;       // messages the clients wrote whole, the oversize ones not counted
    long lOversize = 0;   // oversize messages written
    long lReceived = 0;   // distinct messages the handler got intact
    long lLost = 0;       // sent but never received
    long lDuplicated = 0; // received more than once
    long lCorrupted = 0;  // received with wrong length, numbers or bytes (a cut oversize one too)
    double dShutdownMs = 0; // shutdown with every client still connected
};

namespace pipe_load_detail {

const BYTE kMark = 'L';
const DWORD kHeaderBytes = 11; // mark, client (2), number (4), length (4)
const DWORD kOversizeNumber = 0xFFFFFFFF;
const DWORD kStallMs = 10000; // the handler got nothing new for this long: the rest is lost

inline DWORD mix(DWORD h)
{
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h;
}

// Mostly small messages, every 16th up to the whole buffer, the first one exactly the buffer.
inline DWORD messageSize(DWORD dwClient, DWORD dwNumber)
{
    if (dwNumber == 0)
        return SK_PIPE_BUFFER_BYTES;
    const DWORD h = mix((dwClient + 1) * 0x9E3779B1u + (dwNumber + 1) * 0x85EBCA77u);
    const DWORD dwSpan = h % 16 == 0 ? SK_PIPE_BUFFER_BYTES - kHeaderBytes - 1 : 4096;
    return 12 + h / 16 % dwSpan;
}

inline BYTE patternByte(DWORD dwClient, DWORD dwNumber, DWORD i)
{
    return static_cast<BYTE>(dwClient * 31 + dwNumber * 7 + i);
}

inline void putDword(BYTE* p, DWORD v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<BYTE>(v >> (8 * i));
}

inline DWORD getDword(const BYTE* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<DWORD>(p[3]) << 24;
}

inline std::vector<BYTE> makeMessage(DWORD dwClient, DWORD dwNumber, DWORD cbSize)
{
    std::vector<BYTE> message(cbSize);
    message[0] = kMark;
    message[1] = static_cast<BYTE>(dwClient);
    message[2] = static_cast<BYTE>(dwClient >> 8);
    putDword(&message[3], dwNumber);
    putDword(&message[7], cbSize);
    for (DWORD i = kHeaderBytes; i < cbSize; ++i)
        message[i] = patternByte(dwClient, dwNumber, i);
    return message;
}

// What the handler saw, per client and number.
class CLoadInbox {
public:
    CLoadInbox(DWORD dwClients, DWORD dwMessages)
        : m_dwClients(dwClients), m_dwMessages(dwMessages), m_seen(dwClients * dwMessages, 0)
    {
    }

    static DWORD handler(ULONG_PTR ulInbox, const BYTE* pRequest, DWORD cbRequest, BYTE*)
    {
        reinterpret_cast<CLoadInbox*>(ulInbox)->take(pRequest, cbRequest);
        return 0;
    }

    void take(const BYTE* p, DWORD cb)
    {
        const bool bIntact = intact(p, cb);
        std::lock_guard<std::mutex> guard(m_lock);
        if (!bIntact) {
            ++m_figures.lCorrupted;
        } else if (m_seen[slot(p)]++ != 0) {
            ++m_figures.lDuplicated;
        } else {
            ++m_figures.lReceived;
        }
        ++m_lArrivals;
    }

    long arrivals()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lArrivals;
    }

    PipeLoadFigures figures()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_figures;
    }

private:
    DWORD client(const BYTE* p) const { return p[1] | p[2] << 8; }
    size_t slot(const BYTE* p) const { return client(p) * m_dwMessages + getDword(&p[3]); }

    bool intact(const BYTE* p, DWORD cb) const
    {
        if (cb < 12 || p[0] != kMark || getDword(&p[7]) != cb || client(p) >= m_dwClients ||
            getDword(&p[3]) >= m_dwMessages)
            return false;
        for (DWORD i = kHeaderBytes; i < cb; ++i)
            if (p[i] != patternByte(client(p), getDword(&p[3]), i))
                return false;
        return true;
    }

    DWORD m_dwClients;
    DWORD m_dwMessages;
    std::mutex m_lock;
    std::vector<BYTE> m_seen;
    PipeLoadFigures m_figures;
    long m_lArrivals = 0;
};

inline CKSLScopedFile openLoadClient(const std::wstring& pipe)
{
    CKSLScopedFile handle;
    for (int nTry = 0; nTry < 50 && !handle; ++nTry) {
        handle.reset(CreateFileW(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!handle)
            WaitNamedPipeW(pipe.c_str(), 1000);
    }
    DWORD dwMode = PIPE_READMODE_MESSAGE;
    if (handle)
        SetNamedPipeHandleState(handle.get(), &dwMode, nullptr, nullptr);
    return handle;
}

inline bool writeWhole(HANDLE hPipe, const std::vector<BYTE>& message)
{
    DWORD cbWritten = 0;
    return WriteFile(hPipe, message.data(), static_cast<DWORD>(message.size()), &cbWritten, nullptr) &&
           cbWritten == message.size();
}

// One client: its messages, the oversize one halfway, then it stays connected until released.
inline void runClient(const std::wstring& pipe, DWORD dwClient, DWORD dwMessages, HANDLE hStart, HANDLE hRelease,
                      std::atomic<long>& lSent, std::atomic<long>& lOversize)
{
    WaitForSingleObject(hStart, INFINITE);
    CKSLScopedFile handle = openLoadClient(pipe);
    for (DWORD n = 0; handle && n < dwMessages; ++n) {
        if (n == dwMessages / 2) {
            std::vector<BYTE> oversize = makeMessage(dwClient, kOversizeNumber, SK_PIPE_BUFFER_BYTES + 1);
            oversize.back() = SK_PIPE_END;
            lOversize += writeWhole(handle.get(), oversize) ? 1 : 0;
        }
        lSent += writeWhole(handle.get(), makeMessage(dwClient, n, messageSize(dwClient, n))) ? 1 : 0;
    }
    WaitForSingleObject(hRelease, INFINITE);
}

inline double millisecondsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1e3 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

} // namespace pipe_load_detail

// Serves the pipe with a checking handler, runs the clients all at once, waits until every sent
// message has arrived (or nothing new came for a while), then shuts the server down while the
// clients are still connected.
inline PipeLoadFigures runPipeLoad(const std::wstring& pipe, const std::wstring& ready, DWORD dwClients,
                                   DWORD dwMessages)
{
    using namespace pipe_load_detail;
    CLoadInbox inbox(dwClients, dwMessages);
    SKPipeSettings settings;
    settings.wcsReadyEventName = ready.c_str();
    CKSLScopedHandle hReady(CreateEventW(nullptr, TRUE, FALSE, ready.c_str()));
    CSKPipe server(true, false, pipe.c_str(), reinterpret_cast<ULONG_PTR>(&inbox), CLoadInbox::handler, nullptr, 0,
                   settings);
    WaitForSingleObject(hReady.get(), 30000);
    CKSLScopedHandle hStart(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CKSLScopedHandle hRelease(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::atomic<long> lSent{0};
    std::atomic<long> lOversize{0};
    std::vector<std::thread> clients;
    for (DWORD c = 0; c < dwClients; ++c)
        clients.emplace_back(runClient, pipe, c, dwMessages, hStart.get(), hRelease.get(), std::ref(lSent),
                             std::ref(lOversize));
    SetEvent(hStart.get());
    const long lExpected = static_cast<long>(dwClients * dwMessages);
    long lLast = -1;
    DWORD dwLastChange = GetTickCount();
    for (long lNow = inbox.arrivals(); lNow < lExpected && GetTickCount() - dwLastChange < kStallMs;
         lNow = inbox.arrivals()) {
        if (lNow != lLast) {
            lLast = lNow;
            dwLastChange = GetTickCount();
        }
        Sleep(10);
    }
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    server.shutdown();
    const double dShutdownMs = millisecondsSince(start);
    SetEvent(hRelease.get());
    for (std::thread& client : clients)
        client.join();
    PipeLoadFigures figures = inbox.figures();
    figures.lSent = lSent;
    figures.lOversize = lOversize;
    figures.lLost = figures.lSent - figures.lReceived;
    figures.dShutdownMs = dShutdownMs;
    return figures;
}
