// What one exported call reads once, what the next call reads again, the module-wide objects
// under concurrent first calls, and load and unload in the launcher's process.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "handle_count.h"
#include "ksl_log_settings.h"
#include "plugin_loader.h"
#include "process_resources.h"
#include "scratch_registry.h"
#include "sk_module_state.h"
#include "test_paths.h"
#include "trace_config.h"

namespace {

const wchar_t kProduct[] = L"Software\\Tessil\\Safekeep";
const wchar_t kLogKey[] = L"SOFTWARE\\Tessil\\Logs";

DWORD WINAPI unloadPlugin(LPVOID pPlugin)
{
    delete static_cast<PluginLoader*>(pPlugin);
    return 0;
}

class CallScopeTest : public ScratchRegistryTest {
protected:
    void SetUp() override
    {
        ScratchRegistryTest::SetUp();
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kProduct, L"Version", L"4.0.12.3"));
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kProduct, L"InstallPath", L"C:\\SafekeepMissing"));
        logPath = testScratchPath(L"ksl.log");
        tracePath = testScratchPath(L"hub.log");
    }
    void TearDown() override
    {
        DeleteFileW(logPath.c_str());
        DeleteFileW(tracePath.c_str());
        ScratchRegistryTest::TearDown();
    }
    void logOn(DWORD dwDetail)
    {
        ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kLogKey, L"Logging", 1));
        ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kLogKey, L"LogDetail", dwDetail));
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kLogKey, L"TextOutput", logPath));
    }
    std::wstring log() const
    {
        const std::string bytes = readFileBytes(logPath);
        return bytes.size() < 2 ? std::wstring()
                                : std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    }
    static size_t count(const std::wstring& text, const std::wstring& part)
    {
        size_t n = 0;
        for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + part.size()))
            ++n;
        return n;
    }
    static int32_t sizeQuery(PluginLoader& plugin)
    {
        LP_FUNCTION_INFO info{};
        uint32_t size = 0;
        return plugin.getFunctionInfo(0, &info, &size);
    }
    static std::wstring statusText(PluginLoader& plugin)
    {
        LP_STATUS_INFO status{};
        status.nFunctionId = 1;
        uint32_t size = sizeof status;
        EXPECT_EQ(0, plugin.getStatus(0, &status, &size));
        return reinterpret_cast<const wchar_t*>(status.szStatusText);
    }

    // Eight threads ask for the catalogue's size at the same moment, each its first query.
    static void eightFirstQueriesAtOnce(PluginLoader& plugin)
    {
        std::atomic<int> waiting{8};
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i) {
            threads.emplace_back([&] {
                --waiting;
                while (waiting.load() > 0)
                    Sleep(0);
                EXPECT_EQ(0, sizeQuery(plugin));
            });
        }
        for (std::thread& t : threads)
            t.join();
    }

    std::wstring logPath, tracePath;
};

TEST_F(CallScopeTest, AConfigurationChangeBetweenTwoCallsTakesEffectAtTheSecond)
{
    PluginLoader plugin;
    ASSERT_EQ(0, sizeQuery(plugin));
    EXPECT_EQ("", readTraceFile(tracePath));
    EXPECT_EQ(L"", log());

    ASSERT_TRUE(enableTrace(L"SKP_HUB", tracePath));
    logOn(0x100); // ENTRY records
    (void)statusText(plugin);
    EXPECT_EQ(1, countOccurrences(readTraceFile(tracePath), "SKP_HUB: LP_GetStatus\r\n"));
    EXPECT_NE(0u, count(log(), L"<CKSLProductPolicy::getPolicy>"));

    ASSERT_TRUE(deleteRegValue(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tessil\\Safekeep\\Debug", L"SKP_HUB"));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kLogKey, L"Logging", 0));
    const std::wstring logged = log();
    (void)statusText(plugin);
    EXPECT_EQ(1, countOccurrences(readTraceFile(tracePath), "SKP_HUB: LP_GetStatus\r\n"));
    EXPECT_EQ(logged, log());
}

TEST_F(CallScopeTest, TheModuleWidePolicySeesASettingChangedBetweenTwoQueries)
{
    PluginLoader plugin;
    ASSERT_EQ(0, sizeQuery(plugin));
    const std::wstring before = statusText(plugin);
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, std::wstring(kProduct) + L"\\Settings\\Usage", L"LastBackupTimeHigh",
                            0x01dd8687));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, std::wstring(kProduct) + L"\\Settings\\Usage", L"LastBackupTimeLow",
                            0x27f41f00));
    const std::wstring after = statusText(plugin);
    EXPECT_NE(before, after);
    EXPECT_NE(std::wstring::npos, after.find(L"12/7/2026")) << "the second query read the new time";
}

TEST_F(CallScopeTest, EightConcurrentFirstCallsBuildTheModuleWideObjectsOnce)
{
    logOn(0x100);
    PluginLoader plugin;
    eightFirstQueriesAtOnce(plugin);
    // Only the module-wide objects construct a product policy (the queries use that one).
    EXPECT_EQ(2u, count(log(), L"<CKSLProductPolicy::CKSLProductPolicy>"))
        << "Safekeep's policy and the network-drive settings, each built once";
}

