// The status line: the last backup's time and destination from the product's settings.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "plugin_loader.h"
#include "scratch_registry.h"
#include "sk_product_policy.h"
#include "sk_status.h"
#include "test_paths.h"
#include "trace_config.h"

namespace {

const wchar_t kUsage[] = L"Software\\Tessil\\Safekeep\\Settings\\Usage";
const wchar_t kBackup[] = L"Software\\Tessil\\Safekeep\\Settings\\Backup";


// The product's resource library beside this program, as beside the launcher; trace to a file.
class StatusTest : public ScratchRegistryTest {
protected:
    void SetUp() override
    {
        ScratchRegistryTest::SetUp();
        ASSERT_TRUE(resources.copied());
        tracePath = testScratchPath(L"hub.log");
        ASSERT_TRUE(enableTrace(L"SKP_HUB", tracePath));
    }
    void TearDown() override
    {
        ScratchRegistryTest::TearDown();
    }
    // 2007-03-05 14:07:09 UTC as the product stores it.
    void setLastBackup()
    {
        SYSTEMTIME st{2007, 3, 1, 5, 14, 7, 9, 0};
        FILETIME ft{};
        ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
        ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, kUsage, L"LastBackupTimeHigh", ft.dwHighDateTime));
        ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, kUsage, L"LastBackupTimeLow", ft.dwLowDateTime));
    }
    std::wstring status()
    {
        wchar_t text[100] = L"untouched";
        buildStatusText(text, 100);
        return text;
    }
    std::string trace() const { return readFileBytes(tracePath); }

    LocalResourceLibrary resources;
    std::wstring tracePath;
};

TEST_F(StatusTest, WithoutABackupTheLineSaysSo)
{
    EXPECT_EQ(L"No backup has been made yet", status());
    EXPECT_NE(std::string::npos, trace().find("SKP_HUB: NO backup so far\r\n"));
    EXPECT_NE(std::string::npos, trace().find("SKP_HUB: Time High = 0\r\n"));
}

TEST_F(StatusTest, TheLineShowsTheFirstDestinationAndTheLocalTime)
{
    setLastBackup();
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kBackup, L"BackupUSB", 1));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kBackup, L"BackupLocal", 1));
    EXPECT_EQ(L"Last backup to this computer 3/5/2007 2:07 PM", status()) << "local (0x01) wins over USB";
    EXPECT_NE(std::string::npos,
              trace().find("SKP_HUB: szString Last backup to szLocation this computer szFmtString 3/5/2007 "
                           "szTimeString 2:07 PM\r\n"));
}

TEST_F(StatusTest, NetworkAloneAndNoDestinationAtAll)
{
    setLastBackup();
    EXPECT_EQ(L"Last backup to  3/5/2007 2:07 PM", status()) << "an empty location word keeps its blanks";
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kBackup, L"BackupNetwork", 1));
    EXPECT_EQ(L"Last backup to the network 3/5/2007 2:07 PM", status());
}

TEST_F(StatusTest, ATimeThatCannotBeConvertedEmptiesTheBuffer)
{
    ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, kUsage, L"LastBackupTimeHigh", 0xFFFFFFFF));
    EXPECT_EQ(L"", status()) << "no stale text is left standing";
    const std::string t = trace();
    const std::string last = "SKP_HUB: FileTimeToSystemTime FAILED\r\n";
    ASSERT_GE(t.size(), last.size());
    EXPECT_EQ(last, t.substr(t.size() - last.size())) << "the last line says why";
}

// The status record as the launcher gets it through LP_GetStatus, on a machine with the product.
class StatusRecordTest : public StatusTest {
protected:
    void SetUp() override
    {
        StatusTest::SetUp();
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep", L"Version", L"4.0"));
        plugin = std::make_unique<PluginLoader>();
        ASSERT_TRUE(plugin->loaded());
    }
    void TearDown() override
    {
        plugin.reset();
        StatusTest::TearDown();
    }
    void setDestinations(int32_t nFlags)
    {
        deleteRegTree(HKEY_LOCAL_MACHINE, kBackup);
        const std::pair<int32_t, const wchar_t*> kValues[] = {
            {0x01, L"BackupLocal"}, {0x20, L"BackupSecond"}, {0x08, L"BackupUSB"}, {0x10, L"BackupNetwork"}};
        for (const auto& value : kValues) {
            if (nFlags & value.first) {
                ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kBackup, value.second, 1));
            }
        }
    }
    // Asks for the status with a record full of a stale pattern; checks every field at its offset
    // and answers the status text.
    std::wstring statusText()
    {
        std::vector<unsigned char> bytes(LP_STATUS_INFO_SIZE, 0x5A);
        bytes[0] = SKP_ID_QUICK_BACKUP_NOW;
        bytes[1] = bytes[2] = bytes[3] = 0;
        uint32_t size = LP_STATUS_INFO_SIZE;
        EXPECT_EQ(0, plugin->getStatus(0, reinterpret_cast<LP_STATUS_INFO*>(bytes.data()), &size));
        EXPECT_EQ(LP_STATUS_INFO_SIZE, size) << "left as the caller gave it";
        auto int32At = [&](size_t offset) {
            int32_t n = 0;
            std::memcpy(&n, bytes.data() + offset, sizeof n);
            return n;
        };
        auto textAt = [&](size_t offset, size_t nChars) {
            const wchar_t* p = reinterpret_cast<const wchar_t*>(bytes.data() + offset);
            return std::wstring(p, wcsnlen(p, nChars));
        };
        EXPECT_EQ(SKP_ID_QUICK_BACKUP_NOW, int32At(0));
        EXPECT_EQ(L"Back up now", textAt(4, 100));
        EXPECT_EQ(4, int32At(204)) << "nStatusKind";
        EXPECT_EQ(0, int32At(208)) << "nStatusDetail";
        for (size_t i = 212; i < 228; ++i)
            EXPECT_EQ(0x5A, bytes[i]) << "byte " << i << " is not the plug-in's";
        EXPECT_EQ(0, bytes[428] | bytes[429]) << "szStatusExtra is empty";
        for (size_t i = 430; i < LP_STATUS_INFO_SIZE; ++i)
            EXPECT_EQ(0x5A, bytes[i]) << "only the first character of szStatusExtra is written; byte " << i;
        return textAt(228, 100);
    }

    std::unique_ptr<PluginLoader> plugin;
};

