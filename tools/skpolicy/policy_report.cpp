#include "policy_report.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace skpolicy {

const LocationName kLocationNames[6] = {
    {KSL_POLICY_HKLM_POLICY, L"machine-policy"},
    {KSL_POLICY_HKCU_POLICY, L"user-policy"},
    {KSL_POLICY_HKLM_POLICY_USER_DEFAULTS, L"policy-user-defaults"},
    {KSL_POLICY_HKLM_PRODUCT, L"machine-product"},
    {KSL_POLICY_HKCU_PRODUCT, L"user-product"},
    {KSL_POLICY_HKLM_PRODUCT_USER_DEFAULTS, L"product-user-defaults"},
};

std::wstring locationName(unsigned long ulCode)
{
    for (const LocationName& l : kLocationNames)
        if (l.ulCode == ulCode)
            return l.wcsName;
    return std::wstring();
}

unsigned long locationCode(const std::wstring& name)
{
    for (const LocationName& l : kLocationNames)
        if (name == l.wcsName)
            return l.ulCode;
    return 0;
}

std::wstring registryPath(HKEY hHive, const CKSLWCharString& szKey)
{
    const wchar_t* wcsHive = hHive == HKEY_CURRENT_USER ? L"HKEY_CURRENT_USER" : L"HKEY_LOCAL_MACHINE";
    return std::wstring(wcsHive) + L"\\" + szKey.getString();
}

std::wstring registryTypeName(unsigned long ulType)
{
    static const wchar_t* const kNames[] = {L"REG_NONE",
                                            L"REG_SZ",
                                            L"REG_EXPAND_SZ",
                                            L"REG_BINARY",
                                            L"REG_DWORD",
                                            L"REG_DWORD_BIG_ENDIAN",
                                            L"REG_LINK",
                                            L"REG_MULTI_SZ",
                                            L"REG_RESOURCE_LIST",
                                            L"REG_FULL_RESOURCE_DESCRIPTOR",
                                            L"REG_RESOURCE_REQUIREMENTS_LIST",
                                            L"REG_QWORD"};
    if (ulType < sizeof kNames / sizeof kNames[0])
        return kNames[ulType];
    return L"type " + std::to_wstring(ulType);
}

