#include "policy_templates.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <set>
#include <vector>

namespace skpolicy {

namespace {

const wchar_t kEol[] = L"\r\n";
const wchar_t kNamespace[] = L"http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions";
const wchar_t kSupported[] = L"SUPPORTED_Version4";
// The product reads at most this many characters of a text value.
const unsigned kMaxTextChars = 259;

struct TemplateSetting {
    long lID = 0;
    bool bString = false;
    std::wstring keyPath;
    std::wstring valueName;
    std::wstring defaultText;   // as the explain text shows it
    std::wstring defaultString; // a string setting's default itself
    unsigned long ulDefault = 0;
};

std::wstring escaped(const std::wstring& text)
{
    static const struct {
        wchar_t c;
        const wchar_t* wcsEntity;
    } kEntities[] = {{L'&', L"&amp;"}, {L'<', L"&lt;"}, {L'>', L"&gt;"}, {L'"', L"&quot;"}};
    std::wstring out;
    for (wchar_t c : text) {
        const wchar_t* wcsEntity = nullptr;
        for (const auto& e : kEntities)
            if (e.c == c)
                wcsEntity = e.wcsEntity;
        if (wcsEntity != nullptr)
            out += wcsEntity;
        else
            out += c;
    }
    return out;
}

// Letters and digits kept, everything else an underscore: "Settings\User Interface" gives
// "Settings_User_Interface".
std::wstring identifier(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text)
        out += (c < 0x80 && std::iswalnum(c)) ? c : L'_';
    return out;
}

template <class TSetting>
bool collect(CKSLProductPolicy& policy, const CKSLPolicyIDList& ids, std::vector<TemplateSetting>& settings)
{
    for (auto pNode = ids.getFirstNode(); pNode != nullptr; pNode = pNode->getNext()) {
        TSetting setting;
        if (!policy.getPolicySetting(pNode->getPayload(), setting))
            return false;
        TemplateSetting s;
        s.lID = setting.getID();
        s.keyPath = setting.getKeyPath().getString();
        s.valueName = setting.getValueName().getString();
        if constexpr (std::is_same<TSetting, CKSLPolicyStringSetting>::value) {
            s.bString = true;
            const std::wstring text = setting.getDefault().getString();
            s.defaultString = text;
            s.defaultText = text.empty() ? L"empty" : L"\"" + text + L"\"";
        } else {
            s.ulDefault = setting.getDefault();
            s.defaultText = std::to_wstring(s.ulDefault);
        }
        settings.push_back(s);
    }
    return true;
}

// The category tree: one category per key path and per leading part of one, below the
// product's own; names are made unique in the order the paths first appear.
class Categories {
public:
    explicit Categories(const std::wstring& product) : m_root(L"Cat_" + identifier(product)), m_product(product) {}

    // The category of a key path, adding it and its parents when new.
    std::wstring of(const std::wstring& keyPath)
    {
        if (keyPath.empty())
            return m_root;
        const auto known = m_byPath.find(keyPath);
        if (known != m_byPath.end())
            return known->second;
        const size_t slash = keyPath.find_last_of(L'\\');
        const std::wstring parent = of(slash == std::wstring::npos ? std::wstring() : keyPath.substr(0, slash));
        std::wstring name = m_root + L"_" + identifier(keyPath);
        while (m_used.count(name) != 0)
            name += L"_";
        m_used.insert(name);
        m_byPath[keyPath] = name;
        m_order.push_back({name, slash == std::wstring::npos ? keyPath : keyPath.substr(slash + 1), parent});
        return name;
    }

    std::wstring admx() const
    {
        std::wstring out = L"  <categories>" + std::wstring(kEol);
        out += L"    <category name=\"" + m_root + L"\" displayName=\"$(string." + m_root + L")\" />" + kEol;
        for (const Entry& e : m_order)
            out += L"    <category name=\"" + e.name + L"\" displayName=\"$(string." + e.name + L")\">" + kEol +
                   L"      <parentCategory ref=\"" + e.parent + L"\" />" + kEol + L"    </category>" + kEol;
        return out + L"  </categories>" + kEol;
    }

