// skpolicy against a scratch registry: the report's sources, shadowed and unusable values, its
// agreement with the product policy for every setting, the JSON form, set and clear, and the
// Group Policy templates (well-formed, every reference defined, one policy per setting).
#include <windows.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "json_reader.h"
#include "scratch_registry.h"
#include "sk_product_policy.h"
#include "skpolicy_run.h"
#include "test_paths.h"

namespace {

const wchar_t kPolicyKey[] = L"Software\\Policies\\Tessil\\Safekeep";
const wchar_t kProductKey[] = L"Software\\Tessil\\Safekeep";

struct Location {
    const char* name;
    HKEY hRoot;
    const wchar_t* base;
};

// The six locations in search order, as the report names them.
const Location kLocations[] = {
    {"machine-policy", HKEY_LOCAL_MACHINE, L"Software\\Policies\\Tessil\\Safekeep"},
    {"user-policy", HKEY_CURRENT_USER, L"Software\\Policies\\Tessil\\Safekeep"},
    {"policy-user-defaults", HKEY_LOCAL_MACHINE, L"Software\\Policies\\Tessil\\Safekeep\\User Defaults"},
    {"machine-product", HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep"},
    {"user-product", HKEY_CURRENT_USER, L"Software\\Tessil\\Safekeep"},
    {"product-user-defaults", HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep\\User Defaults"},
};

std::wstring keyOf(const Location& l, const std::wstring& keyPath)
{
    return keyPath.empty() ? std::wstring(l.base) : std::wstring(l.base) + L"\\" + keyPath;
}

using Result = SkpolicyResult;

// One setting of the product policy as the tests know it.
struct Setting {
    long lID;
    bool bString;
    std::wstring keyPath;
    std::wstring valueName;
};

std::vector<Setting> allSettings()
{
    CSKProductPolicy policy;
    std::vector<Setting> settings;
    CKSLPolicyIDList ids;
    EXPECT_TRUE(policy.getDwordSettingIDs(ids));
    for (auto p = ids.getFirstNode(); p != nullptr; p = p->getNext()) {
        CKSLPolicyDwordSetting s;
        EXPECT_TRUE(policy.getPolicySetting(p->getPayload(), s));
        settings.push_back({s.getID(), false, s.getKeyPath().getString(), s.getValueName().getString()});
    }
    EXPECT_TRUE(policy.getStringSettingIDs(ids));
    for (auto p = ids.getFirstNode(); p != nullptr; p = p->getNext()) {
        CKSLPolicyStringSetting s;
        EXPECT_TRUE(policy.getPolicySetting(p->getPayload(), s));
        settings.push_back({s.getID(), true, s.getKeyPath().getString(), s.getValueName().getString()});
    }
    return settings;
}

const char kTitle[] = "the first location in search order with a usable value wins, else the default.";

class SkpolicyTest : public ScratchRegistryTest {};

// --- the report -------------------------------------------------------------------------------

TEST_F(SkpolicyTest, FirstLocationIsTheSourceTheOtherIsShadowed)
{
    ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, std::wstring(kPolicyKey) + L"\\Settings\\Usage", L"BackupCount", 5));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, std::wstring(kProductKey) + L"\\Settings\\Usage", L"BackupCount", 9));

    Result all = skpolicyRun({L"report", L"--id", L"133", L"--all"});
    ASSERT_EQ(0, all.rc) << all.err;
    const std::vector<std::string> expected = {
        std::string("Safekeep settings: 1 setting; ") + kTitle,
        "",
        "133  Settings\\Usage\\BackupCount (DWORD) = 5",
        "     source    user-policy           HKEY_CURRENT_USER\\Software\\Policies\\Tessil\\Safekeep\\Settings\\Usage",
        "     shadowed  machine-product       HKEY_LOCAL_MACHINE\\Software\\Tessil\\Safekeep\\Settings\\Usage = 9",
    };
    EXPECT_EQ(expected, lines(all.out));

    Result winner = skpolicyRun({L"report", L"--id", L"133"});
    ASSERT_EQ(0, winner.rc);
    EXPECT_EQ(std::vector<std::string>(expected.begin(), expected.end() - 1), lines(winner.out))
        << "without --all only the source";
}

