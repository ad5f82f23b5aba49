// The quick-link actions: the backup request on the service pipe and the product's programs.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ksl_log_settings.h"
#include "ksl_scoped_handle.h"
#include "plugin_loader.h"
#include "scratch_registry.h"
#include "service_standin.h"
#include "sk_actions.h"
#include "test_paths.h"
#include "trace_config.h"
#include "window_probe.h"

namespace {

// What a launcher shows, asked anew: the quick link's status record and the catalogue records of
// the six ids, compared byte for byte with the answers taken when the object was made.
class DisplayAnswers {
public:
    explicit DisplayAnswers(PluginLoader& plugin) : m_plugin(plugin)
    {
        for (int i = 0; i < kQueries; ++i)
            m_reference[i] = ask(i);
    }
    // One query of the cycle; false when its answer differs from the reference.
    bool askNext()
    {
        const int i = m_nNext++ % kQueries;
        return ask(i) == m_reference[i];
    }

private:
    static const int kQueries = 7;

    std::string ask(int i)
    {
        static const int32_t kIds[] = {1, 2, 101, 102, 103, 104};
        if (i == 0) {
            LP_STATUS_INFO status{};
            status.nFunctionId = SKP_ID_QUICK_BACKUP_NOW;
            uint32_t cb = sizeof status;
            const int32_t rc = m_plugin.getStatus(0, &status, &cb);
            return std::to_string(rc) + std::string(reinterpret_cast<const char*>(&status), sizeof status);
        }
        LP_FUNCTION_INFO info{};
        info.nFunctionId = kIds[i - 1];
        uint32_t cb = sizeof info;
        const int32_t rc = m_plugin.getFunctionInfo(0, &info, &cb);
        return std::to_string(rc) + std::string(reinterpret_cast<const char*>(&info), sizeof info);
    }

    PluginLoader& m_plugin;
    std::string m_reference[kQueries];
    int m_nNext = 0;
};

// A machine with the product installed in a scratch folder holding the stand-in programs, the
// resource library beside this program, and the stand-in service on the service pipe.
class ActionsTest : public ScratchRegistryTest {
protected:
    void SetUp() override
    {
        ScratchRegistryTest::SetUp();
        installDir = testScratchPath(L"Safekeep");
        CreateDirectoryW(installDir.c_str(), nullptr);
        for (const wchar_t* program : {L"skp_gui.exe", L"rejuvenate_gui.exe"})
            ASSERT_TRUE(CopyFileW((testBinDir() + L"product\\" + program).c_str(),
                                  (installDir + L"\\" + program).c_str(), FALSE));
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep", L"Version", L"4.0"));
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep", L"InstallPath", installDir + L"\\"));
        ASSERT_TRUE(resources.copied());
        programLog = testScratchPath(L"programs.log");
        SetEnvironmentVariableW(L"SKP_STANDIN_LOG", programLog.c_str());
        tracePath = testScratchPath(L"hub.log");
        ASSERT_TRUE(enableTrace(L"SKP_HUB", tracePath));
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"SKP_STANDIN_LOG", nullptr);
        SetEnvironmentVariableW(L"SKP_STANDIN_HOLD_MS", nullptr);
        ScratchRegistryTest::TearDown();
    }
    // The stand-in service for nCount messages, recording them in serviceLog.
    static HANDLE startService(const std::wstring& serviceLog, int nCount = 1)
    {
        return startServiceStandIn(nCount, L"--log \"" + serviceLog + L"\"");
    }

    // The product's programs stay open this long, so that an action waits for them.
    static void holdPrograms(DWORD dwMs)
    {
        SetEnvironmentVariableW(L"SKP_STANDIN_HOLD_MS", std::to_wstring(dwMs).c_str());
    }
    int programRuns() const { return countOccurrences(readFileBytes(programLog), " ran: "); }

    // Runs an action with a window of this thread answering messages and, every 50 ms, asking the
    // plug-in what a launcher shows (onQuery gets whether the answers were those of before). Answers
    // the action's result.
    int32_t runWithWindow(PluginLoader& plugin, bool bRejuvenate, const std::function<void(bool)>& onQuery)
    {
        DisplayAnswers answers(plugin);
        CWindowProbe probe([&] { onQuery(answers.askNext()); });
        probe.start();
        m_bInside = true;
        const int32_t nResult = bRejuvenate ? plugin.rejuvenate() : plugin.backupNow();
        m_bInside = false;
        probe.stop();
        return nResult;
    }

