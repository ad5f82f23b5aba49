// Policy settings, search orders and the product policy against a scratch registry: which of the
// six locations a code names, which location wins, defaults, writes and the records left in the log.
#include <windows.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ksl_policy_ad_search_policy.h"
#include "ksl_product_policy.h"
#include "ksl_product_skp.h"
#include "ksl_registry_dword.h"
#include "ksl_scoped_handle.h"
#include "log_capture.h"

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

// --- the type rule: only data of the setting's type counts as found ------------------------------

// Stored data of any type and size (through the redirected roots; the key is created).
void putRaw(const Place& place, const wchar_t* name, DWORD dwType, const void* pData, DWORD dwBytes)
{
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(place.hRoot, place.key, name, dwType, pData, dwBytes));
}

struct StoredData {
    const char* label;
    DWORD dwType;
    std::string bytes; // the raw data
};

std::string wideBytes(const std::wstring& text) // with its terminator
{
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}

const std::string kFourBytes("\x07\x00\x00\x00", 4);

// What a DWORD setting must not take: a typed-in string (REG_SZ "0" would read as 48), other types,
// wrong sizes and empty data.
const StoredData kNotDwordData[] = {
    {"REG_SZ 0", REG_SZ, wideBytes(L"0")},
    {"REG_SZ 1", REG_SZ, wideBytes(L"1")},
    {"REG_SZ long", REG_SZ, wideBytes(L"12345")},
    {"REG_EXPAND_SZ", REG_EXPAND_SZ, wideBytes(L"1")},
    {"REG_MULTI_SZ", REG_MULTI_SZ, wideBytes(L"1") + std::string(2, '\0')},
    {"REG_QWORD", REG_QWORD, std::string("\x05\0\0\0\0\0\0\0", 8)},
    {"REG_NONE", REG_NONE, kFourBytes},
    {"REG_NONE empty", REG_NONE, std::string()},
    {"REG_DWORD empty", REG_DWORD, std::string()},
    {"REG_DWORD 3 bytes", REG_DWORD, std::string("\x01\x02\x03", 3)},
    {"REG_BINARY empty", REG_BINARY, std::string()},
    {"REG_BINARY 5 bytes", REG_BINARY, std::string("\x01\x02\x03\x04\x05", 5)},
    {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN, kFourBytes},
};

const StoredData kNotStringData[] = {
    {"REG_DWORD", REG_DWORD, kFourBytes},
    {"REG_BINARY", REG_BINARY, wideBytes(L"D:\\Bin")},
    {"REG_MULTI_SZ", REG_MULTI_SZ, wideBytes(L"D:\\Multi") + std::string(2, '\0')},
    {"REG_NONE", REG_NONE, wideBytes(L"D:\\None")},
    {"REG_QWORD", REG_QWORD, std::string(8, '\x01')},
};

const wchar_t kInternal[] = L"Software\\Policies\\Tessil\\Safekeep\\Settings\\Internal";
const wchar_t kInternalProduct[] = L"Software\\Tessil\\Safekeep\\Settings\\Internal";
const Place kFolderFirst = {HKEY_LOCAL_MACHINE, kInternal};
const Place kFolderFourth = {HKEY_LOCAL_MACHINE, kInternalProduct};

void putStored(const Place& place, const wchar_t* name, const StoredData& data)
{
    putRaw(place, name, data.dwType, data.bytes.data(), static_cast<DWORD>(data.bytes.size()));
}

TEST_F(ProductPolicyTest, DwordOfAnotherTypeIsPassedOver)
{
    for (const StoredData& data : kNotDwordData) {
        putStored(kPlaces[0], L"BackupCount", data);
        unsigned long ulValue = 42;
        EXPECT_TRUE(policy().getPolicy(kCountID, ulValue, false, L"")) << data.label;
        EXPECT_EQ(7UL, ulValue) << data.label << ": nothing usable anywhere, the default";
        EXPECT_FALSE(policy().getPolicy(kCountID, ulValue, true, L"")) << data.label;

        putCount(kPlaces[3], 808);
        EXPECT_TRUE(policy().getPolicy(kCountID, ulValue, false, L"")) << data.label;
        EXPECT_EQ(808UL, ulValue) << data.label << ": the fourth location wins";
        ASSERT_TRUE(deleteRegValue(kPlaces[3].hRoot, kPlaces[3].key, L"BackupCount"));
    }
}

