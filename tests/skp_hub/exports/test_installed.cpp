// The exports on a machine with the product installed, in either of its registry locations.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "plugin_loader.h"
#include "scratch_registry.h"
#include "test_paths.h"
#include "trace_config.h"

namespace {

const wchar_t kCurrentKey[] = L"Software\\Tessil\\Safekeep";
const wchar_t kOlderKey[] = L"Software\\Altmark Brightwell\\Safekeep";

class InstalledTest : public ScratchRegistryTest {
protected:
    void SetUp() override
    {
        ScratchRegistryTest::SetUp();
        tracePath = testScratchPath(L"hub.log");
        ASSERT_TRUE(enableTrace(L"SKP_HUB", tracePath));
    }
    void install(const wchar_t* key, const wchar_t* version)
    {
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, key, L"Version", version));
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, key, L"InstallPath", L"C:\\Program Files\\Tessil\\Safekeep\\"));
    }
    // The answers of the capability query for the six ids and one that is not the plug-in's.
    std::vector<int32_t> capabilities(PluginLoader& plugin)
    {
        std::vector<int32_t> answers;
        for (int32_t id : {1, 2, 101, 102, 103, 104, 105}) {
            int32_t answer = -1;
            EXPECT_EQ(0, plugin.getCapability(id, &answer));
            answers.push_back(answer);
        }
        return answers;
    }
    std::string trace() const { return readFileBytes(tracePath); }

    std::wstring tracePath;
};

// The size a status size query answers: 948 with the product installed, 0 without.
uint32_t statusSizeQuery(PluginLoader& plugin)
{
    uint32_t size = 0;
    LP_STATUS_INFO status{};
    EXPECT_EQ(0, plugin.getStatus(0, &status, &size));
    return size;
}

const std::vector<int32_t> kOwnFunctions = {0, 0, 0, 0, 0, 0, 1};
const std::vector<int32_t> kNoneOwn = {1, 1, 1, 1, 1, 1, 1};

TEST_F(InstalledTest, AfterTheFirstQueryTheSixIdsAreThePluginsOwn)
{
    install(kCurrentKey, L"4.0.12.3");
    PluginLoader plugin;
    EXPECT_EQ(kNoneOwn, capabilities(plugin)) << "nothing is probed before a record query";
    uint32_t size = 0;
    LP_FUNCTION_INFO info{};
    EXPECT_EQ(0, plugin.getFunctionInfo(0, &info, &size));
    EXPECT_EQ(940u, size);
    EXPECT_EQ(kOwnFunctions, capabilities(plugin));
    EXPECT_NE(std::string::npos, trace().find("SKP_HUB: SKP install status = 1, product verstion = 4.0.12.3\r\n"));
    EXPECT_NE(std::string::npos, trace().find("SKP_HUB: SKP_RC_DataProtectAndRecovery_Backup = 101\r\n"));
    EXPECT_NE(std::string::npos, trace().find("SKP_HUB: SKP_QUICK_BackUpNow = 1\r\n"));
}

TEST_F(InstalledTest, TheOlderReleasesKeyCountsWhenItHoldsAVersion)
{
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kOlderKey, L"Version", L"3.1"));
    PluginLoader plugin;
    EXPECT_EQ(948u, statusSizeQuery(plugin));
    EXPECT_EQ(kOwnFunctions, capabilities(plugin));
}

TEST_F(InstalledTest, AKeyWithoutAVersionDoesNotCount)
{
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kCurrentKey, L"InstallPath", L"C:\\Safekeep"));
    PluginLoader plugin;
    EXPECT_EQ(0u, statusSizeQuery(plugin));
    EXPECT_EQ(kNoneOwn, capabilities(plugin));
}

TEST_F(InstalledTest, TheAnswerHoldsUntilTheLibraryIsReloaded)
{
    PluginLoader plugin;
    uint32_t size = 0;
    LP_FUNCTION_INFO info{};
    plugin.getFunctionInfo(0, &info, &size);
    install(kCurrentKey, L"4.0");
    size = 0;
    plugin.getFunctionInfo(0, &info, &size);
    EXPECT_EQ(0u, size) << "a product installed after the first query is not seen";
    plugin.reload();
    plugin.getFunctionInfo(0, &info, &size);
    EXPECT_EQ(940u, size);
}

TEST_F(InstalledTest, RecordSizesFollowTheProtocol)
{
    install(kCurrentKey, L"4.0");
    PluginLoader plugin;
    std::vector<unsigned char> bytes(2000, 0x5A);
    auto* info = reinterpret_cast<LP_FUNCTION_INFO*>(bytes.data());
    info->nFunctionId = 3; // not one of the plug-in's

    uint32_t size = 939;
    EXPECT_EQ(1, plugin.getFunctionInfo(0, info, &size));
    EXPECT_EQ(939u, size);
    for (size_t i = 4; i < bytes.size(); ++i)
        ASSERT_EQ(0x5A, bytes[i]) << "too small: nothing changed";

    size = 2000;
    EXPECT_EQ(2, plugin.getFunctionInfo(0, info, &size));
    EXPECT_EQ(940u, size);
    EXPECT_EQ(0, info->nReserved);
    EXPECT_EQ(0x5A5A5A5A, info->nCatalogId) << "an unknown id leaves the other fields";
    for (size_t i = 940; i < bytes.size(); ++i)
        ASSERT_EQ(0x5A, bytes[i]) << "nothing beyond the record";
    EXPECT_NE(std::string::npos, trace().find("SKP_HUB: Function ID = 3, category = 0\r\n"));

    auto* status = reinterpret_cast<LP_STATUS_INFO*>(bytes.data());
    std::fill(bytes.begin(), bytes.end(), 0x5A);
    status->nFunctionId = 2;
    size = 948;
    EXPECT_EQ(2, plugin.getStatus(0, status, &size)) << "only the quick back-up-now link has a status";
    for (size_t i = 4; i < bytes.size(); ++i)
        ASSERT_EQ(0x5A, bytes[i]);
    size = 947;
    status->nFunctionId = 1;
    EXPECT_EQ(1, plugin.getStatus(0, status, &size));
}