    LocalResourceLibrary resources;
    std::wstring installDir, programLog, tracePath;
    bool m_bInside = false; // an action is running
};

TEST_F(ActionsTest, BackupNowSendsTheRequestThenRunsTheProductProgram)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep\\Settings\\Backup", L"BackupUSB", 1));
    ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, L"Software\\Tessil\\Safekeep\\Settings\\Backup", L"BackupNetwork", 1));
    const std::wstring serviceLog = testScratchPath(L"service.log");
    const HANDLE service = startService(serviceLog);
    ASSERT_NE(nullptr, service);
    PluginLoader plugin;
    EXPECT_EQ(0, plugin.backupNow());
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(service, 20000)) << "one message arrived";
    CloseHandle(service);

    const std::string received = readFileBytes(serviceLog);
    EXPECT_NE(std::string::npos, received.find("backup destinations=0x18 text=\"Back up now\"")) << received;
    const std::string ran = readFileBytes(programLog);
    EXPECT_NE(std::string::npos, ran.find("skp_gui.exe ran: ")) << "the program ran and was awaited";
    EXPECT_NE(std::string::npos, readFileBytes(tracePath).find("SKP_HUB: RUN CMD = "));
}

// The pipe is tried twice, 5 s apart, and the launcher's window answers all along: its display
// queries made meanwhile get the answers they got before.
TEST_F(ActionsTest, WithoutTheServiceTheProgramStillRunsAndTheWindowKeepsAnswering)
{
    const std::wstring safekeepTrace = testScratchPath(L"safekeep.log");
    ASSERT_TRUE(enableTrace(L"Safekeep", safekeepTrace));
    PluginLoader plugin;
    int nSame = 0, nChanged = 0;
    EXPECT_EQ(0, runWithWindow(plugin, false, [&](bool bSame) { (bSame ? nSame : nChanged) += m_bInside; }));
    EXPECT_NE(std::string::npos, readFileBytes(safekeepTrace).find("Safekeep: SendData aborted. No pipe exists. len=31"));
    EXPECT_NE(std::string::npos, readFileBytes(programLog).find("skp_gui.exe ran: "));
    EXPECT_GT(nSame, 20) << "queries answered during the pipe's pauses";
    EXPECT_EQ(0, nChanged);
}

// The service's side of the pipe is this test's: the request arrives once, with the bytes of the
// protocol, and the program starts no sooner than a second after it (the read here completes a
// moment after the write, so the measured gap may fall a little short of the pause).
TEST_F(ActionsTest, TheRequestGoesOutOnceAndTheProgramStartsASecondLater)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep\\Settings\\Backup", L"BackupUSB", 1));
    CKSLScopedFile pipe(CreateNamedPipeW(L"\\\\.\\pipe\\SKOrbitPipe", PIPE_ACCESS_DUPLEX,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 0x10000, 0x10000, 0,
                                         nullptr));
    ASSERT_TRUE(pipe);
    std::string received;
    int nMessages = 0;
    double dRequestMs = 0, dProgramMs = 0;
    std::thread service([&] {
        ConnectNamedPipe(pipe.get(), nullptr);
        char buffer[512];
        DWORD cbRead = 0;
        while (ReadFile(pipe.get(), buffer, sizeof buffer, &cbRead, nullptr)) {
            if (nMessages++ == 0) {
                dRequestMs = nowMs();
                received.assign(buffer, cbRead);
            }
        }
    });
    std::atomic<bool> bDone{false};
    std::thread watcher([&] {
        while (!bDone && programRuns() == 0)
            Sleep(2);
        dProgramMs = nowMs();
    });
    PluginLoader plugin;
    EXPECT_EQ(0, plugin.backupNow());
    bDone = true;
    watcher.join();
    service.join();
    const char header[] = {0x32, 0x01, 0x08, 11, 0, 0, 0};
    std::string expected(header, sizeof header);
    for (char c : std::string("Back up now"))
        expected += {c, 0};
    expected += {0, 0};
    EXPECT_EQ(expected, received);
    EXPECT_EQ(1, nMessages);
    ASSERT_EQ(1, programRuns());
    EXPECT_GE(dProgramMs - dRequestMs, 950.0);
}

