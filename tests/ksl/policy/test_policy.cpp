// Policy settings, search orders and the product policy against a scratch registry: which of the
// six locations a code names, which location wins, defaults, writes and the records left in the log.
#include <windows.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "../../helpers/log_capture.h"
#include "ksl_policy_ad_search_policy.h"
#include "ksl_product_policy.h"
#include "ksl_product_skp.h"

namespace {

const wchar_t kMachinePolicy[] = L"Software\\Policies\\Tessil\\Safekeep\\Settings\\Usage";
const wchar_t kMachinePolicyDefaults[] = L"Software\\Policies\\Tessil\\Safekeep\\User Defaults\\Settings\\Usage";
const wchar_t kProduct[] = L"Software\\Tessil\\Safekeep\\Settings\\Usage";
const wchar_t kProductDefaults[] = L"Software\\Tessil\\Safekeep\\User Defaults\\Settings\\Usage";
const long kCountID = 133;

struct Place {
    HKEY hRoot;
    const wchar_t* key;
};

// The six locations of "BackupCount" in search order (codes 1, 2, 4, 8, 16, 32).
const Place kPlaces[] = {
    {HKEY_LOCAL_MACHINE, kMachinePolicy}, {HKEY_CURRENT_USER, kMachinePolicy},
    {HKEY_LOCAL_MACHINE, kMachinePolicyDefaults}, {HKEY_LOCAL_MACHINE, kProduct},
    {HKEY_CURRENT_USER, kProduct}, {HKEY_LOCAL_MACHINE, kProductDefaults},
};

std::wstring w(const CKSLWCharString& s)
{
    return s.getString();
}

CKSLPolicyDwordSetting countSetting(unsigned long ulDefault = 7)
{
    CKSLProduct_SKP safekeep;
    return CKSLPolicyDwordSetting(safekeep, kCountID, KSL_POLICY_SOURCE_REGISTRY, L"4.0", L"BackupCount",
                                  L"Settings\\Usage", ulDefault);
}

class PolicyTest : public LogCaptureTest {
protected:
    static void putCount(const Place& place, DWORD dwValue)
    {
        ASSERT_TRUE(setRegDword(place.hRoot, place.key, L"BackupCount", dwValue));
    }
    static DWORD rawDword(HKEY hRoot, const wchar_t* key, const wchar_t* name)
    {
        DWORD dwValue = 0xDEAD;
        DWORD dwSize = sizeof(dwValue);
        EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(hRoot, key, name, RRF_RT_REG_DWORD, nullptr, &dwValue, &dwSize));
        return dwValue;
    }
};

// --- one setting, one location ---------------------------------------------------------------

TEST_F(PolicyTest, CodesNameTheirHiveAndTemplate)
{
    CKSLPolicyDwordSetting setting = countSetting();
    EXPECT_EQ(L"Software\\Policies\\Tessil\\Safekeep\\Settings\\Usage", w(setting.getValueLocation(1, L"")));
    EXPECT_EQ(L"Software\\Policies\\Tessil\\Safekeep\\User Defaults\\Settings\\Usage",
              w(setting.getValueLocation(4, L"")));
    EXPECT_EQ(L"Software\\Tessil\\Safekeep\\User Defaults\\Settings\\Usage", w(setting.getValueLocation(32, L"")));

    // Each location holds its own number; a read by code must land on exactly that one.
    for (DWORD i = 0; i < 6; ++i)
        putCount(kPlaces[i], 100 + i);
    for (DWORD i = 0; i < 6; ++i) {
        unsigned long ulValue = 0;
        EXPECT_TRUE(setting.getPolicy(1UL << i, ulValue, false, L"")) << "code " << (1 << i);
        EXPECT_EQ(100 + i, ulValue) << "code " << (1 << i);
    }
}

