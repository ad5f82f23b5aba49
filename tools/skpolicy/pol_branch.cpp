#include "pol_branch.h"

#include <algorithm>
#include <cwchar>

#include "ksl_product_skp.h"
#include "ksl_registry_binary.h"

namespace skpolicy {

namespace {

// The value names that are instructions: delete one value, delete every value of the key; "**" is
// how every instruction begins.
const wchar_t kDelPrefix[] = L"**del.";
const wchar_t kDelValsName[] = L"**delvals.";
const wchar_t kInstructionPrefix[] = L"**";

// Names in the registry compare without regard to case.
bool sameName(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() &&
           CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
               CSTR_EQUAL;
}
bool startsWith(const std::wstring& text, const std::wstring& prefix)
{
    return text.size() >= prefix.size() && sameName(text.substr(0, prefix.size()), prefix);
}

// The key of the policy branch below its hive: "Software\Policies\Tessil\Safekeep".
std::wstring branchKey()
{
    CKSLProduct_SKP product;
    CKSLWCharString szBranch;
    ksl_policy::buildLocation(KSL_POLICY_HKLM_POLICY, product.getVendorName(), product.getProductName(),
                              CKSLWCharString(), CKSLWCharString(), szBranch);
    return szBranch.getString();
}

// A value written with exactly the type and bytes a policy file gives, through the library's
// value frame (the key opened with write access, created when missing, closed again; a refused
// write logged). It is never read.
class PolValueWriter : public CKSLRegistryValueBase {
public:
    PolValueWriter(HKEY hHive, const std::wstring& key, const std::wstring& valueName)
        : CKSLRegistryValueBase(hHive, key.c_str(), valueName.c_str(), KSL_KEY_WRITE_ACCESS, true, 0)
    {
    }
    bool write(DWORD dwType, const std::vector<BYTE>& data)
    {
        return writeValue(dwType, data.empty() ? nullptr : data.data(), static_cast<DWORD>(data.size()),
                          L"PolValueWriter");
    }
    bool readRegistry() override { return false; }
    bool writeRegistry() override { return false; }
};

std::wstring quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

// Every setting of one form as (ID, setting), for the export's walk in ID order.
template <class TSetting>
bool collectSettings(CKSLProductPolicy& policy, const CKSLPolicyIDList& ids, std::vector<std::pair<long, TSetting>>& out)
{
    for (auto pNode = ids.getFirstNode(); pNode != nullptr; pNode = pNode->getNext()) {
        TSetting setting;
        if (!policy.getPolicySetting(pNode->getPayload(), setting))
            return false;
        out.emplace_back(pNode->getPayload(), setting);
    }
    return true;
}

// The value of one setting at one location into the file; a value no import takes into notes.
template <class TSetting>
bool exportValue(TSetting& setting, unsigned long ulLocation, RegistryPolFile& file, std::wstring& notes,
                 std::wstring& err)
{
    const HKEY hHive = ksl_policy::locationHive(ulLocation);
    PolEntry entry;
    entry.key = setting.getValueLocation(ulLocation, CKSLWCharString()).getString();
    entry.valueName = setting.getValueName().getString();
    CKSLRegistryBinary value(hHive, entry.key.c_str(), entry.valueName.c_str(), KEY_READ, false, 0);
    CKSLByteBuffer bytes;
    if (!value.getValue(bytes, false)) {
        if (!value.isValuePresent())
            return true;
        err += L"skpolicy: cannot read " + registryPath(hHive, entry.key.c_str()) + L" " + quoted(entry.valueName) +
               L"\n";
        return false;
    }
    entry.dwType = value.getStoredType();
    entry.data.assign(bytes.getBuffer(), bytes.getBuffer() + bytes.getCount());
    // The library writes an empty text as no bytes at all; a policy file's text has its terminator.
    if (entry.data.empty() && ksl_policy::isStringData(entry.dwType))
        entry.data.assign(sizeof(wchar_t), 0);
    const std::wstring fault = valueFault(entry.dwType, entry.data);
    if (!fault.empty()) {
        notes += L"left out: " + registryPath(hHive, entry.key.c_str()) + L" " + quoted(entry.valueName) + L": " +
                 fault + L"\n";
        return true;
    }
    file.add(entry);
    return true;
}

// "the entry at byte 24, Software\Policies\... "Name"": how messages name an entry.
std::wstring atEntry(const PolEntry& entry)
{
    return L"the entry at byte " + std::to_wstring(entry.offset) + L", " + entry.key + L" " + quoted(entry.valueName);
}

} // namespace

bool polScopeFrom(const std::wstring& name, PolScope& scope)
{
    if (name == L"machine") {
        scope = {name, HKEY_LOCAL_MACHINE, {KSL_POLICY_HKLM_POLICY, KSL_POLICY_HKLM_POLICY_USER_DEFAULTS}};
        return true;
    }
    if (name == L"user") {
        scope = {name, HKEY_CURRENT_USER, {KSL_POLICY_HKCU_POLICY}};
        return true;
    }
    return false;
}

std::wstring valueFault(DWORD dwType, const std::vector<BYTE>& data)
{
    const std::wstring shown = registryTypeName(dwType) + L" of " + std::to_wstring(data.size()) + L" bytes";
    switch (dwType) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        if (data.size() < sizeof(wchar_t) || data.size() % sizeof(wchar_t) != 0 || data[data.size() - 1] != 0 ||
            data[data.size() - 2] != 0)
            return shown + L": a text without its terminator";
        for (size_t i = 0; i + sizeof(wchar_t) < data.size(); i += sizeof(wchar_t))
            if (data[i] == 0 && data[i + 1] == 0)
                return shown + L": a text with a NUL before its end";
        return std::wstring();
    }
    case REG_DWORD:
        return data.size() == sizeof(DWORD) ? std::wstring() : shown + L": the size does not match the data";
    case REG_BINARY:
        return data.size() >= 1 && data.size() <= sizeof(DWORD)
                   ? std::wstring()
                   : shown + L": a setting takes binary data of one to four bytes only";
    default:
        return shown + L": no setting takes this type";
    }
}