// A launcher refreshes its display while an action waits: during the pause before the program,
// the program wait of back up now and the program wait of rejuvenate, every query answers as it
// does outside. A query counts for the pause when it was answered well before the program started
// (starting it takes a moment of its own).
TEST_F(ActionsTest, QueriesDuringEachWaitAnswerAsOutside)
{
    holdPrograms(1500);
    const HANDLE service = startService(testScratchPath(L"service.log"));
    ASSERT_NE(nullptr, service);
    PluginLoader plugin;
    for (bool bRejuvenate : {false, true}) {
        const char* wcsAction = bRejuvenate ? "rejuvenate" : "back up now";
        std::vector<double> answeredMs;
        int nChanged = 0;
        std::atomic<double> dProgramMs{1e300};
        std::atomic<bool> bDone{false};
        std::thread watcher([&] {
            while (!bDone && programRuns() == 0)
                Sleep(2);
            dProgramMs = nowMs();
        });
        EXPECT_EQ(0, runWithWindow(plugin, bRejuvenate, [&](bool bSame) {
                      if (m_bInside) {
                          nChanged += !bSame;
                          answeredMs.push_back(nowMs());
                      }
                  }));
        bDone = true;
        watcher.join();
        const auto nDuringPause = std::count_if(answeredMs.begin(), answeredMs.end(),
                                                [&](double ms) { return ms < dProgramMs - 300; });
        const auto nDuringProgram = std::count_if(answeredMs.begin(), answeredMs.end(),
                                                  [&](double ms) { return ms > dProgramMs; });
        EXPECT_EQ(0, nChanged) << wcsAction;
        EXPECT_GT(nDuringProgram, 0) << wcsAction;
        if (!bRejuvenate) {
            EXPECT_GT(nDuringPause, 0) << "queries answered during the pause before the program";
        }
        DeleteFileW(programLog.c_str());
    }
    WaitForSingleObject(service, 20000);
    CloseHandle(service);
}

// The launcher starts a second back up now from a message while the first waits for its program:
// it runs with its own request, pause and program wait, and both calls complete.
TEST_F(ActionsTest, ASecondBackUpNowDuringTheFirstsProgramWaitRunsAndBothReturnZero)
{
    holdPrograms(1500);
    const std::wstring serviceLog = testScratchPath(L"service.log");
    const HANDLE service = startService(serviceLog, 2);
    ASSERT_NE(nullptr, service);
    PluginLoader plugin;
    int32_t nInner = -1;
    const int32_t nOuter = runWithWindow(plugin, false, [&](bool) {
        if (m_bInside && nInner == -1 && programRuns() == 1) {
            nInner = -2; // running
            nInner = plugin.backupNow();
        }
    });
    EXPECT_EQ(0, nOuter);
    EXPECT_EQ(0, nInner);
    EXPECT_EQ(2, programRuns());
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(service, 20000)) << "two requests arrived";
    CloseHandle(service);
    EXPECT_EQ(2, countOccurrences(readFileBytes(serviceLog), "backup destinations="));
}

// Another program copies a file, as a user or a crash handler would read it.
void copyWithAnotherProgram(const std::wstring& from, const std::wstring& to)
{
    std::wstring command = L"cmd.exe /c copy /y \"" + from + L"\" \"" + to + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return;
    WaitForSingleObject(pi.hProcess, 20000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

bool hasText(const std::string& utf16, const wchar_t* wcsPart)
{
    const std::wstring part(wcsPart);
    return utf16.find(std::string(reinterpret_cast<const char*>(part.data()), part.size() * 2)) != std::string::npos;
}

// A launcher that dies while the program runs must leave a log that explains it: once the
// program has started, another process finds every line gathered before the wait in the file.
// Each status query made meanwhile has its own lines there when it returns. (Two classes only, so
// that no call gathers enough lines to be written early for their amount.)
TEST_F(ActionsTest, WhileTheProgramRunsTheLogHoldsEveryLineGatheredBeforeTheWait)
{
    const std::wstring logPath = testScratchPath(L"ksl.log");
    const wchar_t* const key = CKSLLogSettings::s_wcsKeyPath;
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, key, L"Logging", 1));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, key, L"LogDetail", 0x300));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, key, L"TextOutput", logPath));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, key, L"AllowObjects", L"CKSLWindowsProcess CKSLProductPolicy"));
    holdPrograms(1500);
    const std::wstring copyPath = testScratchPath(L"ksl-copy.log");
    PluginLoader plugin;
    int nQueries = 0, nWritten = 0;
    EXPECT_EQ(0, runWithWindow(plugin, true, [&](bool) {
                  if (!m_bInside || programRuns() == 0)
                      return;
                  if (nQueries++ == 0)
                      copyWithAnotherProgram(logPath, copyPath);
                  const size_t cbBefore = readFileBytes(logPath).size();
                  LP_STATUS_INFO status{};
                  status.nFunctionId = SKP_ID_QUICK_BACKUP_NOW;
                  uint32_t cb = sizeof status;
                  plugin.getStatus(0, &status, &cb); // reads the settings through the product policy
                  nWritten += readFileBytes(logPath).size() > cbBefore;
              }));
    const std::string copy = readFileBytes(copyPath);
    EXPECT_TRUE(hasText(copy, L"<ENTRY> <test_boundary_run> <CKSLWindowsProcess::waitForFinish>")) << "read during the wait";
    EXPECT_TRUE(hasText(copy, L"<EXIT> <test_boundary_run> <CKSLWindowsProcess::start> <Passed>"));
    EXPECT_FALSE(hasText(copy, L"<EXIT> <test_boundary_run> <CKSLWindowsProcess::waitForFinish>")) << "still waiting";
    EXPECT_TRUE(hasText(readFileBytes(logPath), L"<EXIT> <test_boundary_run> <CKSLWindowsProcess::waitForFinish> <Passed>"));
    EXPECT_GT(nQueries, 2);
    EXPECT_EQ(nQueries, nWritten) << "each status query made during the wait wrote its lines before it returned";
}