namespace {

std::wstring lowered(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring settingPath(const std::wstring& keyPath, const std::wstring& valueName)
{
    return keyPath.empty() ? valueName : keyPath + L"\\" + valueName;
}

Value valueOf(unsigned long ulNumber)
{
    Value value;
    value.ulNumber = ulNumber;
    return value;
}
Value valueOf(const CKSLWCharString& szText)
{
    Value value;
    value.text = szText.getString();
    return value;
}

// How the text report prints a value: a number, or the text in quotes.
std::wstring shown(const SettingReport& row, const Value& value)
{
    if (row.bHidden)
        return L"(not shown)";
    return row.bString ? L"\"" + value.text + L"\"" : std::to_wstring(value.ulNumber);
}

// The inspection after the overlay's changes, with the value in force chosen anew as a lookup
// chooses it: the first location in search order with a usable value, else the default.
template <class TSetting, class TValue>
bool overlaid(const ReportOverlay& overlay, const TSetting& setting, CKSLPolicyInspection<TValue>& inspection)
{
    inspection.lWinner = -1;
    inspection.value = setting.getDefault();
    long lIndex = 0;
    for (bool bAt = inspection.findings.moveFirst(); bAt; bAt = inspection.findings.moveNext(), ++lIndex) {
        CKSLPolicyFinding<TValue> finding;
        if (!inspection.findings.getCurrent(finding))
            return false;
        overlay.apply(setting, finding);
        if (!inspection.findings.setCurrent(finding))
            return false;
        if (finding.state == pfsFound && inspection.lWinner < 0) {
            inspection.lWinner = lIndex;
            inspection.value = finding.value;
        }
    }
    return true;
}

template <class TSetting, class TValue>
bool addRow(CKSLProductPolicy& policy, long lID, const Selection& selection, std::vector<SettingReport>& rows,
            const ReportOverlay* pOverlay)
{
    TSetting setting;
    if (!policy.getPolicySetting(lID, setting))
        return false;
    SettingReport row;
    row.lID = lID;
    row.bString = std::is_same<TValue, CKSLWCharString>::value;
    row.keyPath = setting.getKeyPath().getString();
    row.valueName = setting.getValueName().getString();
    if (!selection.matches(lID, settingPath(row.keyPath, row.valueName)))
        return true;
    row.bHidden = std::find(selection.secretNames.begin(), selection.secretNames.end(), row.valueName) !=
                  selection.secretNames.end();
    row.defaultValue = valueOf(setting.getDefault());

    CKSLPolicyInspection<TValue> inspection;
    if (!policy.inspectPolicy(lID, inspection))
        return false;
    if (pOverlay != nullptr && !overlaid(*pOverlay, setting, inspection))
        return false;
    row.value = valueOf(inspection.value);
    long lIndex = 0;
    for (auto pNode = inspection.findings.getFirstNode(); pNode != nullptr; pNode = pNode->getNext(), ++lIndex) {
        const CKSLPolicyFinding<TValue>& finding = pNode->getPayload();
        if (finding.state == pfsMissing)
            continue;
        if (lIndex == inspection.lWinner)
            row.nSource = static_cast<int>(row.holdings.size());
        Holding holding;
        holding.location = locationName(finding.ulLocation);
        holding.path = registryPath(finding.hHive, finding.szKey);
        holding.state = finding.state;
        holding.type = registryTypeName(finding.dwType);
        holding.ulBytes = finding.dwBytes;
        if (finding.state == pfsFound)
            holding.value = valueOf(finding.value);
        row.holdings.push_back(holding);
    }
    rows.push_back(row);
    return true;
}

template <class TSetting, class TValue>
bool addRows(CKSLProductPolicy& policy, const CKSLPolicyIDList& ids, const Selection& selection,
             std::vector<SettingReport>& rows, const ReportOverlay* pOverlay)
{
    for (auto pNode = ids.getFirstNode(); pNode != nullptr; pNode = pNode->getNext())
        if (!addRow<TSetting, TValue>(policy, pNode->getPayload(), selection, rows, pOverlay))
            return false;
    return true;
}

// Text for a JSON string: quotes, backslashes and control characters escaped.
std::wstring jsonText(const std::wstring& text)
{
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += L'\\';
            out += c;
        } else if (c < 0x20) {
            wchar_t wcsEscape[8];
            std::swprintf(wcsEscape, 8, L"\\u%04x", static_cast<unsigned>(c));
            out += wcsEscape;
        } else {
            out += c;
        }
    }
    return out + L"\"";
}

std::wstring jsonValue(const SettingReport& row, const Value& value)
{
    if (row.bHidden)
        return L"null";
    return row.bString ? jsonText(value.text) : std::to_wstring(value.ulNumber);
}

// Whether a holding shows: the one in force, every unusable one, and with bAll the shadowed ones.
bool isShown(const SettingReport& row, size_t i, bool bAll)
{
    return static_cast<int>(i) == row.nSource || row.holdings[i].state == pfsUnusable || bAll;
}

std::wstring holdingRole(const SettingReport& row, size_t i)
{
    if (static_cast<int>(i) == row.nSource)
        return L"source";
    return row.holdings[i].state == pfsUnusable ? L"unusable" : L"shadowed";
}

std::wstring padded(std::wstring text, size_t width)
{
    if (text.size() < width)
        text.append(width - text.size(), L' ');
    return text;
}

} // namespace

bool Selection::matches(long lID, const std::wstring& path) const
{
    if (!ids.empty() && std::find(ids.begin(), ids.end(), lID) == ids.end())
        return false;
    return name.empty() || lowered(path).find(lowered(name)) != std::wstring::npos;
}

