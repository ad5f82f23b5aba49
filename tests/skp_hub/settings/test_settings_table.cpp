// Safekeep's settings vocabulary, checked row by row against the listing the product documents
// (safekeep_settings.tsv beside this test): every setting's number, form, key path, value name,
// default, version and the six places it is looked for, as the product policy built from the
// table holds them. A changed default or a misspelled name in one row would otherwise pass every
// other test, and skpolicy's templates would carry it to every administrator.
#include <windows.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "scratch_registry.h"
#include "sk_product_policy.h"
#include "test_paths.h"

namespace {

struct ListedSetting {
    long lID;
    std::string type; // "DWORD" or "SZ"
    std::wstring keyPath, valueName, defaultValue, version;
    std::vector<unsigned long> locations;
};

std::wstring widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end()); // the listing is ASCII
}

std::vector<std::string> fields(const std::string& line)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
        parts.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    parts.push_back(line.substr(start));
    return parts;
}

std::vector<ListedSetting> readListing()
{
    std::vector<ListedSetting> listed;
    std::istringstream text(readFileBytes(testSourceDir() + L"skp_hub\\settings\\safekeep_settings.tsv"));
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const std::vector<std::string> f = fields(line);
        EXPECT_EQ(7u, f.size()) << line;
        if (f.size() != 7)
            continue;
        ListedSetting setting{std::stol(f[0]), f[1], widen(f[2]), widen(f[3]), widen(f[4]), widen(f[5]), {}};
        std::istringstream codes(f[6]);
        for (unsigned long ulCode = 0; codes >> ulCode;)
            setting.locations.push_back(ulCode);
        listed.push_back(setting);
    }
    return listed;
}

// The places a setting with key path K is looked for, as the product documents its locations.
std::wstring documentedLocation(unsigned long ulCode, const std::wstring& keyPath)
{
    const wchar_t* wcsBase = ulCode == 1    ? L"HKEY_LOCAL_MACHINE\\Software\\Policies\\Tessil\\Safekeep"
                             : ulCode == 2  ? L"HKEY_CURRENT_USER\\Software\\Policies\\Tessil\\Safekeep"
                             : ulCode == 4  ? L"HKEY_LOCAL_MACHINE\\Software\\Policies\\Tessil\\Safekeep\\User Defaults"
                             : ulCode == 8  ? L"HKEY_LOCAL_MACHINE\\Software\\Tessil\\Safekeep"
                             : ulCode == 16 ? L"HKEY_CURRENT_USER\\Software\\Tessil\\Safekeep"
                             : ulCode == 32 ? L"HKEY_LOCAL_MACHINE\\Software\\Tessil\\Safekeep\\User Defaults"
                                            : L"?";
    return keyPath.empty() ? wcsBase : std::wstring(wcsBase) + L"\\" + keyPath;
}

std::wstring hiveName(HKEY hHive)
{
    return hHive == HKEY_LOCAL_MACHINE ? L"HKEY_LOCAL_MACHINE" : hHive == HKEY_CURRENT_USER ? L"HKEY_CURRENT_USER" : L"?";
}

// Where each finding of a lookup looked, in search order.
template <class T>
std::vector<std::wstring> lookedAt(const CKSLPolicyInspection<T>& inspection)
{
    std::vector<std::wstring> places;
    for (const auto* p = inspection.findings.getFirstNode(); p != nullptr; p = p->getNext())
        places.push_back(hiveName(p->getPayload().hHive) + L"\\" + p->getPayload().szKey.getString());
    return places;
}

std::vector<long> ids(const CKSLPolicyIDList& list)
{
    std::vector<long> out;
    for (const auto* p = list.getFirstNode(); p != nullptr; p = p->getNext())
        out.push_back(p->getPayload());
    return out;
}

// A value as the listing writes it.
std::wstring listed(unsigned long ulValue)
{
    return std::to_wstring(ulValue);
}
std::wstring listed(const CKSLWCharString& szValue)
{
    return szValue.getString();
}

using SettingsTableTest = ScratchRegistryTest; // an empty registry: every lookup ends at the default

template <class TSetting, class TValue>
void checkRow(CSKProductPolicy& policy, const ListedSetting& listed, const std::wstring& listedDefault)
{
    TSetting setting;
    ASSERT_TRUE(policy.getPolicySetting(listed.lID, setting)) << listed.lID;
    EXPECT_EQ(listed.keyPath, setting.getKeyPath().getString()) << listed.lID;
    EXPECT_EQ(listed.valueName, setting.getValueName().getString()) << listed.lID;
    EXPECT_EQ(listed.version, setting.getVersion().getString()) << listed.lID;
    EXPECT_EQ(listedDefault, ::listed(setting.getDefault())) << listed.lID << ": the default";
    EXPECT_EQ(1, setting.getPolicySource()) << listed.lID << ": the registry";
    EXPECT_EQ(L"Tessil", std::wstring(setting.getVendorName().getString())) << listed.lID;
    EXPECT_EQ(L"Safekeep", std::wstring(setting.getProductName().getString())) << listed.lID;
    CKSLPolicyInspection<TValue> inspection;
    ASSERT_TRUE(policy.inspectPolicy(listed.lID, inspection)) << listed.lID;
    std::vector<std::wstring> expected;
    for (unsigned long ulCode : listed.locations)
        expected.push_back(documentedLocation(ulCode, listed.keyPath));
    EXPECT_EQ(expected, lookedAt(inspection)) << listed.lID;
    EXPECT_EQ(-1, inspection.lWinner) << listed.lID << ": nothing is set";
    EXPECT_EQ(listedDefault, ::listed(inspection.value)) << listed.lID << ": the value without any set";
}

TEST_F(SettingsTableTest, EverySettingIsAsTheProductDocumentsIt)
{
    const std::vector<ListedSetting> listed = readListing();
    ASSERT_EQ(152u, listed.size());
    CSKProductPolicy policy;
    std::vector<long> dwordIds, stringIds;
    for (const ListedSetting& setting : listed) {
        if (setting.type == "DWORD") {
            dwordIds.push_back(setting.lID);
            checkRow<CKSLPolicyDwordSetting, unsigned long>(policy, setting, setting.defaultValue);
        } else {
            ASSERT_EQ("SZ", setting.type) << setting.lID;
            stringIds.push_back(setting.lID);
            checkRow<CKSLPolicyStringSetting, CKSLWCharString>(policy, setting, setting.defaultValue);
        }
    }
    CKSLPolicyIDList dwordList, stringList;
    ASSERT_TRUE(policy.getDwordSettingIDs(dwordList));
    ASSERT_TRUE(policy.getStringSettingIDs(stringList));
    EXPECT_EQ(dwordIds, ids(dwordList)) << "no setting more, none missing, in the listing's order";
    EXPECT_EQ(stringIds, ids(stringList));
    EXPECT_EQ(129u, dwordIds.size());
    EXPECT_EQ(23u, stringIds.size());
}

} // namespace