TEST_F(ActionsTest, RejuvenateRunsItsProgramWithOneBackslashBeforeTheName)
{
    PluginLoader plugin;
    EXPECT_EQ(0, plugin.rejuvenate());
    EXPECT_NE(std::string::npos, readFileBytes(programLog).find("rejuvenate_gui.exe ran: "));
    std::string expected(installDir.begin(), installDir.end());
    expected = "SKP_HUB: RUN CMD = " + expected + "\\rejuvenate_gui.exe\r\n";
    EXPECT_NE(std::string::npos, readFileBytes(tracePath).find(expected)) << readFileBytes(tracePath);
}

// Without an install path "\\skp_gui.exe" would be whatever lies at the root of the launcher's
// current drive. Look-alikes planted there (the product stand-ins, which record that they ran)
// are never started: each action traces why and still answers 0.
TEST_F(ActionsTest, WithoutAnInstallPathNothingIsStartedFromTheDrivesRoot)
{
    ASSERT_TRUE(deleteRegValue(HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep", L"InstallPath"));
    const std::wstring safekeepTrace = testScratchPath(L"safekeep.log");
    ASSERT_TRUE(enableTrace(L"Safekeep", safekeepTrace));
    // Another run may hold them already: the copy may fail, the files must be there.
    const PlantedCopy gui(installDir + L"\\skp_gui.exe", L"C:\\skp_gui.exe");
    const PlantedCopy rejuvenate(installDir + L"\\rejuvenate_gui.exe", L"C:\\rejuvenate_gui.exe");
    ASSERT_TRUE(fileExists(L"C:\\skp_gui.exe") && fileExists(L"C:\\rejuvenate_gui.exe"));
    wchar_t saved[MAX_PATH];
    ASSERT_LT(GetCurrentDirectoryW(MAX_PATH, saved), static_cast<DWORD>(MAX_PATH));
    ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\"));
    const HANDLE service = startService(testScratchPath(L"service.log")); // so that no connect waits
    PluginLoader plugin;
    EXPECT_EQ(0, plugin.rejuvenate());
    EXPECT_EQ(0, plugin.backupNow());
    SetCurrentDirectoryW(saved);
    if (service) {
        WaitForSingleObject(service, 20000);
        CloseHandle(service);
    }
    EXPECT_EQ("", readFileBytes(programLog)) << "a planted program ran";
    const std::string t = readFileBytes(tracePath);
    const std::string lines[] = {"SKP_HUB: No install path: rejuvenate_gui.exe not started\r\n",
                                 "SKP_HUB: No install path: skp_gui.exe not started\r\n"};
    ASSERT_EQ(50 + lines[0].size() + lines[1].size(), t.size()) << t;
    EXPECT_EQ(lines[0], t.substr(25, lines[0].size()));
    EXPECT_EQ(lines[1], t.substr(50 + lines[0].size()));
    EXPECT_EQ(std::string::npos, readFileBytes(safekeepTrace).find("Running: ")) << "the runner was not called";
}

} // namespace