TEST_F(ProductPolicyTest, DwordAndShortBinaryDataAreFound)
{
    const struct {
        StoredData data;
        unsigned long ulExpected;
    } cases[] = {
        {{"REG_DWORD", REG_DWORD, std::string("\x01\x02\x03\x04", 4)}, 0x04030201},
        {{"REG_BINARY 4 bytes", REG_BINARY, std::string("\x01\x02\x03\x04", 4)}, 0x04030201},
        {{"REG_BINARY 3 bytes", REG_BINARY, std::string("\x01\x02\x03", 3)}, 0x030201},
        {{"REG_BINARY 1 byte", REG_BINARY, std::string("\x09", 1)}, 9},
    };
    putCount(kPlaces[3], 808);
    for (const auto& c : cases) {
        putStored(kPlaces[0], L"BackupCount", c.data);
        unsigned long ulValue = 42;
        EXPECT_TRUE(policy().getPolicy(kCountID, ulValue, true, L"")) << c.data.label;
        EXPECT_EQ(c.ulExpected, ulValue) << c.data.label;
    }
}

TEST_F(ProductPolicyTest, StringOfAnotherTypeIsPassedOver)
{
    for (const StoredData& data : kNotStringData) {
        putStored(kFolderFirst, L"WindowsFolderName", data);
        CKSLWCharString szFolder;
        EXPECT_TRUE(policy().getPolicy(141, szFolder, false)) << data.label;
        EXPECT_EQ(L"C:\\Windows", w(szFolder)) << data.label << ": the default";

        ASSERT_TRUE(setRegString(kFolderFourth.hRoot, kFolderFourth.key, L"WindowsFolderName", L"E:\\Win"));
        EXPECT_TRUE(policy().getPolicy(141, szFolder, true)) << data.label;
        EXPECT_EQ(L"E:\\Win", w(szFolder)) << data.label << ": the fourth location wins";
        ASSERT_TRUE(deleteRegValue(kFolderFourth.hRoot, kFolderFourth.key, L"WindowsFolderName"));
    }
    // Both string types count; an expandable one is read as it stands (the product reads plain strings).
    ASSERT_TRUE(setRegString(kFolderFirst.hRoot, kFolderFirst.key, L"WindowsFolderName", L"%X%", REG_EXPAND_SZ));
    CKSLWCharString szFolder;
    EXPECT_TRUE(policy().getPolicy(141, szFolder, true));
    EXPECT_EQ(L"%X%", w(szFolder));
}

TEST_F(ProductPolicyTest, TheDwordValueClassItselfStillReadsAnyFourBytes)
{
    putStored(kPlaces[0], L"BackupCount", kNotDwordData[0]);
    CKSLRegistryDword value(HKEY_LOCAL_MACHINE, kMachinePolicy, L"BackupCount");
    unsigned long ulValue = 0;
    EXPECT_TRUE(value.getValue(ulValue, false));
    EXPECT_EQ(48UL, ulValue) << "the type rule belongs to the policy settings";
    EXPECT_TRUE(value.isValuePresent());
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.getStoredType());
    EXPECT_EQ(4UL, value.getStoredBytes());
}

// The raw bytes of a stored value.
std::string storedBytes(const Place& place, const wchar_t* name)
{
    CKSLScopedKey hKey;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(place.hRoot, place.key, 0, KEY_READ, hKey.receive()));
    DWORD dwBytes = 0;
    RegQueryValueExW(hKey.get(), name, nullptr, nullptr, nullptr, &dwBytes);
    std::string bytes(dwBytes, '\0');
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(hKey.get(), name, nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(&bytes[0]), &dwBytes));
    bytes.resize(dwBytes);
    return bytes;
}