TEST_F(StatusRecordTest, TheLocationWordIsTheFirstDestinationInTheOrderLocalUsbSecondDiskNetwork)
{
    setLastBackup();
    const std::pair<int32_t, const wchar_t*> kCases[] = {
        {0x08, L"a USB drive"},      {0x18, L"a USB drive"},      {0x20, L"second hard disk"},
        {0x30, L"second hard disk"}, {0x28, L"a USB drive"},      {0x10, L"the network"},
        {0x39, L"this computer"},    {0x00, L""},
    };
    for (const auto& destination : kCases) {
        SCOPED_TRACE(testing::Message() << "destinations 0x" << std::hex << destination.first);
        setDestinations(destination.first);
        EXPECT_EQ(L"Last backup to " + std::wstring(destination.second) + L" 3/5/2007 2:07 PM", statusText());
    }
}

TEST_F(StatusRecordTest, NoBackupAndAnUnconvertibleTimeLeaveNoStaleText)
{
    EXPECT_EQ(L"No backup has been made yet", statusText());
    ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, kUsage, L"LastBackupTimeHigh", 0xFFFFFFFF));
    EXPECT_EQ(L"", statusText()) << "the launcher's stale text is not left standing";
}

TEST_F(StatusTest, ALongLineIsCutToTheField)
{
    wchar_t text[10];
    buildStatusText(text, 10);
    EXPECT_EQ(L"No backup", std::wstring(text));
}

using ProductPolicyTest = ScratchRegistryTest;

TEST_F(ProductPolicyTest, DefaultsComeFromTheTableAndOtherNumbersAreRefused)
{
    CSKProductPolicy policy;
    uint32_t value = 77;
    EXPECT_TRUE(policy.getDwordSetting(147, value));
    EXPECT_EQ(1033u, value);
    EXPECT_TRUE(policy.getDwordSetting(123, value));
    EXPECT_EQ(20u, value);
    EXPECT_TRUE(policy.getDwordSetting(155, value));
    EXPECT_EQ(100u, value);
    value = 77;
    EXPECT_FALSE(policy.getDwordSetting(89, value)) << "a string setting";
    EXPECT_FALSE(policy.getDwordSetting(158, value)) << "the table's end";
    EXPECT_EQ(77u, value);
}

TEST_F(ProductPolicyTest, MachinePolicyWinsAndTheLastLocationIsStillFound)
{
    ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, kUsage, L"BackupCount", 5));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Tessil\\Safekeep\\Settings\\Usage",
                            L"BackupCount", 9));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep\\User Defaults", L"RunBaseBackupLocation",
                            3));
    CSKProductPolicy policy;
    uint32_t count = 0, location = 0;
    EXPECT_TRUE(policy.getDwordSetting(133, count)) << "BackupCount";
    EXPECT_EQ(9u, count);
    EXPECT_TRUE(policy.getDwordSetting(130, location)) << "an empty key path reads under the location's key";
    EXPECT_EQ(3u, location);
}

TEST_F(ProductPolicyTest, BackupLocationsBuildTheDestinationFlags)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kBackup, L"BackupLocal", 1));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kBackup, L"BackupUSB", 5));
    CSKProductPolicy policy;
    EXPECT_EQ(0x09, policy.getBackupLocations());
    ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, kBackup, L"BackupSecond", 1));
    EXPECT_EQ(0x29, policy.getBackupLocations());
}

} // namespace

#include "sk_zdr_policy.h"

namespace {

using ZdrPolicyTest = ScratchRegistryTest;

TEST_F(ZdrPolicyTest, SharedSettingsLiveWithoutTheClientPart)
{
    CSKZdrPolicy zdr(L"Safekeep");
    unsigned long timeout = 0, debug = 7;
    EXPECT_TRUE(zdr.getPolicy(6, timeout, false));
    EXPECT_EQ(30ul, timeout);
    EXPECT_TRUE(zdr.getPolicy(5, debug, false));
    EXPECT_EQ(0ul, debug);

    ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, L"Software\\Tessil\\ZDR\\Safekeep", L"timeout", 90));
    EXPECT_TRUE(zdr.getPolicy(6, timeout, false));
    EXPECT_EQ(30ul, timeout) << "not below the client's key";
    ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, L"Software\\Tessil\\ZDR", L"timeout", 45));
    EXPECT_TRUE(zdr.getPolicy(6, timeout, false));
    EXPECT_EQ(45ul, timeout);

    CKSLPolicyDwordSetting setting;
    EXPECT_FALSE(zdr.getPolicySetting(0, setting)) << "0 is a string setting";
}

} // namespace
