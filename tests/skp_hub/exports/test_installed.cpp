// The exports on a machine with the product installed, in either of its registry locations.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
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

// One catalogue entry as the launcher must get it; exec holds "%P" for the ProgramFiles folder.
struct CatalogueRow {
    int32_t nId;
    int32_t nCatalogId;
    int32_t bStatusAvailable;
    const wchar_t* wcsName;
    const wchar_t* wcsEvent;
    int32_t nExecType;
    const wchar_t* wcsExec;
};

const CatalogueRow kCatalogue[] = {
    {1, 51100, 1, L"Back up now", L"BackupStatusEvent", LP_EXEC_LIBRARY_EXPORT,
     L"%P\\Tessil\\skp_hub.dll, LP_BackupNow"},
    {2, 11500, 0, L"Rejuvenate your computer", L"RejuvenateStatusEvent", LP_EXEC_LIBRARY_EXPORT,
     L"%P\\Tessil\\skp_hub.dll, LP_Rejuvenate"},
    {101, 50100, 0, L"Back up files and settings", L"", LP_EXEC_COMMAND_LINE,
     L"C:\\Program Files\\Tessil\\Safekeep\\skp_gui.exe /hub"},
    {102, 50300, 0, L"Restore files", L"", LP_EXEC_COMMAND_LINE,
     L"C:\\Program Files\\Tessil\\Safekeep\\RestoreNow.exe"},
    {103, 10800, 0, L"Rejuvenate your computer", L"", LP_EXEC_COMMAND_LINE,
     L"C:\\Program Files\\Tessil\\Safekeep\\rejuvenate_gui.exe"},
    {104, 60800, 0, L"Safekeep", L"", LP_EXEC_COMMAND_LINE, L"C:\\Program Files\\Tessil\\Safekeep\\skp_gui.exe"},
};

std::wstring replaced(std::wstring text, const std::wstring& what, const std::wstring& by)
{
    const size_t at = text.find(what);
    return at == std::wstring::npos ? text : text.replace(at, what.size(), by);
}

// Every field at its offset; the record's fill pattern stays in the unused ends of the texts.
void expectEntry(PluginLoader& plugin, const CatalogueRow& row, const std::wstring& programFiles)
{
    SCOPED_TRACE(testing::Message() << "id " << row.nId);
    std::vector<unsigned char> bytes(LP_FUNCTION_INFO_SIZE, 0x5A);
    auto* info = reinterpret_cast<LP_FUNCTION_INFO*>(bytes.data());
    info->nFunctionId = row.nId;
    uint32_t size = LP_FUNCTION_INFO_SIZE;
    ASSERT_EQ(0, plugin.getFunctionInfo(0, info, &size));
    EXPECT_EQ(LP_FUNCTION_INFO_SIZE, size);
    auto int32At = [&](size_t offset) {
        int32_t n = 0;
        std::memcpy(&n, bytes.data() + offset, sizeof n);
        return n;
    };
    auto textAt = [&](size_t offset) { return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + offset)); };
    EXPECT_EQ(row.nId, int32At(0));
    EXPECT_EQ(row.nCatalogId, int32At(4));
    EXPECT_EQ(0, int32At(8));
    EXPECT_EQ(row.bStatusAvailable, int32At(12));
    EXPECT_EQ(row.wcsName, textAt(16));
    EXPECT_EQ(row.wcsEvent, textAt(216));
    EXPECT_EQ(row.nExecType, int32At(416));
    EXPECT_EQ(replaced(row.wcsExec, L"%P", programFiles), textAt(420));
}

TEST_F(InstalledTest, AllSixCatalogueEntriesFieldByField)
{
    install(kCurrentKey, L"4.0");
    const LocalResourceLibrary resources;
    ASSERT_TRUE(resources.copied());
    wchar_t programFiles[MAX_PATH];
    ASSERT_LT(GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH), static_cast<DWORD>(MAX_PATH));
    PluginLoader plugin;
    for (const CatalogueRow& row : kCatalogue)
        expectEntry(plugin, row, programFiles);

    // The category entries trace their names, all but the restore entry their catalogue line.
    const std::string t = trace();
    size_t at = 0;
    for (const char* line :
         {"SKP_HUB: LP_BACKUP_QUICKLINK, catalog id = 51100 \r\n", "SKP_HUB: szEventForStatusChange = BackupStatusEvent\r\n",
          "SKP_HUB: LP_QUICK_Rejuvenate, catalog id = 11500 \r\n", "SKP_HUB: SKP_RC_DataProtectAndRecovery_Backup \r\n",
          "SKP_HUB: SKP_RC_DataProtectAndRecovery_Backup, catalog id = 50100 \r\n",
          "SKP_HUB: SKP_RC_DataProtectAndRecovery_Restore\r\n", "SKP_HUB: szEventForStatusChange = \r\n",
          "SKP_HUB: szExecInterface = C:\\Program Files\\Tessil\\Safekeep\\RestoreNow.exe\r\n",
          "SKP_HUB:  REJUVENATE RESOURCE LINK\r\n", "SKP_HUB: SKP_RC_Maintenance_Rejuvenate, catalog id = 10800 \r\n",
          "SKP_HUB:  Brightwell Safekeep\r\n", "SKP_HUB: SKP_RC_Brightwell_SKP, catalog id = 60800 \r\n"}) {
        at = t.find(line, at);
        ASSERT_NE(std::string::npos, at) << "in order: " << line;
    }
}

// This library's own full path, as the loader knows it.
std::wstring pluginPath()
{
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(GetModuleHandleW(L"skp_hub.dll"), path, MAX_PATH);
    return std::wstring(path, n < MAX_PATH ? n : 0);
}

// Without a usable ProgramFiles folder the quick links name this library where it was loaded
// from, never "\Tessil\skp_hub.dll" at the root of the current drive nor a cut path.
TEST_F(InstalledTest, WithoutAUsableProgramFilesTheQuickLinksNameThisLibrarysOwnPath)
{
    install(kCurrentKey, L"4.0");
    const LocalResourceLibrary resources;
    wchar_t saved[MAX_PATH];
    ASSERT_LT(GetEnvironmentVariableW(L"ProgramFiles", saved, MAX_PATH), static_cast<DWORD>(MAX_PATH));
    PluginLoader plugin;
    ASSERT_FALSE(pluginPath().empty());
    const std::wstring longerThanAPath = L"C:\\" + std::wstring(300, L'p');
    const std::wstring tooLongForTheField = L"C:\\" + std::wstring(240, L'p'); // fits a path, not the field
    const std::pair<const char*, const wchar_t*> kUnusable[] = {
        {"unset", nullptr}, {"empty", L""}, {"longer than a path", longerThanAPath.c_str()},
        {"too long for the field", tooLongForTheField.c_str()}};
    for (const auto& unusable : kUnusable) {
        SCOPED_TRACE(unusable.first);
        SetEnvironmentVariableW(L"ProgramFiles", unusable.second);
        EXPECT_EQ(pluginPath() + L", LP_BackupNow", text(catalogEntry(plugin, 1).szExecInterface));
        EXPECT_EQ(pluginPath() + L", LP_Rejuvenate", text(catalogEntry(plugin, 2).szExecInterface));
        EXPECT_EQ(LP_EXEC_LIBRARY_EXPORT, catalogEntry(plugin, 1).nExecType);
    }
    SetEnvironmentVariableW(L"ProgramFiles", saved);
    EXPECT_EQ(std::wstring(saved) + L"\\Tessil\\skp_hub.dll, LP_BackupNow", text(catalogEntry(plugin, 1).szExecInterface));
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