bool exportBranch(CKSLProductPolicy& policy, const PolScope& scope, RegistryPolFile& file, std::wstring& notes,
                  std::wstring& err)
{
    CKSLPolicyIDList dwordIDs;
    CKSLPolicyIDList stringIDs;
    std::vector<std::pair<long, CKSLPolicyDwordSetting>> dwords;
    std::vector<std::pair<long, CKSLPolicyStringSetting>> strings;
    if (!policy.getDwordSettingIDs(dwordIDs) || !policy.getStringSettingIDs(stringIDs) ||
        !collectSettings(policy, dwordIDs, dwords) || !collectSettings(policy, stringIDs, strings)) {
        err += L"skpolicy: the settings could not be read\n";
        return false;
    }
    std::vector<long> ids;
    for (const auto& d : dwords)
        ids.push_back(d.first);
    for (const auto& s : strings)
        ids.push_back(s.first);
    std::sort(ids.begin(), ids.end());
    for (unsigned long ulLocation : scope.locations) {
        for (long lID : ids) {
            auto d = std::find_if(dwords.begin(), dwords.end(), [&](const auto& p) { return p.first == lID; });
            auto s = std::find_if(strings.begin(), strings.end(), [&](const auto& p) { return p.first == lID; });
            const bool bDone = d != dwords.end() ? exportValue(d->second, ulLocation, file, notes, err)
                                                 : exportValue(s->second, ulLocation, file, notes, err);
            if (!bDone)
                return false;
        }
    }
    return true;
}

PolBranchPlan::PolBranchPlan(const PolScope& scope) : m_scope(scope), m_branch(branchKey()) {}

std::wstring PolBranchPlan::branchPath() const
{
    return registryPath(m_scope.hHive, m_branch.c_str());
}

bool PolBranchPlan::isInBranch(const std::wstring& key) const
{
    return startsWith(key, m_branch) && (key.size() == m_branch.size() || key[m_branch.size()] == L'\\');
}

PolBranchPlan::Action PolBranchPlan::actionOf(const PolEntry& entry, std::wstring& fault) const
{
    const std::wstring& name = entry.valueName;
    if (!isInBranch(entry.key))
        return {kOtherKey, entry, name};
    if (startsWith(name, kDelPrefix) && name.size() > std::wcslen(kDelPrefix))
        return {kDeleteValue, entry, name.substr(std::wcslen(kDelPrefix))};
    if (sameName(name, kDelValsName))
        return {kDeleteValues, entry, std::wstring()};
    if (startsWith(name, kInstructionPrefix))
        return {kUnhandled, entry, name};
    if (name.empty()) {
        if (!entry.data.empty())
            fault = L"data for the key's unnamed value, which is no setting";
        return {kCreateKey, entry, name};
    }
    fault = valueFault(entry.dwType, entry.data);
    return {kSetValue, entry, name};
}