// What a setting says data would read as (a value not yet written, such as a policy file's) must
// be what the registry read of the same data finds, for every kind of data.
TEST_F(ProductPolicyTest, InspectedDataReadsAsTheRegistryReadsIt)
{
    std::vector<StoredData> data(std::begin(kNotDwordData), std::end(kNotDwordData));
    data.insert(data.end(), std::begin(kNotStringData), std::end(kNotStringData));
    const std::string longest = wideBytes(std::wstring(259, L'x'));
    const StoredData more[] = {
        {"REG_DWORD", REG_DWORD, std::string("\x01\x02\x03\x04", 4)},
        {"REG_BINARY 2 bytes", REG_BINARY, std::string("\x01\x02", 2)},
        {"REG_SZ 259 characters", REG_SZ, longest},
        {"REG_SZ 260 characters", REG_SZ, wideBytes(std::wstring(260, L'y'))},
        {"REG_SZ 260 characters, no terminator", REG_SZ, longest.substr(0, longest.size() - 2) + "z\0"},
        {"REG_SZ no terminator", REG_SZ, std::string("a\0b\0", 4)},
        {"REG_SZ a NUL inside", REG_SZ, wideBytes(L"ab") + wideBytes(L"cd")},
        {"REG_SZ odd size", REG_SZ, std::string("a\0b", 3)},
        {"REG_SZ empty", REG_SZ, std::string()},
        {"REG_SZ terminator only", REG_SZ, std::string(2, '\0')},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, wideBytes(L"%SystemRoot%\\x")},
        {"REG_EXPAND_SZ unknown variable", REG_EXPAND_SZ, wideBytes(L"%NoSuchVariable%")},
    };
    data.insert(data.end(), std::begin(more), std::end(more));

    CKSLProduct_SKP safekeep;
    CKSLPolicyDwordSetting count = countSetting();
    CKSLPolicyStringSetting plain(safekeep, 141, KSL_POLICY_SOURCE_REGISTRY, L"4.0", L"WindowsFolderName",
                                  L"Settings\\Internal", L"C:\\Windows");
    CKSLPolicyStringSetting expanding(safekeep, 141, KSL_POLICY_SOURCE_REGISTRY, L"4.0", L"WindowsFolderName",
                                      L"Settings\\Internal", L"C:\\Windows", true);
    auto same = [](const auto& read, const auto& said, const char* label, const char* form) {
        EXPECT_EQ(read.state, said.state) << label << " " << form;
        EXPECT_EQ(read.dwType, said.dwType) << label << " " << form;
        EXPECT_EQ(read.dwBytes, said.dwBytes) << label << " " << form;
        EXPECT_TRUE(read.value == said.value) << label << " " << form;
    };
    for (const StoredData& d : data) {
        putStored(kPlaces[0], L"BackupCount", d);
        putStored(kFolderFirst, L"WindowsFolderName", d);
        // The data as the registry keeps it (Wine, for one, ends a REG_SZ without its NUL with one).
        const std::string stored = storedBytes(kFolderFirst, L"WindowsFolderName");
        const BYTE* pBytes = reinterpret_cast<const BYTE*>(stored.data());
        const DWORD dwBytes = static_cast<DWORD>(stored.size());
        CKSLPolicyFinding<unsigned long> readCount, saidCount;
        ASSERT_TRUE(count.inspectPolicy(1, readCount, L""));
        count.inspectData(d.dwType, pBytes, dwBytes, saidCount);
        same(readCount, saidCount, d.label, "DWORD");
        for (CKSLPolicyStringSetting* pSetting : {&plain, &expanding}) {
            CKSLPolicyFinding<CKSLWCharString> readText, saidText;
            ASSERT_TRUE(pSetting->inspectPolicy(1, readText, L""));
            pSetting->inspectData(d.dwType, pBytes, dwBytes, saidText);
            same(readText, saidText, d.label, pSetting->isExpand() ? "expandable string" : "string");
        }
    }
}

// --- inspection: every location, the winner, what it shadows and what is unusable ---------------