TEST_F(SkpolicyTest, StringInADwordSettingIsReportedUnusable)
{
    ASSERT_TRUE(
        setRegString(HKEY_LOCAL_MACHINE, std::wstring(kPolicyKey) + L"\\Settings\\Backup", L"BackupLocal", L"0"));
    Result text = skpolicyRun({L"report", L"--id", L"63"});
    ASSERT_EQ(0, text.rc) << text.err;
    const std::vector<std::string> expected = {
        std::string("Safekeep settings: 1 setting; ") + kTitle,
        "",
        "63   Settings\\Backup\\BackupLocal (DWORD) = 0",
        "     source    default",
        "     unusable  machine-policy        "
        "HKEY_LOCAL_MACHINE\\Software\\Policies\\Tessil\\Safekeep\\Settings\\Backup "
        "(REG_SZ, 4 bytes: not used)",
    };
    EXPECT_EQ(expected, lines(text.out));

    Result json = skpolicyRun({L"report", L"--id", L"63", L"--json"});
    Json doc;
    ASSERT_TRUE(parseJson(json.out, doc)) << json.out;
    ASSERT_EQ(1u, doc["settings"].items.size());
    const Json& row = doc["settings"].items[0];
    EXPECT_EQ(0, row["value"].number);
    EXPECT_EQ("default", row["source"].text);
    EXPECT_EQ(Json::kNull, row["sourcePath"].kind);
    ASSERT_EQ(1u, row["locations"].items.size());
    const Json& unusable = row["locations"].items[0];
    EXPECT_EQ("unusable", unusable["role"].text);
    EXPECT_EQ("machine-policy", unusable["location"].text);
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\Software\\Policies\\Tessil\\Safekeep\\Settings\\Backup", unusable["path"].text);
    EXPECT_EQ("REG_SZ", unusable["registryType"].text);
    EXPECT_EQ(4, unusable["bytes"].number);
    EXPECT_FALSE(unusable.has("value")) << "an unusable value is not read";
}