bool PolBranchPlan::build(const RegistryPolFile& file, std::wstring& fault)
{
    m_actions.clear();
    std::vector<Action> actions;
    for (const PolEntry& entry : file.entries()) {
        std::wstring why;
        actions.push_back(actionOf(entry, why));
        if (!why.empty()) {
            fault = atEntry(entry) + L": " + why;
            return false;
        }
    }
    m_actions.swap(actions);
    return true;
}

bool PolBranchPlan::applyOne(const Action& action, std::wstring& out, std::wstring& err) const
{
    const HKEY hHive = m_scope.hHive;
    const std::wstring& key = action.entry.key;
    const std::wstring place = registryPath(hHive, key.c_str());
    bool bDone = true;
    switch (action.kind) {
    case kSetValue:
        bDone = PolValueWriter(hHive, key, action.valueName).write(action.entry.dwType, action.entry.data);
        out += L"set      " + place + L" " + quoted(action.valueName) + L" (" + registryTypeName(action.entry.dwType) +
               L", " + std::to_wstring(action.entry.data.size()) + L" bytes)\n";
        break;
    case kDeleteValue: {
        // A value of a key that is not there is deleted already.
        CKSLRegistryBinary value(hHive, key.c_str(), action.valueName.c_str(), KSL_KEY_WRITE_ACCESS, false, 0);
        bDone = !value.exists() || value.deleteValue();
        out += L"deleted  " + place + L" " + quoted(action.valueName) + L"\n";
        break;
    }
    case kDeleteValues: {
        CKSLRegistryKey keyObject(hHive, key.c_str(), KSL_KEY_WRITE_ACCESS, false, 0);
        CKSLWCharStringList names;
        if (keyObject.exists() && keyObject.enumValueNames(names))
            for (auto pNode = names.getFirstNode(); bDone && pNode != nullptr; pNode = pNode->getNext())
                bDone = CKSLRegistryBinary(hHive, key.c_str(), pNode->getPayload(), KSL_KEY_WRITE_ACCESS, false, 0)
                            .deleteValue();
        out += L"deleted  every value of " + place + L"\n";
        break;
    }
    case kCreateKey:
        bDone = CKSLRegistryKey(hHive, key.c_str(), KSL_KEY_WRITE_ACCESS, true, 0).create();
        out += L"created  " + place + L"\n";
        break;
    case kOtherKey:
    case kUnhandled:
        break;
    }
    if (!bDone)
        err += L"skpolicy: " + atEntry(action.entry) + L" could not be applied\n";
    return bDone;
}

bool PolBranchPlan::carryOut(std::wstring& out, std::wstring& err) const
{
    for (const Action& action : m_actions)
        if (!applyOne(action, out, err))
            return false;
    return true;
}

std::wstring PolBranchPlan::leftOut() const
{
    std::wstring out;
    for (const Action& action : m_actions) {
        const std::wstring at = atEntry(action.entry);
        if (action.kind == kOtherKey)
            out += L"not written: " + at + L": not below " + m_branch + L"\n";
        else if (action.kind == kUnhandled)
            out += L"not applied: " + at + L": an instruction skpolicy does not carry out\n";
    }
    return out;
}

size_t PolBranchPlan::count(Kind kind) const
{
    return static_cast<size_t>(
        std::count_if(m_actions.begin(), m_actions.end(), [kind](const Action& a) { return a.kind == kind; }));
}

template <class TSetting, class TValue>
void PolBranchPlan::overlay(const TSetting& setting, CKSLPolicyFinding<TValue>& finding) const
{
    if (finding.hHive != m_scope.hHive)
        return;
    const std::wstring key = finding.szKey.getString();
    const std::wstring name = setting.getValueName().getString();
    for (const Action& action : m_actions) {
        if (!sameName(action.entry.key, key))
            continue;
        const bool bThisValue = sameName(action.valueName, name);
        if (action.kind == kSetValue && bThisValue) {
            const std::vector<BYTE>& data = action.entry.data;
            setting.inspectData(action.entry.dwType, data.empty() ? nullptr : data.data(),
                                static_cast<DWORD>(data.size()), finding);
        } else if ((action.kind == kDeleteValue && bThisValue) || action.kind == kDeleteValues) {
            finding.state = pfsMissing;
            finding.dwType = REG_NONE;
            finding.dwBytes = 0;
            finding.value = TValue();
        }
    }
}

void PolBranchPlan::apply(const CKSLPolicyDwordSetting& setting, CKSLPolicyFinding<unsigned long>& finding) const
{
    overlay(setting, finding);
}

void PolBranchPlan::apply(const CKSLPolicyStringSetting& setting, CKSLPolicyFinding<CKSLWCharString>& finding) const
{
    overlay(setting, finding);
}

} // namespace skpolicy