TEST_F(InstalledTest, TheLibraryLogShowsTheProductOperations)
{
    install(kCurrentKey, L"4.0.12.3");
    const std::wstring logPath = testScratchPath(L"ksl.log");
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tessil\\Logs", L"Logging", 1));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tessil\\Logs", L"LogDetail", 0x300));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tessil\\Logs", L"TextOutput", logPath));
    PluginLoader plugin;
    uint32_t size = 0;
    LP_FUNCTION_INFO info{};
    plugin.getFunctionInfo(0, &info, &size);

    const std::string bytes = readFileBytes(logPath);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ("\xFF\xFE", bytes.substr(0, 2));
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    EXPECT_NE(std::wstring::npos, text.find(L"<ENTRY> <test_exports> <CKSLProduct_SKP::isInstalled> <ksl_product_skp.cpp, "));
    EXPECT_NE(std::wstring::npos, text.find(L"<EXIT> <test_exports> <CKSLProduct_SKP::isInstalled> <Passed> <ksl_product_skp.cpp, "));
    EXPECT_NE(std::wstring::npos, text.find(L"<EXIT> <test_exports> <CKSLProduct::getRegistryItem> <Passed> "));
}

std::wstring text(const LP_WCHAR* field)
{
    return reinterpret_cast<const wchar_t*>(field);
}


LP_FUNCTION_INFO catalogEntry(PluginLoader& plugin, int32_t id)
{
    LP_FUNCTION_INFO info{};
    info.nFunctionId = id;
    uint32_t size = sizeof info;
    EXPECT_EQ(0, plugin.getFunctionInfo(0, &info, &size)) << "id " << id;
    return info;
}

TEST_F(InstalledTest, CatalogueEntriesNameTheQuickLinksAndTheProductsPrograms)
{
    install(kCurrentKey, L"4.0");
    const LocalResourceLibrary resources;
    ASSERT_TRUE(resources.copied());
    wchar_t programFiles[MAX_PATH];
    GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
    PluginLoader plugin;

    const LP_FUNCTION_INFO quick = catalogEntry(plugin, 1);
    EXPECT_EQ(51100, quick.nCatalogId);
    EXPECT_EQ(1, quick.bStatusAvailable);
    EXPECT_EQ(L"Back up now", text(quick.szName));
    EXPECT_EQ(L"BackupStatusEvent", text(quick.szEventForStatusChange));
    EXPECT_EQ(LP_EXEC_LIBRARY_EXPORT, quick.nExecType);
    EXPECT_EQ(std::wstring(programFiles) + L"\\Tessil\\skp_hub.dll, LP_BackupNow", text(quick.szExecInterface));

    // One trailing backslash of the install path is dropped.
    const LP_FUNCTION_INFO restore = catalogEntry(plugin, 102);
    EXPECT_EQ(50300, restore.nCatalogId);
    EXPECT_EQ(0, restore.bStatusAvailable);
    EXPECT_EQ(L"Restore files", text(restore.szName));
    EXPECT_EQ(L"", text(restore.szEventForStatusChange));
    EXPECT_EQ(LP_EXEC_COMMAND_LINE, restore.nExecType);
    EXPECT_EQ(L"C:\\Program Files\\Tessil\\Safekeep\\RestoreNow.exe", text(restore.szExecInterface));
    EXPECT_EQ(L"C:\\Program Files\\Tessil\\Safekeep\\skp_gui.exe /hub", text(catalogEntry(plugin, 101).szExecInterface));
    EXPECT_EQ(L"Rejuvenate your computer", text(catalogEntry(plugin, 103).szName));
    EXPECT_EQ(60800, catalogEntry(plugin, 104).nCatalogId);

    const std::string t = trace();
    EXPECT_NE(std::string::npos, t.find("SKP_HUB: LP_BACKUP_QUICKLINK, catalog id = 51100 \r\n"));
    EXPECT_NE(std::string::npos, t.find("SKP_HUB: SKP_RC_DataProtectAndRecovery_Restore\r\n"));
    EXPECT_NE(std::string::npos, t.find("SKP_HUB: szExecInterface = C:\\Program Files\\Tessil\\Safekeep\\RestoreNow.exe\r\n"));
}

TEST_F(InstalledTest, WithoutAnInstallPathTheCommandLinesStartWithABackslash)
{
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kCurrentKey, L"Version", L"4.0"));
    PluginLoader plugin;
    const LP_FUNCTION_INFO product = catalogEntry(plugin, 104);
    EXPECT_EQ(L"\\skp_gui.exe", text(product.szExecInterface));
    EXPECT_EQ(L"", text(product.szName)) << "no resource library beside this program";
}

} // namespace
