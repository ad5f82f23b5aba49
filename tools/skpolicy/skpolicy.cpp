#include "skpolicy.h"

#include <cerrno>
#include <cwchar>
#include <memory>

#include "pol_branch.h"
#include "policy_report.h"
#include "policy_templates.h"
#include "sk_product_policy.h"
#include "sk_zdr_policy.h"

namespace skpolicy {

namespace {

const wchar_t kUsage[] = L"usage: skpolicy report [--all] [--json] [--id N]... [--name TEXT] [--zdr CLIENT]\n"
                         L"                      [--pol FILE [--scope machine|user]]\n"
                         L"       skpolicy set ID VALUE --location NAME [--zdr CLIENT]\n"
                         L"       skpolicy clear ID --location NAME [--zdr CLIENT]\n"
                         L"       skpolicy admx --out DIR\n"
                         L"       skpolicy pol export FILE [--scope machine|user]\n"
                         L"       skpolicy pol import FILE [--scope machine|user]\n"
                         L"locations: machine-policy user-policy policy-user-defaults machine-product user-product "
                         L"product-user-defaults\n";
// The longest text the product reads back from a value.
const size_t kMaxTextChars = 259;

struct Options {
    std::vector<std::wstring> positional;
    bool bAll = false;
    bool bJson = false;
    Selection selection;
    std::wstring zdrClient;
    bool bZdr = false;
    std::wstring location;
    std::wstring outDir;
    std::wstring polFile;
    std::wstring scope; // of a policy file; empty: the machine
};

// A whole number of 0 to 4294967295, decimal or with 0x in hex; nothing else around it.
bool parseNumber(const std::wstring& text, unsigned long& ulValue)
{
    const bool bHex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    const std::wstring digits = bHex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > (bHex ? 8u : 10u))
        return false;
    for (wchar_t c : digits)
        if (!(c >= L'0' && c <= L'9') && !(bHex && ((c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'))))
            return false;
    const unsigned long long ull = std::wcstoull(digits.c_str(), nullptr, bHex ? 16 : 10);
    if (ull > 0xFFFFFFFFull)
        return false;
    ulValue = static_cast<unsigned long>(ull);
    return true;
}

bool parseID(const std::wstring& text, long& lID)
{
    unsigned long ulID = 0;
    if (!parseNumber(text, ulID) || ulID > 0x7FFFFFFF)
        return false;
    lID = static_cast<long>(ulID);
    return true;
}

// Options with a value take it from the next argument; false for an unknown option or a missing
// value.
bool parseOptions(const std::vector<std::wstring>& args, Options& o, std::wstring& err)
{
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        const bool bHasNext = i + 1 < args.size();
        if (a == L"--all") {
            o.bAll = true;
        } else if (a == L"--json") {
            o.bJson = true;
        } else if ((a == L"--id" || a == L"--name" || a == L"--zdr" || a == L"--location" || a == L"--out" ||
                    a == L"--pol" || a == L"--scope") &&
                   !bHasNext) {
            err += L"skpolicy: " + a + L" needs a value\n";
            return false;
        } else if (a == L"--id") {
            long lID = 0;
            if (!parseID(args[++i], lID)) {
                err += L"skpolicy: \"" + args[i] + L"\" is not a setting ID\n";
                return false;
            }
            o.selection.ids.push_back(lID);
        } else if (a == L"--name") {
            o.selection.name = args[++i];
        } else if (a == L"--zdr") {
            o.bZdr = true;
            o.zdrClient = args[++i];
        } else if (a == L"--location") {
            o.location = args[++i];
        } else if (a == L"--out") {
            o.outDir = args[++i];
        } else if (a == L"--pol") {
            o.polFile = args[++i];
        } else if (a == L"--scope") {
            o.scope = args[++i];
        } else if (a.size() > 1 && a[0] == L'-' && a[1] == L'-') {
            err += L"skpolicy: unknown option " + a + L"\n";
            return false;
        } else {
            o.positional.push_back(a);
        }
    }
    return true;
}

std::unique_ptr<CKSLProductPolicy> makePolicy(const Options& o)
{
    if (o.bZdr)
        return std::unique_ptr<CKSLProductPolicy>(new CSKZdrPolicy(o.zdrClient.c_str()));
    return std::unique_ptr<CKSLProductPolicy>(new CSKProductPolicy());
}

std::wstring productName(const Options& o)
{
    return o.bZdr ? L"ZDR" : L"Safekeep";
}

// The scope a policy file is about (--scope, the machine when not given); false, with the usage
// in err, for a name that is none.
bool scopeOf(const Options& o, PolScope& scope, std::wstring& err)
{
    if (polScopeFrom(o.scope.empty() ? L"machine" : o.scope, scope))
        return true;
    err += L"skpolicy: --scope must be machine or user\n" + std::wstring(kUsage);
    return false;
}

// The plan of a policy file for the scope's branch: the file read and checked whole. 1 when it
// cannot be read or is refused (fault named), 0 with the plan.
int planOf(const std::wstring& path, PolBranchPlan& plan, std::wstring& err)
{
    std::string bytes;
    if (!readWholeFile(path, bytes, err))
        return 1;
    RegistryPolFile file;
    std::wstring fault;
    if (!file.parse(bytes, fault) || !plan.build(file, fault)) {
        err += L"skpolicy: " + path + L": " + fault + L"; nothing was changed\n";
        return 1;
    }
    return 0;
}

int runReport(const Options& o, std::wstring& out, std::wstring& err)
{
    if (!o.positional.empty()) {
        err += L"skpolicy: report takes no argument \"" + o.positional.front() + L"\"\n";
        return 2;
    }
    if ((o.bZdr && !o.polFile.empty()) || (o.polFile.empty() && !o.scope.empty())) {
        err += L"skpolicy: --pol is for the Safekeep settings, and --scope goes with it\n" + std::wstring(kUsage);
        return 2;
    }
    PolScope scope;
    if (!scopeOf(o, scope, err))
        return 2;
    PolBranchPlan plan(scope);
    if (!o.polFile.empty()) {
        if (planOf(o.polFile, plan, err) != 0)
            return 1;
        // The report itself is the one an import would leave behind; what the file leaves alone
        // is told beside it.
        err += plan.leftOut();
    }
    std::unique_ptr<CKSLProductPolicy> policy = makePolicy(o);
    Selection selection = o.selection;
    if (o.bZdr)
        selection.secretNames.push_back(L"Pwd"); // the share's password
    std::vector<SettingReport> rows;
    if (!buildReport(*policy, selection, rows, o.polFile.empty() ? nullptr : &plan)) {
        err += L"skpolicy: the settings could not be read\n";
        return 1;
    }
    if (o.bJson)
        out += reportJson(productName(o), rows, o.bAll);
    else
        out += reportText(o.bZdr ? L"ZDR settings for the client \"" + o.zdrClient + L"\"" : L"Safekeep settings", rows,
                          o.bAll);
    return 0;
}

bool hasID(CKSLPolicyIDList& ids, long lID)
{
    return ids.findKey(lID);
}

// The one place a set or clear is about: the setting's key at the location.
template <class TSetting>
std::wstring placeOf(TSetting& setting, unsigned long ulLocation)
{
    return locationName(ulLocation) + L" " +
           registryPath(ksl_policy::locationHive(ulLocation), setting.getValueLocation(ulLocation, L"")) + L" \"" +
           setting.getValueName().getString() + L"\"";
}

template <class TSetting, class TValue>
int writeSetting(CKSLProductPolicy& policy, long lID, const TValue& value, const std::wstring& shown,
                 unsigned long ulLocation, std::wstring& out, std::wstring& err)
{
    TSetting setting;
    if (!policy.getPolicySetting(lID, setting))
        return 1;
    if (!setting.setPolicy(ulLocation, value, 1, L"", 0)) {
        err += L"skpolicy: could not write " + shown + L" at " + placeOf(setting, ulLocation) + L"\n";
        return 1;
    }
    out += L"set " + std::to_wstring(lID) + L" = " + shown + L" at " + placeOf(setting, ulLocation) + L"\n";
    return 0;
}

template <class TSetting, class TValue>
int clearSetting(CKSLProductPolicy& policy, long lID, unsigned long ulLocation, std::wstring& out, std::wstring& err)
{
    TSetting setting;
    CKSLPolicyFinding<TValue> finding;
    if (!policy.getPolicySetting(lID, setting) || !setting.inspectPolicy(ulLocation, finding, L""))
        return 1;
    if (finding.state == pfsMissing) {
        out += L"nothing to clear for " + std::to_wstring(lID) + L" at " + placeOf(setting, ulLocation) + L"\n";
        return 0;
    }
    if (!setting.clearPolicy(ulLocation, L"")) {
        err += L"skpolicy: could not remove " + placeOf(setting, ulLocation) + L"\n";
        return 1;
    }
    out += L"cleared " + std::to_wstring(lID) + L" at " + placeOf(setting, ulLocation) + L"\n";
    return 0;
}

// set and clear: the setting and the location from the command line, then the work on the
// setting of the form the ID has.
int runChange(const Options& o, bool bSet, std::wstring& out, std::wstring& err)
{
    const size_t nArgs = bSet ? 2 : 1;
    long lID = 0;
    if (o.positional.size() != nArgs || !parseID(o.positional[0], lID)) {
        err += kUsage;
        return 2;
    }
    const unsigned long ulLocation = locationCode(o.location);
    if (ulLocation == 0) {
        err += L"skpolicy: --location must name one of the six locations\n" + std::wstring(kUsage);
        return 2;
    }
    std::unique_ptr<CKSLProductPolicy> policy = makePolicy(o);
    CKSLPolicyIDList dwordIDs;
    CKSLPolicyIDList stringIDs;
    if (!policy->getDwordSettingIDs(dwordIDs) || !policy->getStringSettingIDs(stringIDs))
        return 1;
    if (hasID(dwordIDs, lID)) {
        if (!bSet)
            return clearSetting<CKSLPolicyDwordSetting, unsigned long>(*policy, lID, ulLocation, out, err);
        unsigned long ulValue = 0;
        if (!parseNumber(o.positional[1], ulValue)) {
            err += L"skpolicy: setting " + o.positional[0] + L" is a DWORD: \"" + o.positional[1] +
                   L"\" is not a number of 0 to 4294967295 (decimal, or hex with 0x)\n";
            return 1;
        }
        return writeSetting<CKSLPolicyDwordSetting>(*policy, lID, ulValue, std::to_wstring(ulValue), ulLocation, out,
                                                    err);
    }
    if (hasID(stringIDs, lID)) {
        if (!bSet)
            return clearSetting<CKSLPolicyStringSetting, CKSLWCharString>(*policy, lID, ulLocation, out, err);
        const std::wstring& text = o.positional[1];
        if (text.size() > kMaxTextChars) {
            err += L"skpolicy: setting " + o.positional[0] + L" takes at most 259 characters\n";
            return 1;
        }
        return writeSetting<CKSLPolicyStringSetting>(*policy, lID, CKSLWCharString(text.c_str()), L"\"" + text + L"\"",
                                                     ulLocation, out, err);
    }
    err += L"skpolicy: there is no setting " + o.positional[0] + L"\n";
    return 1;
}

bool writeFile(const std::wstring& path, const std::wstring& text, std::wstring& err)
{
    return writeWholeFile(path, toUtf8(text), err);
}

bool makeFolder(const std::wstring& path, std::wstring& err)
{
    if (CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        return true;
    err += L"skpolicy: cannot create the folder " + path + L" (error " + std::to_wstring(GetLastError()) + L")\n";
    return false;
}

int runAdmx(const Options& o, std::wstring& out, std::wstring& err)
{
    if (o.outDir.empty() || !o.positional.empty() || o.bZdr) {
        err += kUsage;
        return 2;
    }
    CSKProductPolicy policy;
    Templates templates;
    if (!buildTemplates(policy, L"Tessil", L"Safekeep", templates)) {
        err += L"skpolicy: the settings could not be read\n";
        return 1;
    }
    std::wstring dir = o.outDir;
    if (dir.back() != L'\\' && dir.back() != L'/')
        dir += L'\\';
    if (!makeFolder(dir, err) || !makeFolder(dir + L"en-US", err) ||
        !writeFile(dir + L"Safekeep.admx", templates.admx, err) ||
        !writeFile(dir + L"en-US\\Safekeep.adml", templates.adml, err))
        return 1;
    out += L"wrote " + dir + L"Safekeep.admx and " + dir + L"en-US\\Safekeep.adml\n";
    return 0;
}

std::wstring counted(size_t n, const wchar_t* wcsOne, const wchar_t* wcsMany)
{
    return std::to_wstring(n) + L" " + (n == 1 ? wcsOne : wcsMany);
}

int runPolExport(const Options& o, const PolScope& scope, std::wstring& out, std::wstring& err)
{
    CSKProductPolicy policy;
    RegistryPolFile file;
    std::wstring notes;
    if (!exportBranch(policy, scope, file, notes, err) || !writeWholeFile(o.positional[1], file.bytes(), err))
        return 1;
    out += notes + L"wrote " + o.positional[1] + L": " + counted(file.entries().size(), L"value", L"values") +
           L" of " + PolBranchPlan(scope).branchPath() + L"\n";
    return 0;
}

int runPolImport(const Options& o, const PolScope& scope, std::wstring& out, std::wstring& err)
{
    PolBranchPlan plan(scope);
    if (planOf(o.positional[1], plan, err) != 0)
        return 1;
    const bool bDone = plan.carryOut(out, err);
    out += plan.leftOut() + (bDone ? L"imported " : L"stopped importing ") + o.positional[1] + L" into " +
           plan.branchPath() + L": " + counted(plan.appliedCount(), L"entry", L"entries") + L" applied, " +
           counted(plan.otherKeyCount(), L"entry", L"entries") + L" for other keys not written, " +
           counted(plan.unhandledCount(), L"instruction", L"instructions") + L" not carried out\n";
    return bDone ? 0 : 1;
}

// pol export FILE | pol import FILE, for the scope's policy branch.
int runPol(const Options& o, std::wstring& out, std::wstring& err)
{
    const bool bExport = o.positional.size() == 2 && o.positional[0] == L"export";
    const bool bImport = o.positional.size() == 2 && o.positional[0] == L"import";
    if ((!bExport && !bImport) || o.bZdr) {
        err += kUsage;
        return 2;
    }
    PolScope scope;
    if (!scopeOf(o, scope, err))
        return 2;
    return bExport ? runPolExport(o, scope, out, err) : runPolImport(o, scope, out, err);
}

} // namespace

std::string toUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

int run(const std::vector<std::wstring>& args, std::wstring& out, std::wstring& err)
{
    Options o;
    if (args.empty() || !parseOptions(args, o, err)) {
        err += kUsage;
        return 2;
    }
    const std::wstring& command = args[0];
    if (command == L"report")
        return runReport(o, out, err);
    if (command == L"set" || command == L"clear")
        return runChange(o, command == L"set", out, err);
    if (command == L"admx")
        return runAdmx(o, out, err);
    if (command == L"pol")
        return runPol(o, out, err);
    err += L"skpolicy: unknown command " + command + L"\n" + kUsage;
    return 2;
}

} // namespace skpolicy