// Every setting gets a value at one of the six locations (or none, every seventh), some a lower
// one that is shadowed and some an unusable one above; the report must agree with the product
// policy's own answer and with what was written, in text and in JSON.
TEST_F(SkpolicyTest, ReportAgreesWithTheProductPolicyForEverySetting)
{
    const std::vector<Setting> settings = allSettings();
    ASSERT_EQ(152u, settings.size());
    struct Expected {
        std::string value; // as JSON text compares: the number, or the text
        std::string source;
        bool bUnusable;
        bool bShadowed;
    };
    std::map<long, Expected> expected;
    for (size_t k = 0; k < settings.size(); ++k) {
        const Setting& s = settings[k];
        const size_t at = k % 7;
        Expected e{"", "default", false, false};
        if (at < 6) {
            const Location& l = kLocations[at];
            if (s.bString) {
                e.value = "v" + std::to_string(s.lID) + "-\xC3\xA9";
                ASSERT_TRUE(setRegString(l.hRoot, keyOf(l, s.keyPath), s.valueName.c_str(),
                                         L"v" + std::to_wstring(s.lID) + L"-\u00E9"));
            } else {
                e.value = std::to_string(1000 + s.lID);
                ASSERT_TRUE(setRegDword(l.hRoot, keyOf(l, s.keyPath), s.valueName.c_str(), 1000 + s.lID));
            }
            e.source = l.name;
            if (at < 5 && k % 2 == 0) { // a lower value, shadowed
                e.bShadowed = true;
                const Location& low = kLocations[5];
                ASSERT_TRUE(s.bString ? setRegString(low.hRoot, keyOf(low, s.keyPath), s.valueName.c_str(), L"low")
                                      : setRegDword(low.hRoot, keyOf(low, s.keyPath), s.valueName.c_str(), 7));
            }
        }
        if (at > 0 && k % 3 == 0) { // something of the wrong type above the source
            e.bUnusable = true;
            const Location& top = kLocations[0];
            ASSERT_TRUE(s.bString ? setRegDword(top.hRoot, keyOf(top, s.keyPath), s.valueName.c_str(), 1)
                                  : setRegString(top.hRoot, keyOf(top, s.keyPath), s.valueName.c_str(), L"1"));
        }
        expected[s.lID] = e;
    }

    // What the plug-in's policy answers.
    CSKProductPolicy policy;
    std::map<long, std::string> answers;
    for (const Setting& s : settings) {
        if (s.bString) {
            CKSLWCharString szValue;
            ASSERT_TRUE(policy.getPolicy(s.lID, szValue, false));
            answers[s.lID] = narrow(szValue.getString());
        } else {
            uint32_t ulValue = 0;
            ASSERT_TRUE(policy.getDwordSetting(s.lID, ulValue));
            answers[s.lID] = std::to_string(ulValue);
        }
        if (expected[s.lID].source == "default")
            continue; // the default itself is checked against the report below
        EXPECT_EQ(expected[s.lID].value, answers[s.lID]) << "setting " << s.lID;
    }

    Result json = skpolicyRun({L"report", L"--json", L"--all"});
    ASSERT_EQ(0, json.rc) << json.err;
    Json doc;
    size_t at = 0;
    ASSERT_TRUE(parseJson(json.out, doc, &at)) << "fault at " << at << ": " << json.out.substr(at, 80);
    EXPECT_EQ("Safekeep", doc["product"].text);
    ASSERT_EQ(152u, doc["settings"].items.size());
    long lPrevious = -1;
    for (const Json& row : doc["settings"].items) {
        const long lID = static_cast<long>(row["id"].number);
        EXPECT_LT(lPrevious, lID) << "in ID order";
        lPrevious = lID;
        ASSERT_EQ(1u, expected.count(lID)) << lID;
        const Expected& e = expected[lID];
        const std::string value = row["type"].text == "string"
                                      ? row["value"].text
                                      : std::to_string(static_cast<unsigned long>(row["value"].number));
        EXPECT_EQ(answers[lID], value) << "setting " << lID;
        EXPECT_EQ(e.source, row["source"].text) << "setting " << lID;
        std::set<std::string> roles;
        for (const Json& l : row["locations"].items)
            roles.insert(l["role"].text);
        EXPECT_EQ(e.source != "default", roles.count("source") == 1) << lID;
        EXPECT_EQ(e.bShadowed, roles.count("shadowed") == 1) << lID;
        EXPECT_EQ(e.bUnusable, roles.count("unusable") == 1) << lID;
    }

    // The text report: the head line of each setting holds the same value.
    Result text = skpolicyRun({L"report"});
    ASSERT_EQ(0, text.rc);
    size_t nHeads = 0;
    for (const std::string& line : lines(text.out)) {
        if (line.empty() || line[0] == ' ' || line.compare(0, 9, "Safekeep ") == 0)
            continue;
        ++nHeads;
        const long lID = std::stol(line);
        std::string value = line.substr(line.find(") = ") + 4);
        if (value.size() >= 2 && value.front() == '"')
            value = value.substr(1, value.size() - 2);
        EXPECT_EQ(answers[lID], value) << line;
    }
    EXPECT_EQ(152u, nHeads);
}

TEST_F(SkpolicyTest, SelectionByIDAndName)
{
    Result byName = skpolicyRun({L"report", L"--json", L"--name", L"usage\\lastbackuptime"});
    Json doc;
    ASSERT_TRUE(parseJson(byName.out, doc));
    ASSERT_EQ(2u, doc["settings"].items.size());
    EXPECT_EQ(136, doc["settings"].items[0]["id"].number);
    EXPECT_EQ(137, doc["settings"].items[1]["id"].number);

    Result byIDs = skpolicyRun({L"report", L"--json", L"--id", L"141", L"--id", L"89", L"--id", L"52"});
    ASSERT_TRUE(parseJson(byIDs.out, doc));
    ASSERT_EQ(2u, doc["settings"].items.size()) << "52 is no setting";
    EXPECT_EQ(89, doc["settings"].items[0]["id"].number);
    EXPECT_EQ("C:\\Windows", doc["settings"].items[1]["value"].text);
    EXPECT_EQ("string", doc["settings"].items[1]["type"].text);

    EXPECT_EQ(2, skpolicyRun({L"report", L"--id", L"x"}).rc);
    EXPECT_EQ(2, skpolicyRun({L"report", L"--bogus"}).rc);
    EXPECT_EQ(2, skpolicyRun({L"frobnicate"}).rc);
    EXPECT_EQ(2, skpolicyRun({}).rc);
}