TEST_F(PolicyTest, CodeZeroStrayBitsAndSeveralBits)
{
    CKSLPolicyDwordSetting setting = countSetting();
    for (DWORD i = 0; i < 6; ++i)
        putCount(kPlaces[i], 100 + i);
    // Code 0 and a code without a bit inside the mask name the machine policy branch; with
    // several bits the highest counts.
    const struct {
        unsigned long ulCode;
        unsigned long ulExpected;
    } cases[] = {{0, 100}, {64, 100}, {3, 101}, {0x0C, 103}, {63, 105}, {0x41, 100}, {0x50, 104}};
    for (const auto& c : cases) {
        unsigned long ulValue = 0;
        EXPECT_TRUE(setting.getPolicy(c.ulCode, ulValue, false, L"")) << "code " << c.ulCode;
        EXPECT_EQ(c.ulExpected, ulValue) << "code " << c.ulCode;
    }
}

TEST_F(PolicyTest, KeyPathsAndNameValueTexts)
{
    CKSLPolicyDwordSetting setting(L"Tessil", L"Safekeep", 1, KSL_POLICY_SOURCE_REGISTRY, L"4.0", L"V",
                                   L"\\Settings\\Backup", 0);
    EXPECT_EQ(L"Software\\Tessil\\Safekeep\\Settings\\Backup", w(setting.getValueLocation(8, L"")))
        << "a leading backslash is not doubled";
    EXPECT_EQ(L"Software\\Tessil\\Safekeep\\Options\\Backup", w(setting.getValueLocation(8, L"Settings=Options")));
    EXPECT_EQ(L"Software\\Tessil\\Safekeep\\Settings\\Backup", w(setting.getValueLocation(8, L"%PRODUCT_NAME%=X")))
        << "the placeholder was already filled";
    EXPECT_EQ(L"Software\\Tessil\\Safekeep\\Settings\\Backup", w(setting.getValueLocation(8, L"%VALUE_NAME%=X")));
    EXPECT_EQ(L"Software\\Tessil\\Safekeep\\Settings\\Restore", w(setting.getValueLocation(8, L"Backup=x=Restore")))
        << "NAME before the first '=', VALUE after the last";
    EXPECT_EQ(L"Software\\Tessil\\Safekeep\\Settings\\Backup", w(setting.getValueLocation(8, L"=Restore")));
    EXPECT_EQ(L"Software\\Tessil\\Safekeep\\Settings\\Backup", w(setting.getValueLocation(8, L"NoEquals")));

    setting.setKeyPath(L"");
    EXPECT_EQ(L"Software\\Tessil\\Safekeep", w(setting.getValueLocation(8, L""))) << "no trailing backslash";

    CKSLPolicyNameValueList texts;
    texts.add(L"");
    texts.add(L"Settings=Options");
    EXPECT_EQ(L"V", w(setting.getValueLocation(texts))) << "no value name text: the own name";
    texts.add(L"%VALUE_NAME%=Other");
    EXPECT_EQ(L"Other", w(setting.getValueLocation(texts)));
}

TEST_F(PolicyTest, FailedReadKeepsValueAndHeldReadSkipsRegistry)
{
    CKSLPolicyDwordSetting setting = countSetting();
    unsigned long ulValue = 55;
    EXPECT_FALSE(setting.getPolicy(1, ulValue, true, L""));
    EXPECT_EQ(55UL, ulValue) << "the default is not the setting's to give";
    EXPECT_FALSE(setting.isHeld());

    putCount(kPlaces[0], 9);
    EXPECT_TRUE(setting.getPolicy(1, ulValue, true, L""));
    EXPECT_EQ(9UL, ulValue);

    putCount(kPlaces[0], 10);
    EXPECT_TRUE(setting.getPolicy(2, ulValue, true, L"")) << "held: no registry access, any code";
    EXPECT_EQ(9UL, ulValue);

    // An assigned copy answers the value it holds, not its default.
    CKSLPolicyDwordSetting copy;
    copy = setting;
    EXPECT_TRUE(copy == setting);
    unsigned long ulCopied = 0;
    EXPECT_TRUE(copy.getPolicy(2, ulCopied, true, L""));
    EXPECT_EQ(9UL, ulCopied);

    EXPECT_TRUE(setting.getPolicy(1, ulValue, false, L""));
    EXPECT_EQ(10UL, ulValue) << "without use-held the registry is read afresh";
}

