// The quick-link actions: the backup request on the service pipe and the product's programs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin_loader.h"
#include "scratch_registry.h"
#include "sk_actions.h"
#include "test_paths.h"
#include "trace_config.h"

namespace {

std::vector<unsigned char> request(int32_t nLocations, const wchar_t* text)
{
    std::vector<unsigned char> buffer(SK_REQUEST_BUFFER_BYTES, 0xEE);
    buffer.resize(buildBackupRequest(nLocations, text, buffer.data()));
    return buffer;
}

TEST(BackupRequest, HeaderTextAndTerminator)
{
    const auto message = request(0x18, L"Back up now!");
    ASSERT_EQ(33u, message.size()) << "2n + 9 bytes for 12 characters";
    EXPECT_EQ(0x32, message[0]);
    EXPECT_EQ(0x01, message[1]);
    EXPECT_EQ(0x18, message[2]);
    EXPECT_EQ(12, message[3]);
    EXPECT_EQ(0, message[4] | message[5] | message[6]);
    EXPECT_EQ('B', message[7]);
    EXPECT_EQ(0, message[8]);
    EXPECT_EQ(0, message[31]);
    EXPECT_EQ(0, message[32]);
}

TEST(BackupRequest, NoDestinationIsSentAsLocalAndAnEmptyTextIsNineBytes)
{
    const auto message = request(0, L"");
    ASSERT_EQ(9u, message.size());
    EXPECT_EQ(0x01, message[2]);
    EXPECT_EQ(0, message[3]);
}

TEST(BackupRequest, AnOverlongTextIsCutSoItsLengthFitsItsByte)
{
    const std::wstring text(300, L'x');
    const auto message = request(1, text.c_str());
    EXPECT_EQ(2 * 255u + 9, message.size());
    EXPECT_EQ(255, message[3]);
}


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
        ScratchRegistryTest::TearDown();
    }
    // Starts the stand-in service for one message; answers its process handle.
    HANDLE startService(const std::wstring& serviceLog)
    {
        std::wstring command = L"\"" + testBinDir() + L"sk_service.exe\" --count 1 --log \"" + serviceLog + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return nullptr;
        CloseHandle(pi.hThread);
        // The service signals its ready event once its pipe exists.
        HANDLE ready = nullptr;
        for (int i = 0; i < 200 && !ready; ++i) {
            ready = OpenEventW(SYNCHRONIZE, FALSE, L"SK_ServerReadyEvent");
            if (!ready)
                Sleep(25);
        }
        if (ready) {
            WaitForSingleObject(ready, 5000);
            CloseHandle(ready);
        }
        return pi.hProcess;
    }

    LocalResourceLibrary resources;
    std::wstring installDir, programLog, tracePath;
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

TEST_F(ActionsTest, WithoutTheServiceTheProgramStillRuns)
{
    const std::wstring safekeepTrace = testScratchPath(L"safekeep.log");
    ASSERT_TRUE(enableTrace(L"Safekeep", safekeepTrace));
    PluginLoader plugin;
    EXPECT_EQ(0, plugin.backupNow());
    EXPECT_NE(std::string::npos, readFileBytes(safekeepTrace).find("Safekeep: SendData aborted. No pipe exists. len=31"));
    EXPECT_NE(std::string::npos, readFileBytes(programLog).find("skp_gui.exe ran: "));
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