TEST_F(SkpolicyTest, NetworkDriveSettingsOfAClient)
{
    ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, L"Software\\Tessil\\ZDR", L"timeout", 45));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Tessil\\ZDR\\Safekeep", L"UNC", L"\\\\srv\\bk"));
    ASSERT_TRUE(setRegString(HKEY_CURRENT_USER, L"Software\\Tessil\\ZDR\\Safekeep", L"Pwd", L"s3cr3t"));
    Result json = skpolicyRun({L"report", L"--zdr", L"Safekeep", L"--json", L"--all"});
    ASSERT_EQ(0, json.rc) << json.err;
    Json doc;
    ASSERT_TRUE(parseJson(json.out, doc));
    EXPECT_EQ("ZDR", doc["product"].text);
    ASSERT_EQ(7u, doc["settings"].items.size());
    const Json& unc = doc["settings"].items[0];
    EXPECT_EQ("Safekeep", unc["keyPath"].text);
    EXPECT_EQ("\\\\srv\\bk", unc["value"].text);
    EXPECT_EQ("HKEY_LOCAL_MACHINE\\Software\\Policies\\Tessil\\ZDR\\Safekeep", unc["sourcePath"].text);
    EXPECT_EQ(0, doc["settings"].items[5]["value"].number);
    EXPECT_EQ("default", doc["settings"].items[5]["source"].text);
    EXPECT_EQ(45, doc["settings"].items[6]["value"].number);
    EXPECT_EQ("user-product", doc["settings"].items[6]["source"].text);
    EXPECT_EQ(30, doc["settings"].items[6]["default"].number);

    // The share's password: where it comes from, never what it is.
    const Json& pwd = doc["settings"].items[3];
    EXPECT_EQ("Pwd", pwd["valueName"].text);
    EXPECT_TRUE(pwd["hidden"].boolean);
    EXPECT_EQ(Json::kNull, pwd["value"].kind);
    EXPECT_EQ("user-product", pwd["source"].text);
    EXPECT_EQ(Json::kNull, pwd["locations"].items.at(0)["value"].kind);
    Result text = skpolicyRun({L"report", L"--zdr", L"Safekeep", L"--id", L"3"});
    EXPECT_EQ(std::string::npos, (json.out + text.out).find("s3cr3t"));
    EXPECT_NE(std::string::npos, text.out.find("3    Safekeep\\Pwd (string) = (not shown)\n")) << text.out;
}

// --- set and clear ------------------------------------------------------------------------------

TEST_F(SkpolicyTest, SetWritesOneLocationAndRefusesWrongValues)
{
    const std::wstring defaultsKey = std::wstring(kPolicyKey) + L"\\User Defaults\\Settings\\Backup";
    const struct {
        std::vector<std::wstring> args;
        int rc;
    } refused[] = {
        {{L"set", L"63", L"abc", L"--location", L"policy-user-defaults"}, 1},
        {{L"set", L"63", L"-1", L"--location", L"policy-user-defaults"}, 1},
        {{L"set", L"63", L"4294967296", L"--location", L"policy-user-defaults"}, 1},
        {{L"set", L"63", L" 1", L"--location", L"policy-user-defaults"}, 1},
        {{L"set", L"63", L"1", L"--location", L"everywhere"}, 2},
        {{L"set", L"63", L"1"}, 2},
        {{L"set", L"52", L"1", L"--location", L"machine-policy"}, 1},
        {{L"set", L"141", std::wstring(260, L'x'), L"--location", L"machine-policy"}, 1},
    };
    for (const auto& r : refused)
        EXPECT_EQ(r.rc, skpolicyRun(r.args).rc) << narrow(r.args[2]);
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, defaultsKey)) << "nothing written";

    Result set = skpolicyRun({L"set", L"63", L"0x10", L"--location", L"policy-user-defaults"});
    ASSERT_EQ(0, set.rc) << set.err;
    EXPECT_EQ("set 63 = 16 at policy-user-defaults HKEY_LOCAL_MACHINE\\Software\\Policies\\Tessil\\Safekeep\\User "
              "Defaults\\Settings\\Backup \"BackupLocal\"\n",
              set.out);
    DWORD dwType = 0;
    DWORD dwValue = 0;
    DWORD dwSize = sizeof dwValue;
    ASSERT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, defaultsKey.c_str(), L"BackupLocal", RRF_RT_ANY, &dwType,
                                          &dwValue, &dwSize));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), dwType);
    EXPECT_EQ(16u, dwValue);
    CSKProductPolicy policy;
    uint32_t ulValue = 0;
    ASSERT_TRUE(policy.getDwordSetting(63, ulValue));
    EXPECT_EQ(16u, ulValue);

    ASSERT_EQ(0, skpolicyRun({L"set", L"141", L"D:\\Win", L"--location", L"user-product"}).rc);
    CKSLWCharString szFolder;
    ASSERT_TRUE(policy.getPolicy(141, szFolder, true));
    EXPECT_STREQ(L"D:\\Win", szFolder.getString());

    Result cleared = skpolicyRun({L"clear", L"63", L"--location", L"policy-user-defaults"});
    ASSERT_EQ(0, cleared.rc) << cleared.err;
    EXPECT_EQ(0u, cleared.out.find("cleared 63 at policy-user-defaults"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegGetValueW(HKEY_LOCAL_MACHINE, defaultsKey.c_str(), L"BackupLocal", RRF_RT_ANY,
                                                 nullptr, nullptr, nullptr));
    Result again = skpolicyRun({L"clear", L"63", L"--location", L"policy-user-defaults"});
    EXPECT_EQ(0, again.rc);
    EXPECT_EQ(0u, again.out.find("nothing to clear for 63"));
    EXPECT_EQ(0, skpolicyRun({L"clear", L"141", L"--location", L"user-product"}).rc);
    EXPECT_FALSE(policy.getPolicy(141, szFolder, true));
}