TEST_F(ProductPolicyTest, InspectionShowsEveryLocation)
{
    putStored(kPlaces[0], L"BackupCount", kNotDwordData[0]);
    putCount(kPlaces[1], 202);
    putCount(kPlaces[3], 808);
    CKSLPolicyInspection<unsigned long> inspection;
    ASSERT_TRUE(policy().inspectPolicy(kCountID, inspection));
    EXPECT_EQ(1L, inspection.lWinner);
    EXPECT_EQ(202UL, inspection.value);

    const struct {
        KSLPolicyFindingState state;
        DWORD dwType;
        DWORD dwBytes;
        unsigned long ulValue;
    } expected[] = {{pfsUnusable, REG_SZ, 4, 0},   {pfsFound, REG_DWORD, 4, 202}, {pfsMissing, REG_NONE, 0, 0},
                    {pfsFound, REG_DWORD, 4, 808}, {pfsMissing, REG_NONE, 0, 0},  {pfsMissing, REG_NONE, 0, 0}};
    ASSERT_EQ(6UL, inspection.findings.getCount());
    const CKSLNode<CKSLPolicyFinding<unsigned long>>* pNode = inspection.findings.getFirstNode();
    for (unsigned long i = 0; i < 6; ++i, pNode = pNode->getNext()) {
        const CKSLPolicyFinding<unsigned long>& f = pNode->getPayload();
        EXPECT_EQ(1UL << i, f.ulLocation) << i;
        EXPECT_EQ(kPlaces[i].hRoot, f.hHive) << i;
        EXPECT_EQ(kPlaces[i].key, w(f.szKey)) << i;
        EXPECT_EQ(expected[i].state, f.state) << i;
        EXPECT_EQ(expected[i].dwType, f.dwType) << i;
        EXPECT_EQ(expected[i].dwBytes, f.dwBytes) << i;
        EXPECT_EQ(expected[i].ulValue, f.value) << i;
    }

    // Nothing usable: the default is in force, the unusable value still shows.
    ASSERT_TRUE(deleteRegValue(kPlaces[1].hRoot, kPlaces[1].key, L"BackupCount"));
    ASSERT_TRUE(deleteRegValue(kPlaces[3].hRoot, kPlaces[3].key, L"BackupCount"));
    ASSERT_TRUE(policy().inspectPolicy(kCountID, inspection));
    EXPECT_EQ(-1L, inspection.lWinner);
    EXPECT_EQ(7UL, inspection.value);
    EXPECT_EQ(pfsUnusable, inspection.findings.getFirstNode()->getPayload().state);

    EXPECT_FALSE(policy().inspectPolicy(52, inspection));
    EXPECT_EQ(1U, logCount(L"Could not find policy setting with ID ( 52 )"));
}

TEST_F(ProductPolicyTest, SettingIDsInOrderAndClearRemovesOneLocation)
{
    CKSLPolicyIDList ids;
    ASSERT_TRUE(policy().getDwordSettingIDs(ids));
    ASSERT_EQ(1UL, ids.getCount());
    EXPECT_EQ(kCountID, ids.getFirstNode()->getPayload());
    ASSERT_TRUE(policy().getStringSettingIDs(ids));
    ASSERT_EQ(1UL, ids.getCount());
    EXPECT_EQ(141L, ids.getFirstNode()->getPayload());

    CKSLPolicyDwordSetting setting = countSetting();
    EXPECT_FALSE(setting.clearPolicy(2, L"")) << "no key there";
    putCount(kPlaces[1], 202);
    putCount(kPlaces[4], 16);
    EXPECT_TRUE(setting.clearPolicy(2, L""));
    EXPECT_TRUE(setting.clearPolicy(2, L"")) << "a value that is gone counts as removed";
    EXPECT_TRUE(regKeyExists(kPlaces[1].hRoot, kPlaces[1].key)) << "the key stays";
    unsigned long ulValue = 0;
    EXPECT_TRUE(policy().getPolicy(kCountID, ulValue, true, L""));
    EXPECT_EQ(16UL, ulValue);
}

} // namespace