TEST_F(PolicyTest, UnsupportedSourceIsAnErrorRecord)
{
    CKSLPolicyDwordSetting setting(L"Tessil", L"Safekeep", 1, 2, L"4.0", L"BackupCount", L"Settings\\Usage", 0);
    putCount(kPlaces[0], 9);
    unsigned long ulValue = 3;
    EXPECT_FALSE(setting.getPolicy(1, ulValue, false, L""));
    EXPECT_EQ(3UL, ulValue);
    EXPECT_FALSE(setting.setPolicy(1, 4, 1, L"", 0));
    EXPECT_EQ(L"", w(setting.getValueLocation(1, L"")));
    EXPECT_EQ(3U, logCount(L"Policy source is not supported."));
}

TEST_F(PolicyTest, WritesGoToTheChosenLocation)
{
    CKSLPolicyDwordSetting setting = countSetting();
    EXPECT_FALSE(setting.setPolicy(16, 21, 0, L"", 0)) << "no key and no create-if-missing";
    EXPECT_TRUE(setting.setPolicy(16, 21, 1, L"", 0));
    EXPECT_EQ(21UL, setting.getHeldValue());
    EXPECT_EQ(21U, rawDword(HKEY_CURRENT_USER, kProduct, L"BackupCount"));
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kProduct));

    CKSLPolicyStringSetting text(L"Tessil", L"Safekeep", 89, KSL_POLICY_SOURCE_REGISTRY, L"4.0", L"Pre",
                                 L"Settings\\Backup\\PreBackup", L"", true);
    ASSERT_TRUE(text.setPolicy(4, L"%SystemDrive%\\pre.cmd", 1, L"", 0));
    DWORD dwType = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE,
                                          L"Software\\Policies\\Tessil\\Safekeep\\User Defaults\\Settings\\Backup"
                                          L"\\PreBackup",
                                          L"Pre", RRF_RT_ANY | RRF_NOEXPAND, &dwType, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), dwType);
    CKSLWCharString szRead;
    EXPECT_TRUE(text.getPolicy(4, szRead, false, L""));
    EXPECT_EQ(L"C:\\pre.cmd", w(szRead)) << "read back expanded";
}

// --- search orders -----------------------------------------------------------------------------

TEST_F(PolicyTest, SearchOrderPositionsAndCopies)
{
    CKSLPolicyADSearchPolicy order;
    ASSERT_EQ(6UL, order.getCount());
    for (unsigned long i = 0; i < 6; ++i)
        EXPECT_EQ(1UL << i, order.getPolicyLocation(i));
    EXPECT_EQ(1UL, order.getPolicyLocation(6));
    EXPECT_TRUE(logHas(L"Index out of array bounds"));

    CKSLPolicySearchPolicy copy;
    copy.addPolicy(16);
    ASSERT_TRUE(copy.copy(order));
    EXPECT_EQ(6UL, copy.getCount()) << "the copy replaces, it does not append";
    EXPECT_EQ(32UL, copy.getPolicyLocation(5));
}

// --- the product policy --------------------------------------------------------------------------