// --- the Group Policy templates --------------------------------------------------------------------

// The Unix path of a Windows path under Wine; empty elsewhere.
std::string unixPath(const std::wstring& path)
{
    typedef char*(CDECL * UnixName)(const wchar_t*);
    const UnixName toUnix = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix == nullptr)
        return std::string();
    char* p = toUnix(path.c_str());
    const std::string out = p != nullptr ? p : "";
    HeapFree(GetProcessHeap(), 0, p);
    return out;
}

// Runs a shell command on the host. Wine starts Unix programs but hands back no process to wait
// on, so the command leaves its exit code in a file, which appears when it is done.
int runOnHost(const std::wstring& folder, const std::string& command, std::string& output)
{
    const std::string dir = unixPath(folder);
    const std::wstring rcFile = folder + L"\\host.rc";
    std::wstring line = L"/bin/sh -c \"" + std::wstring(command.begin(), command.end()) + L" >'" +
                        std::wstring(dir.begin(), dir.end()) + L"/host.out' 2>&1; echo $? >'" +
                        std::wstring(dir.begin(), dir.end()) + L"/host.tmp'; mv '" +
                        std::wstring(dir.begin(), dir.end()) + L"/host.tmp' '" + std::wstring(dir.begin(), dir.end()) +
                        L"/host.rc'\"";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    CKSLScopedHandle process(pi.hProcess);
    CKSLScopedHandle thread(pi.hThread);
    for (int i = 0; i < 600 && !fileExists(rcFile); ++i)
        Sleep(50);
    output = readFileBytes(folder + L"\\host.out");
    const std::string rc = readFileBytes(rcFile);
    return rc.empty() ? -1 : std::stoi(rc);
}

std::string attribute(const std::string& element, const std::string& name)
{
    const std::string open = " " + name + "=\"";
    const size_t at = element.find(open);
    if (at == std::string::npos)
        return std::string();
    const size_t start = at + open.size();
    return element.substr(start, element.find('"', start) - start);
}

// Every "$(kind.X)" reference of the text.
std::set<std::string> references(const std::string& text, const std::string& kind)
{
    std::set<std::string> out;
    const std::string open = "$(" + kind + ".";
    for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
        const size_t start = at + open.size();
        out.insert(text.substr(start, text.find(')', start) - start));
    }
    return out;
}

// The ids of the elements <tag id="X"> of the text, each counted.
std::map<std::string, int> definitions(const std::string& text, const std::string& tag)
{
    std::map<std::string, int> out;
    const std::string open = "<" + tag + " id=\"";
    for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
        const size_t start = at + open.size();
        ++out[text.substr(start, text.find('"', start) - start)];
    }
    return out;
}