// The first query of a load makes the status events and probes the installation. Eight threads
// making their first query at the same moment: the probe runs once per load, and once the library
// is unloaded no handle of it is left (an event made twice would leave one).
TEST_F(CallScopeTest, EightConcurrentFirstQueriesProbeOnceAndMakeEachEventOnce)
{
    ASSERT_TRUE(enableTrace(L"SKP_HUB", tracePath));
    auto firstQueries = [] {
        PluginLoader plugin;
        eightFirstQueriesAtOnce(plugin);
    };
    firstQueries(); // what the first load leaves for the life of the process
    DeleteFileW(tracePath.c_str());
    const DWORD dwHandles = openHandleCount();
    const int kLoads = 6;
    for (int i = 0; i < kLoads; ++i)
        firstQueries();
    EXPECT_EQ(kLoads, countOccurrences(readTraceFile(tracePath), "SKP_HUB: SKP install status = 1"))
        << "one probe per load";
    EXPECT_LE(openHandleCount(), dwHandles) << "no event handle left behind";
}

TEST_F(CallScopeTest, TheCapabilityQueryReadsNothing)
{
    logOn(0x300);
    ASSERT_TRUE(enableTrace(L"SKP_HUB", tracePath));
    PluginLoader plugin;
    int32_t answer = 7;
    EXPECT_EQ(0, plugin.getCapability(1, &answer));
    EXPECT_EQ(1, answer);
    EXPECT_EQ(L"", log()) << "no module-wide object was built";
    EXPECT_EQ("", readTraceFile(tracePath));
}

TEST_F(CallScopeTest, UnloadReturnsAtOnceWhileAnotherHolderHasTheLogFilesLockRange)
{
    logOn(0x300);
    PluginLoader* plugin = new PluginLoader();
    ASSERT_EQ(0, sizeQuery(*plugin));
    (void)statusText(*plugin);
    // Another writer holds the range every appender locks (see ksl_append_lock.h).
    HANDLE hFile = CreateFileW(logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    OVERLAPPED range{};
    range.Offset = 0xFFFFFFFE;
    range.OffsetHigh = 0x7FFFFFFF;
    ASSERT_TRUE(LockFileEx(hFile, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range));
    const size_t before = log().size();

    HANDLE hThread = CreateThread(nullptr, 0, unloadPlugin, plugin, 0, nullptr);
    ASSERT_NE(nullptr, hThread);
    const DWORD dwWait = WaitForSingleObject(hThread, 10000);
    UnlockFileEx(hFile, 0, 1, 0, &range);
    WaitForSingleObject(hThread, INFINITE);
    CloseHandle(hThread);
    CloseHandle(hFile);
    EXPECT_EQ(WAIT_OBJECT_0, dwWait) << "the unload waited for the lock";
    EXPECT_EQ(before, log().size()) << "nothing is written at unload";
}

TEST_F(CallScopeTest, LoadQueryUnloadCyclesLeaveNoTlsIndexNoHandleAndNoMemory)
{
    auto cycle = [this] {
        PluginLoader plugin;
        int32_t answer = 0;
        plugin.getCapability(1, &answer);
        sizeQuery(plugin);
        (void)statusText(plugin);
    };
    cycle(); // what the first load leaves for the life of the process
    cycle();
    const DWORD dwTls = nextTlsIndex();
    const DWORD dwHandles = openHandleCount();
    const SIZE_T cbCommitted = committedBytes();
    const int kCycles = 60;
    for (int i = 0; i < kCycles; ++i)
        cycle();
    EXPECT_EQ(dwTls, nextTlsIndex());
    EXPECT_LE(committedBytes(), cbCommitted + 64 * 1024) << "no growth beyond heap slack";
    EXPECT_LE(openHandleCount(), dwHandles) << "the status events and the runtime's handles are returned";
}

TEST(ModuleState, TheGuardRestoresTheCallersStateOnEveryPath)
{
    const HMODULE previous = SKGetLibraryModule();
    SKSetLibraryModule(reinterpret_cast<HMODULE>(0x1000));
    EXPECT_EQ(nullptr, SKGetCurrentResourceModule());
    {
        CSKModuleStateGuard outer;
        EXPECT_EQ(reinterpret_cast<HMODULE>(0x1000), SKGetCurrentResourceModule());
        SKSetLibraryModule(reinterpret_cast<HMODULE>(0x2000));
        {
            CSKModuleStateGuard inner;
            EXPECT_EQ(reinterpret_cast<HMODULE>(0x2000), SKGetCurrentResourceModule());
        }
        EXPECT_EQ(reinterpret_cast<HMODULE>(0x1000), SKGetCurrentResourceModule());
    }
    EXPECT_EQ(nullptr, SKGetCurrentResourceModule());
    SKSetLibraryModule(previous);
}

} // namespace