bool buildReport(CKSLProductPolicy& policy, const Selection& selection, std::vector<SettingReport>& rows,
                 const ReportOverlay* pOverlay)
{
    rows.clear();
    CKSLPolicyIDList dwordIDs;
    CKSLPolicyIDList stringIDs;
    if (!policy.getDwordSettingIDs(dwordIDs) || !policy.getStringSettingIDs(stringIDs))
        return false;
    if (!addRows<CKSLPolicyDwordSetting, unsigned long>(policy, dwordIDs, selection, rows, pOverlay) ||
        !addRows<CKSLPolicyStringSetting, CKSLWCharString>(policy, stringIDs, selection, rows, pOverlay))
        return false;
    std::stable_sort(rows.begin(), rows.end(), [](const SettingReport& a, const SettingReport& b) {
        return a.lID < b.lID;
    });
    return true;
}

std::wstring reportText(const std::wstring& title, const std::vector<SettingReport>& rows, bool bAll)
{
    std::wstring out = title + L": " + std::to_wstring(rows.size()) + (rows.size() == 1 ? L" setting" : L" settings") +
                       L"; the first location in search order with a usable value wins, else the "
                       L"default.\n";
    for (const SettingReport& row : rows) {
        out += L"\n" + padded(std::to_wstring(row.lID), 4) + L" " + settingPath(row.keyPath, row.valueName) +
               (row.bString ? L" (string) = " : L" (DWORD) = ") + shown(row, row.value) + L"\n";
        if (row.nSource < 0)
            out += L"     source    default\n";
        for (size_t i = 0; i < row.holdings.size(); ++i) {
            if (!isShown(row, i, bAll))
                continue;
            const Holding& h = row.holdings[i];
            out += L"     " + padded(holdingRole(row, i), 10) + padded(h.location, 22) + h.path;
            if (h.state == pfsUnusable)
                out += L" (" + h.type + L", " + std::to_wstring(h.ulBytes) + L" bytes: not used)";
            else if (static_cast<int>(i) != row.nSource)
                out += L" = " + shown(row, h.value);
            out += L"\n";
        }
    }
    return out;
}

std::wstring reportJson(const std::wstring& product, const std::vector<SettingReport>& rows, bool bAll)
{
    std::wstring out = L"{\n  \"product\": " + jsonText(product) + L",\n  \"settings\": [";
    for (size_t r = 0; r < rows.size(); ++r) {
        const SettingReport& row = rows[r];
        const bool bDefault = row.nSource < 0;
        out += std::wstring(r == 0 ? L"" : L",") + L"\n    {\"id\": " + std::to_wstring(row.lID) + L", \"type\": " +
               (row.bString ? L"\"string\"" : L"\"dword\"") + L", \"keyPath\": " + jsonText(row.keyPath) +
               L", \"valueName\": " + jsonText(row.valueName) + (row.bHidden ? L", \"hidden\": true" : L"") +
               L",\n     \"value\": " + jsonValue(row, row.value) + L", \"default\": " +
               jsonValue(row, row.defaultValue) + L", \"source\": " +
               jsonText(bDefault ? L"default" : row.holdings[row.nSource].location) + L", \"sourcePath\": " +
               (bDefault ? L"null" : jsonText(row.holdings[row.nSource].path)) + L",\n     \"locations\": [";
        bool bFirst = true;
        for (size_t i = 0; i < row.holdings.size(); ++i) {
            if (!isShown(row, i, bAll))
                continue;
            const Holding& h = row.holdings[i];
            out += std::wstring(bFirst ? L"" : L",") + L"\n       {\"role\": " + jsonText(holdingRole(row, i)) +
                   L", \"location\": " + jsonText(h.location) + L", \"path\": " + jsonText(h.path) +
                   L", \"registryType\": " + jsonText(h.type) + L", \"bytes\": " + std::to_wstring(h.ulBytes);
            if (h.state == pfsFound)
                out += L", \"value\": " + jsonValue(row, h.value);
            out += L"}";
            bFirst = false;
        }
        out += std::wstring(bFirst ? L"" : L"\n     ") + L"]}";
    }
    return out + L"\n  ]\n}\n";
}

} // namespace skpolicy