class ProductPolicyTest : public PolicyTest {
protected:
    // Built inside the scratch registry: even the log switches are read from there.
    void SetUp() override
    {
        PolicyTest::SetUp();
        CKSLPolicyADSearchPolicy order;
        m_holder.emplace(order);
        CKSLProduct_SKP safekeep;
        ASSERT_TRUE(policy().addPolicySetting(countSetting()));
        ASSERT_TRUE(policy().addPolicySetting(CKSLPolicyStringSetting(
            safekeep, 141, KSL_POLICY_SOURCE_REGISTRY, L"4.0", L"WindowsFolderName", L"Settings\\Internal",
            L"C:\\Windows")));
    }
    void TearDown() override
    {
        m_holder.reset();
        PolicyTest::TearDown();
    }
    CKSLProductPolicy& policy() { return *m_holder; }

private:
    std::optional<CKSLProductPolicy> m_holder;
};

TEST_F(ProductPolicyTest, FirstReadableLocationWins)
{
    for (DWORD i = 0; i < 6; ++i)
        putCount(kPlaces[i], 100 + i);
    // Remove the winner each time: the next location in search order takes over.
    for (DWORD i = 0; i < 6; ++i) {
        unsigned long ulValue = 0;
        EXPECT_TRUE(policy().getPolicy(kCountID, ulValue, true, L""));
        EXPECT_EQ(100 + i, ulValue) << "location " << i;
        ASSERT_TRUE(deleteRegValue(kPlaces[i].hRoot, kPlaces[i].key, L"BackupCount"));
    }
}

TEST_F(ProductPolicyTest, DefaultOnlyWhenAllowed)
{
    unsigned long ulValue = 42;
    EXPECT_FALSE(policy().getPolicy(kCountID, ulValue, true, L""));
    EXPECT_EQ(42UL, ulValue);
    EXPECT_TRUE(policy().getPolicy(kCountID, ulValue, false, L""));
    EXPECT_EQ(7UL, ulValue);

    CKSLWCharString szFolder;
    EXPECT_TRUE(policy().getPolicy(141, szFolder, false));
    EXPECT_EQ(L"C:\\Windows", w(szFolder));
    ASSERT_TRUE(setRegString(HKEY_CURRENT_USER, L"Software\\Tessil\\Safekeep\\Settings\\Internal",
                             L"WindowsFolderName", L"D:\\Win"));
    EXPECT_TRUE(policy().getPolicy(141, szFolder, true));
    EXPECT_EQ(L"D:\\Win", w(szFolder));
}

TEST_F(ProductPolicyTest, UnknownOrOtherFormIDsWarn)
{
    CKSLPolicyDwordSetting found;
    EXPECT_TRUE(policy().getPolicySetting(kCountID, found));
    EXPECT_TRUE(found == countSetting());

    unsigned long ulValue = 42;
    EXPECT_FALSE(policy().getPolicySetting(141, found)) << "a string setting is not a DWORD setting";
    EXPECT_FALSE(policy().getPolicy(52, ulValue, false, L""));
    EXPECT_EQ(42UL, ulValue);
    EXPECT_EQ(1U, logCount(L"Could not find policy setting with ID ( 141 )"));
    EXPECT_EQ(1U, logCount(L"Could not find policy setting with ID ( 52 )"));
}

TEST_F(ProductPolicyTest, OwnSearchOrderDecides)
{
    CKSLPolicySearchPolicy userFirst;
    userFirst.addPolicy(16);
    userFirst.addPolicy(8);
    CKSLProductPolicy userPolicy(userFirst);
    ASSERT_TRUE(userPolicy.addPolicySetting(countSetting()));
    userFirst.addPolicy(1);
    putCount(kPlaces[0], 1);
    putCount(kPlaces[3], 8);
    putCount(kPlaces[4], 16);

    unsigned long ulValue = 0;
    EXPECT_TRUE(userPolicy.getPolicy(kCountID, ulValue, true, L""));
    EXPECT_EQ(16UL, ulValue) << "the policy keeps its own copy of the order";
    ASSERT_TRUE(deleteRegValue(kPlaces[4].hRoot, kPlaces[4].key, L"BackupCount"));
    EXPECT_TRUE(userPolicy.getPolicy(kCountID, ulValue, true, L""));
    EXPECT_EQ(8UL, ulValue);
}

} // namespace
