// Several threads and processes appending to one log file at once leave only whole lines.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ksl_exceptions.h"
#include "ksl_format.h"
#include "ksl_scoped_handle.h"
#include "log_test_support.h"

namespace {

const int kThreads = 8;
const int kRecordsPerWriter = 40;
const int kChildren = 3;
const wchar_t kChildPathVariable[] = L"KSL_LOG_TEST_CHILD_PATH";
const wchar_t kChildStartVariable[] = L"KSL_LOG_TEST_CHILD_START";

void logRecords(const std::wstring& writer)
{
    for (int i = 0; i < kRecordsPerWriter; ++i) {
        wchar_t wcsMessage[64];
        kslFormat(wcsMessage, L"%s record %d", writer.c_str(), i);
        CKSLRegValueQueryException record(wcsMessage, 0, L"threads.cpp", 7);
        EXPECT_TRUE(record.isLogged());
    }
}

void logFromThread(int nThread, std::atomic<bool>* pStart)
{
    while (!pStart->load())
        std::this_thread::yield();
    logRecords(L"thread " + std::to_wstring(nThread));
}

// Checks that the log holds exactly nRecords whole records, each once, and that the file has
// one byte-order mark, at its start.
void expectWholeRecords(const std::string& bytes, const std::vector<std::wstring>& lines, size_t nRecords)
{
    ASSERT_EQ(nRecords, lines.size());
    EXPECT_EQ(std::string::npos, bytes.find("\xFF\xFE", 2));
    const std::wstring prefix = L"<EXCEPTION_BAD> <" + programObjectName() + L"> \"";
    const std::wstring suffix = L"\" <threads.cpp, 7> ";
    std::set<std::wstring> messages;
    for (const std::wstring& line : lines) {
        const std::wstring body = afterStamp(line);
        ASSERT_EQ(0u, body.find(prefix)) << "broken line: " << testing::PrintToString(body);
        ASSERT_GT(body.size(), prefix.size() + suffix.size());
        ASSERT_EQ(suffix, body.substr(body.size() - suffix.size()));
        messages.insert(body.substr(prefix.size(), body.size() - prefix.size() - suffix.size()));
    }
    EXPECT_EQ(lines.size(), messages.size());
}

std::wstring environment(const wchar_t* wcsName)
{
    wchar_t wcsValue[MAX_PATH] = L"";
    GetEnvironmentVariableW(wcsName, wcsValue, MAX_PATH);
    return wcsValue;
}

// Starts this program again to run only the child writer.
CKSLScopedHandle startChild()
{
    wchar_t wcsExe[MAX_PATH];
    GetModuleFileNameW(nullptr, wcsExe, MAX_PATH);
    std::wstring commandLine = std::wstring(L"\"") + wcsExe +
                               L"\" --gtest_also_run_disabled_tests --gtest_filter=LogThreads.DISABLED_ChildWriter";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(wcsExe, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return CKSLScopedHandle();
    CloseHandle(process.hThread);
    return CKSLScopedHandle(process.hProcess);
}

using LogThreads = LogFileTest;

} // namespace

TEST_F(LogThreads, ConcurrentThreadsLeaveWholeLines)
{
    enableLogging(); // the file does not exist yet: the writers also race to create it
    std::atomic<bool> start(false);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(logFromThread, t, &start);
    start = true;
    for (std::thread& thread : threads)
        thread.join();
    expectWholeRecords(logBytes(), logLines(), kThreads * kRecordsPerWriter);
}

TEST_F(LogThreads, ConcurrentProcessesLeaveWholeLines)
{
    enableLogging();
    const std::wstring startEvent = L"KslLogTestStart" + std::to_wstring(GetCurrentProcessId());
    CKSLScopedHandle start(CreateEventW(nullptr, TRUE, FALSE, startEvent.c_str()));
    ASSERT_TRUE(start.valid());
    SetEnvironmentVariableW(kChildPathVariable, logPath().c_str());
    SetEnvironmentVariableW(kChildStartVariable, startEvent.c_str());
    std::vector<CKSLScopedHandle> children;
    for (int i = 0; i < kChildren; ++i)
        children.push_back(startChild());
    SetEnvironmentVariableW(kChildPathVariable, nullptr);
    SetEnvironmentVariableW(kChildStartVariable, nullptr);
    SetEvent(start.get());
    logRecords(L"parent");
    for (CKSLScopedHandle& child : children) {
        ASSERT_TRUE(child.valid());
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.get(), 120000));
        DWORD dwExitCode = 1;
        GetExitCodeProcess(child.get(), &dwExitCode);
        EXPECT_EQ(0u, dwExitCode);
    }
    expectWholeRecords(logBytes(), logLines(), (kChildren + 1) * kRecordsPerWriter);
}

// Run only as a child of the test above: writes into the parent's log file.
TEST_F(LogThreads, DISABLED_ChildWriter)
{
    const std::wstring path = environment(kChildPathVariable);
    if (path.empty())
        GTEST_SKIP() << "runs only as a child writer";
    enableLogging();
    setLogText(L"TextOutput", path);
    CKSLScopedHandle start(OpenEventW(SYNCHRONIZE, FALSE, environment(kChildStartVariable).c_str()));
    ASSERT_TRUE(start.valid());
    WaitForSingleObject(start.get(), 60000);
    logRecords(L"process " + std::to_wstring(GetCurrentProcessId()));
}