TEST_F(SkpolicyTest, TemplatesAreWellFormedCompleteAndStable)
{
    const std::wstring first = testScratchPath(L"admx1");
    const std::wstring second = testScratchPath(L"admx2");
    Result made = skpolicyRun({L"admx", L"--out", first});
    ASSERT_EQ(0, made.rc) << made.err;
    ASSERT_EQ(0, skpolicyRun({L"admx", L"--out", second + L"\\"}).rc);
    const std::string admx = readFileBytes(first + L"\\Safekeep.admx");
    const std::string adml = readFileBytes(first + L"\\en-US\\Safekeep.adml");
    ASSERT_FALSE(admx.empty());
    ASSERT_FALSE(adml.empty());
    EXPECT_TRUE(admx == readFileBytes(second + L"\\Safekeep.admx")) << "the same table gives the same bytes";
    EXPECT_TRUE(adml == readFileBytes(second + L"\\en-US\\Safekeep.adml"));

    std::string xmllint;
    EXPECT_EQ(0, runOnHost(first,
                           "xmllint --noout '" + unixPath(first + L"\\Safekeep.admx") + "' '" +
                               unixPath(first + L"\\en-US\\Safekeep.adml") + "'",
                           xmllint))
        << xmllint;

    // The schema's frame, and every reference resolved exactly once.
    for (const char* part : {"<policyDefinitions ",
                             "xmlns=\"http://schemas.microsoft.com/GroupPolicy/2006/07/"
                             "PolicyDefinitions\"",
                             "<policyNamespaces>", "<target prefix=", "<resources minRequiredRevision=",
                             "<supportedOn>", "<categories>", "<policies>"})
        EXPECT_NE(std::string::npos, admx.find(part)) << part;
    const std::map<std::string, int> strings = definitions(adml, "string");
    for (const std::string& ref : references(admx, "string"))
        EXPECT_EQ(1, strings.count(ref) ? strings.at(ref) : 0) << "$(string." << ref << ")";
    const std::map<std::string, int> presentations = definitions(adml, "presentation");
    for (const std::string& ref : references(admx, "presentation"))
        EXPECT_EQ(1, presentations.count(ref) ? presentations.at(ref) : 0) << "$(presentation." << ref << ")";
    for (const auto& d : strings)
        EXPECT_EQ(1, d.second) << "string " << d.first << " defined once";

    // Each policy: name, class, key and its one element with the value name.
    struct Policy {
        std::string cls, key, element, valueName;
    };
    std::map<std::string, Policy> policies;
    for (size_t at = admx.find("<policy "); at != std::string::npos; at = admx.find("<policy ", at + 1)) {
        const std::string block = admx.substr(at, admx.find("</policy>", at) - at);
        const std::string head = block.substr(0, block.find('>'));
        const size_t element = block.find("<", block.find("<elements>") + 1);
        const std::string body = block.substr(element, block.find('>', element) - element);
        policies[attribute(head, "name")] = {attribute(head, "class"), attribute(head, "key"),
                                             body.substr(1, body.find(' ') - 1), attribute(body, "valueName")};
    }
    const std::vector<Setting> settings = allSettings();
    ASSERT_EQ(152u, settings.size());
    EXPECT_EQ(2 * settings.size(), policies.size());
    for (const Setting& s : settings) {
        const std::string name = "Setting" + std::to_string(s.lID);
        const std::string below = s.keyPath.empty() ? "" : "\\" + narrow(s.keyPath);
        ASSERT_EQ(1u, policies.count(name)) << name;
        const Policy& both = policies[name];
        EXPECT_EQ("Both", both.cls) << name;
        EXPECT_EQ("Software\\Policies\\Tessil\\Safekeep" + below, both.key) << name;
        EXPECT_EQ(s.bString ? "text" : "decimal", both.element) << name;
        EXPECT_EQ(narrow(s.valueName), both.valueName) << name;
        ASSERT_EQ(1u, policies.count(name + "_UserDefaults")) << name;
        const Policy& defaults = policies[name + "_UserDefaults"];
        EXPECT_EQ("Machine", defaults.cls) << name;
        EXPECT_EQ("Software\\Policies\\Tessil\\Safekeep\\User Defaults" + below, defaults.key) << name;
        EXPECT_EQ(both.element, defaults.element) << name;
        EXPECT_EQ(both.valueName, defaults.valueName) << name;
    }
    removeTree(first);
    removeTree(second);
}

} // namespace
