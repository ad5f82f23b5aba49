// The settings report of skpolicy: for each setting the value in force and where it comes from,
// read through the product policy's own inspection (the same reads the plug-in's lookups make).
#pragma once

#include <string>
#include <vector>

#include "ksl_product_policy.h"

namespace skpolicy {

// The six locations of the search order by the names the command line and the report use.
struct LocationName {
    unsigned long ulCode;
    const wchar_t* wcsName;
};
extern const LocationName kLocationNames[6];
// The name of a location code; empty for a code that is none of the six.
std::wstring locationName(unsigned long ulCode);
// The code of a location name; 0 for an unknown name.
unsigned long locationCode(const std::wstring& name);
// "HKEY_LOCAL_MACHINE\Software\..." for a hive and a key below it.
std::wstring registryPath(HKEY hHive, const CKSLWCharString& szKey);
// "REG_SZ", "REG_DWORD", ... ; "type N" for a type without a name.
std::wstring registryTypeName(unsigned long ulType);

// A setting's value: the number of a DWORD setting or the text of a string setting.
struct Value {
    unsigned long ulNumber = 0;
    std::wstring text;
};

// One location that holds something for a setting, as the report shows it.
struct Holding {
    std::wstring location; // the location's name
    std::wstring path;     // hive and key
    KSLPolicyFindingState state = pfsMissing;
    std::wstring type; // registry type of the data there
    unsigned long ulBytes = 0;
    Value value; // found values only
};

struct SettingReport {
    long lID = 0;
    bool bString = false;
    std::wstring keyPath;
    std::wstring valueName;
    Value value; // in force
    Value defaultValue;
    bool bHidden = false;          // a secret (a password): its values are not printed
    int nSource = -1;              // index into holdings of the value in force; -1: the default
    std::vector<Holding> holdings; // every location that holds something, in search order
};

// What to report: every setting (no IDs, no name), or those with one of the IDs, or whose key
// path and value name hold the name (any case).
struct Selection {
    std::vector<long> ids;
    std::wstring name;
    bool matches(long lID, const std::wstring& path) const;
    // Value names whose values the report does not print (passwords).
    std::vector<std::wstring> secretNames;
};

// What a report reads at the locations, changed before the value in force is chosen: the report
// then shows the settings as they would be after that change (report --pol: as if a policy file
// were applied), without any change made.
class ReportOverlay {
public:
    virtual ~ReportOverlay() = default;
    // The setting's finding at its location, changed as the overlay would change that value.
    virtual void apply(const CKSLPolicyDwordSetting& setting, CKSLPolicyFinding<unsigned long>& finding) const = 0;
    virtual void apply(const CKSLPolicyStringSetting& setting, CKSLPolicyFinding<CKSLWCharString>& finding) const = 0;
};

// The selected settings of the policy in ID order; false when a setting could not be inspected.
// With an overlay, what the locations hold is first changed by it.
bool buildReport(CKSLProductPolicy& policy, const Selection& selection, std::vector<SettingReport>& rows,
                 const ReportOverlay* pOverlay = nullptr);

// The report as text and as JSON. bAll adds the values that the one in force shadows; values of
// an unusable type are always shown (they are never used, and the administrator should know).
std::wstring reportText(const std::wstring& title, const std::vector<SettingReport>& rows, bool bAll);
std::wstring reportJson(const std::wstring& product, const std::vector<SettingReport>& rows, bool bAll);

} // namespace skpolicy