    std::wstring strings() const
    {
        std::wstring out = L"      <string id=\"" + m_root + L"\">" + escaped(m_product) + L"</string>" + kEol;
        for (const Entry& e : m_order)
            out += L"      <string id=\"" + e.name + L"\">" + escaped(e.display) + L"</string>" + kEol;
        return out;
    }

private:
    struct Entry {
        std::wstring name;
        std::wstring display;
        std::wstring parent;
    };
    std::wstring m_root;
    std::wstring m_product;
    std::map<std::wstring, std::wstring> m_byPath;
    std::set<std::wstring> m_used;
    std::vector<Entry> m_order;
};

std::wstring policyName(const TemplateSetting& s)
{
    return L"Setting" + std::to_wstring(s.lID);
}

// One policy element: the Both policy, or with bDefaults the machine "User Defaults" one.
std::wstring policyAdmx(const TemplateSetting& s, const std::wstring& policyKey, const std::wstring& category,
                        bool bDefaults)
{
    const std::wstring name = policyName(s) + (bDefaults ? L"_UserDefaults" : L"");
    const std::wstring key =
        policyKey + (bDefaults ? L"\\User Defaults" : L"") + (s.keyPath.empty() ? L"" : L"\\" + s.keyPath);
    std::wstring out = L"    <policy name=\"" + name + L"\" class=\"" + (bDefaults ? L"Machine" : L"Both") +
                       L"\" displayName=\"$(string." + name + L")\" explainText=\"$(string." + name +
                       L"_Help)\" presentation=\"$(presentation." + policyName(s) + L")\" key=\"" + escaped(key) +
                       L"\">" + kEol;
    out += L"      <parentCategory ref=\"" + category + L"\" />" + kEol;
    out += L"      <supportedOn ref=\"" + std::wstring(kSupported) + L"\" />" + kEol;
    out += L"      <elements>" + std::wstring(kEol);
    if (s.bString)
        out += L"        <text id=\"Value\" valueName=\"" + escaped(s.valueName) + L"\" maxLength=\"" +
               std::to_wstring(kMaxTextChars) + L"\" />" + kEol;
    else
        out += L"        <decimal id=\"Value\" valueName=\"" + escaped(s.valueName) +
               L"\" minValue=\"0\" maxValue=\"4294967295\" />" + kEol;
    out += L"      </elements>" + std::wstring(kEol) + L"    </policy>" + kEol;
    return out;
}

std::wstring policyStrings(const TemplateSetting& s, const std::wstring& policyKey)
{
    const std::wstring name = policyName(s);
    const std::wstring below = s.keyPath.empty() ? L"" : L"\\" + s.keyPath;
    const std::wstring what = std::wstring(s.bString ? L"The text value \"" : L"The DWORD value \"") + s.valueName +
                              L"\" (setting " + std::to_wstring(s.lID) + L")";
    const std::wstring fallback = L"When it is not configured, the next location in the search order decides; "
                                  L"with no value anywhere the default applies: " +
                                  s.defaultText + L".";
    std::wstring out;
    out += L"      <string id=\"" + name + L"\">" + escaped(s.valueName) + L"</string>" + kEol;
    out += L"      <string id=\"" + name + L"_Help\">" +
           escaped(what + L" in " + policyKey + below +
                   L", under HKEY_LOCAL_MACHINE as a computer policy and under HKEY_CURRENT_USER as a user "
                   L"policy. A computer policy wins over a user policy, and both over the User Defaults policy "
                   L"and the product's own settings. " +
                   fallback) +
           L"</string>" + kEol;
    out += L"      <string id=\"" + name + L"_UserDefaults\">" + escaped(s.valueName) + L" (User Defaults)</string>" +
           kEol;
    out += L"      <string id=\"" + name + L"_UserDefaults_Help\">" +
           escaped(what + L" in HKEY_LOCAL_MACHINE\\" + policyKey + L"\\User Defaults" + below +
                   L": the value for every user of this computer that neither a computer nor a user policy sets. "
                   L"It wins over the product's own settings. " +
                   fallback) +
           L"</string>" + kEol;
    return out;
}

std::wstring presentation(const TemplateSetting& s)
{
    std::wstring out = L"      <presentation id=\"" + policyName(s) + L"\">" + kEol;
    if (s.bString)
        out += L"        <textBox refId=\"Value\">" + std::wstring(kEol) + L"          <label>" + escaped(s.valueName) +
               L"</label>" + kEol +
               (s.defaultString.empty()
                    ? std::wstring()
                    : L"          <defaultValue>" + escaped(s.defaultString) + L"</defaultValue>" + kEol) +
               L"        </textBox>" + kEol;
    else
        out += L"        <decimalTextBox refId=\"Value\" defaultValue=\"" + std::to_wstring(s.ulDefault) + L"\">" +
               escaped(s.valueName) + L"</decimalTextBox>" + kEol;
    return out + L"      </presentation>" + kEol;
}

std::wstring header(const wchar_t* wcsRoot)
{
    return std::wstring(L"<?xml version=\"1.0\" encoding=\"utf-8\"?>") + kEol + L"<" + wcsRoot +
           L" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
           L" revision=\"1.0\" schemaVersion=\"1.0\" xmlns=\"" +
           kNamespace + L"\">" + kEol;
}

} // namespace

