// The export contract as the launcher sees it: a freshly loaded skp_hub.dll on a machine without
// the product.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ksl_scoped_handle.h"
#include "plugin_loader.h"
#include "scratch_registry.h"
#include "test_paths.h"
#include "trace_config.h"

namespace {

class ExportsTest : public ScratchRegistryTest {
protected:
    void SetUp() override
    {
        ScratchRegistryTest::SetUp();
        tracePath = testScratchPath(L"hub.log");
        ASSERT_TRUE(enableTrace(L"SKP_HUB", tracePath));
        plugin = new PluginLoader();
        ASSERT_TRUE(plugin->loaded());
    }
    void TearDown() override
    {
        delete plugin;
        ScratchRegistryTest::TearDown();
    }
    int probes() const { return countOccurrences(readTraceFile(tracePath), "SKP_HUB: SKP install status = "); }

    PluginLoader* plugin = nullptr;
    std::wstring tracePath;
};

TEST_F(ExportsTest, CapabilityBeforeInitialisationAnswersOneForEveryAssignableId)
{
    for (int32_t id : {1, 2, 101, 102, 103, 104, 105, 0}) {
        int32_t answer = 77;
        EXPECT_EQ(0, plugin->getCapability(id, &answer));
        EXPECT_EQ(1, answer) << "id " << id;
    }
    // Every slot is still -1, so -1 is "the plug-in's own".
    int32_t answer = 77;
    EXPECT_EQ(0, plugin->getCapability(-1, &answer));
    EXPECT_EQ(0, answer);
    EXPECT_EQ(0, probes()) << "the capability query never probes";
}

TEST_F(ExportsTest, NullPointersAreRejected)
{
    EXPECT_EQ(2, plugin->getCapability(1, nullptr));
    LP_FUNCTION_INFO info{};
    LP_STATUS_INFO status{};
    EXPECT_EQ(2, plugin->getFunctionInfo(0, &info, nullptr));
    EXPECT_EQ(2, plugin->getStatus(0, &status, nullptr));
    EXPECT_EQ(0, probes()) << "a null size pointer returns before the one-time initialisation";
    uint32_t size = sizeof info;
    EXPECT_EQ(2, plugin->getFunctionInfo(0, nullptr, &size));
    EXPECT_EQ(sizeof info, size);
}

TEST_F(ExportsTest, NotInstalledZeroesTheRecordAfterTheIdAndAnswersSizeZero)
{
    std::vector<unsigned char> bytes(2000, 0xAB);
    auto* info = reinterpret_cast<LP_FUNCTION_INFO*>(bytes.data());
    info->nFunctionId = 1;
    uint32_t size = 940;
    EXPECT_EQ(0, plugin->getFunctionInfo(0, info, &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(1, info->nFunctionId);
    for (size_t i = 4; i < 940; ++i)
        ASSERT_EQ(0, bytes[i]) << "byte " << i;
    for (size_t i = 940; i < bytes.size(); ++i)
        ASSERT_EQ(0xAB, bytes[i]) << "nothing beyond the size given is touched";

    std::fill(bytes.begin(), bytes.end(), 0xCD);
    auto* status = reinterpret_cast<LP_STATUS_INFO*>(bytes.data());
    size = 948;
    EXPECT_EQ(0, plugin->getStatus(0, status, &size));
    EXPECT_EQ(0u, size);
    for (size_t i = 4; i < 948; ++i)
        ASSERT_EQ(0, bytes[i]) << "byte " << i;
    EXPECT_EQ(0xCD, bytes[948]);
}

TEST_F(ExportsTest, TheProbeRunsOncePerLoad)
{
    LP_FUNCTION_INFO info{};
    LP_STATUS_INFO status{};
    uint32_t size = 0;
    plugin->getFunctionInfo(0, &info, &size);
    plugin->getStatus(0, &status, &size);
    plugin->getFunctionInfo(0, &info, &size);
    EXPECT_EQ(1, probes());
    const std::string trace = readTraceFile(tracePath);
    EXPECT_NE(std::string::npos, trace.find("SKP_HUB: SKP install status = 0, product verstion = \r\n"));
    EXPECT_NE(std::string::npos, trace.find("SKP_HUB: SKP_RC_DataProtectAndRecovery_Backup = -1\r\n"));
    EXPECT_NE(std::string::npos, trace.find("SKP_HUB: SKP_QUICK_BackUpNow = -1\r\n"));
    EXPECT_EQ(2, countOccurrences(trace, "SKP_HUB: LP_GetFunctionInfo\r\n"));
    EXPECT_EQ(1, countOccurrences(trace, "SKP_HUB: LP_GetStatus\r\n"));

    plugin->reload();
    plugin->getStatus(0, &status, &size);
    EXPECT_EQ(2, probes()) << "a reloaded library probes again";
}

TEST_F(ExportsTest, StatusEventsAreCreatedManualResetAndSignalledAtTheFirstQuery)
{
    uint32_t size = 0;
    LP_STATUS_INFO status{};
    plugin->getStatus(0, &status, &size);
    for (const wchar_t* name : {L"BackupStatusEvent", L"RejuvenateStatusEvent"}) {
        SCOPED_TRACE(testing::Message() << "event " << static_cast<int>(name[0]));
        CKSLScopedHandle event(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, name));
        ASSERT_TRUE(event.valid()) << "event missing";
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.get(), 0)) << "signalled";
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.get(), 0)) << "a wait does not reset it: manual reset";
    }
}

TEST_F(ExportsTest, AnEventTheLauncherCreatedKeepsItsState)
{
    // The launcher made the event first and left it non-signalled.
    CKSLScopedHandle mine(CreateEventW(nullptr, TRUE, FALSE, L"BackupStatusEvent"));
    ASSERT_TRUE(mine.valid());
    ResetEvent(mine.get());
    plugin->reload();
    uint32_t size = 0;
    LP_FUNCTION_INFO info{};
    plugin->getFunctionInfo(0, &info, &size);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(mine.get(), 0)) << "not reset, not set";
    SetEvent(mine.get());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mine.get(), 0));
    plugin->getFunctionInfo(0, &info, &size);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mine.get(), 0)) << "and a signalled one stays signalled";
}

} // namespace