bool buildTemplates(CKSLProductPolicy& policy, const std::wstring& vendor, const std::wstring& product,
                    Templates& templates)
{
    CKSLPolicyIDList dwordIDs;
    CKSLPolicyIDList stringIDs;
    std::vector<TemplateSetting> settings;
    if (!policy.getDwordSettingIDs(dwordIDs) || !policy.getStringSettingIDs(stringIDs) ||
        !collect<CKSLPolicyDwordSetting>(policy, dwordIDs, settings) ||
        !collect<CKSLPolicyStringSetting>(policy, stringIDs, settings))
        return false;
    std::stable_sort(settings.begin(), settings.end(), [](const TemplateSetting& a, const TemplateSetting& b) {
        return a.lID < b.lID;
    });

    const std::wstring policyKey = L"Software\\Policies\\" + vendor + L"\\" + product;
    Categories categories(product);
    std::wstring policies;
    std::wstring strings;
    std::wstring presentations;
    for (const TemplateSetting& s : settings) {
        const std::wstring category = categories.of(s.keyPath);
        policies += policyAdmx(s, policyKey, category, false) + policyAdmx(s, policyKey, category, true);
        strings += policyStrings(s, policyKey);
        presentations += presentation(s);
    }

    const std::wstring prefix = identifier(vendor) + L"." + identifier(product);
    templates.admx = header(L"policyDefinitions") + L"  <policyNamespaces>" + kEol + L"    <target prefix=\"" +
                     identifier(product) + L"\" namespace=\"" + prefix + L".Policies\" />" + kEol +
                     L"  </policyNamespaces>" + kEol + L"  <resources minRequiredRevision=\"1.0\" />" + kEol +
                     L"  <supportedOn>" + kEol + L"    <definitions>" + kEol + L"      <definition name=\"" +
                     kSupported + L"\" displayName=\"$(string." + kSupported + L")\" />" + kEol +
                     L"    </definitions>" + kEol + L"  </supportedOn>" + kEol + categories.admx() + L"  <policies>" +
                     kEol + policies + L"  </policies>" + kEol + L"</policyDefinitions>" + kEol;
    templates.adml = header(L"policyDefinitionResources") + L"  <displayName>" + escaped(product) + L"</displayName>" +
                     kEol + L"  <description>" + escaped(product) + L" settings of " + escaped(vendor) +
                     L"</description>" + kEol + L"  <resources>" + kEol + L"    <stringTable>" + kEol +
                     L"      <string id=\"" + kSupported + L"\">" + escaped(product) + L" 4.0 and later</string>" +
                     kEol + categories.strings() + strings + L"    </stringTable>" + kEol + L"    <presentationTable>" +
                     kEol + presentations + L"    </presentationTable>" + kEol + L"  </resources>" + kEol +
                     L"</policyDefinitionResources>" + kEol;
    return true;
}

} // namespace skpolicy
