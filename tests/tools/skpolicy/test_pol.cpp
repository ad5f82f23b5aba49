// skpolicy and Group Policy's registry file (Registry.pol) against a scratch registry: export
// byte for byte against files built here by hand from the published layout, import of every
// value type and both delete instructions, entries for other keys never written, malformed files
// (cut, flipped, grown sizes, missing brackets, types no setting takes) changing nothing, and
// report --pol agreeing with the report after the import.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "registry_tree.h"
#include "scratch_registry.h"
#include "skpolicy_run.h"
#include "test_paths.h"

namespace {

const wchar_t kBranch[] = L"Software\\Policies\\Tessil\\Safekeep";
const std::wstring kBackup = std::wstring(kBranch) + L"\\Settings\\Backup";
const std::wstring kPreBackup = kBackup + L"\\PreBackup";
const std::wstring kUsage = std::wstring(kBranch) + L"\\Settings\\Usage";
const std::wstring kInternal = std::wstring(kBranch) + L"\\Settings\\Internal";
const std::wstring kDefaultsInternal = std::wstring(kBranch) + L"\\User Defaults\\Settings\\Internal";

// --- files built by hand: "PReg", version 1, then [key;value;type;size;data] in UTF-16LE -------

std::string u16(const std::wstring& text) // with its NUL
{
    std::string out;
    for (wchar_t c : text + L'\0') {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}
std::string u32(DWORD dw)
{
    return std::string{static_cast<char>(dw & 0xFF), static_cast<char>((dw >> 8) & 0xFF),
                       static_cast<char>((dw >> 16) & 0xFF), static_cast<char>(dw >> 24)};
}
std::string dword(DWORD dw)
{
    return u32(dw);
}
const std::string kOpen("[\0", 2), kSemicolon(";\0", 2), kClose("]\0", 2);

struct Pol {
    std::string bytes = std::string("PReg\x01\0\0\0", 8);
    std::vector<size_t> starts;  // of each entry's "["
    std::vector<size_t> sizes;   // of each entry's size field
    std::vector<size_t> closers; // of each entry's "]"

    Pol& add(const std::wstring& key, const std::wstring& name, DWORD dwType, const std::string& data)
    {
        starts.push_back(bytes.size());
        bytes += kOpen + u16(key) + kSemicolon + u16(name) + kSemicolon + u32(dwType) + kSemicolon;
        sizes.push_back(bytes.size());
        bytes += u32(static_cast<DWORD>(data.size())) + kSemicolon + data;
        closers.push_back(bytes.size());
        bytes += kClose;
        return *this;
    }
};

std::wstring polPath(const std::string& bytes)
{
    const std::wstring path = testScratchPath(L"registry.pol");
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD dwWritten = 0;
    EXPECT_TRUE(h != INVALID_HANDLE_VALUE &&
                WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &dwWritten, nullptr));
    CloseHandle(h);
    return path;
}

bool putRaw(HKEY hRoot, const std::wstring& key, const wchar_t* name, DWORD dwType, const std::string& data)
{
    return RegSetKeyValueW(hRoot, key.c_str(), name, dwType, data.data(), static_cast<DWORD>(data.size())) ==
           ERROR_SUCCESS;
}

// Both policy branches as they stand (strings compared up to their first NUL).
registry_tree::Tree policies()
{
    registry_tree::Tree tree = registry_tree::treeOf(HKEY_LOCAL_MACHINE, L"Software\\Policies");
    for (const auto& key : registry_tree::treeOf(HKEY_CURRENT_USER, L"Software\\Policies"))
        tree[L"HKCU\\" + key.first] = key.second;
    return tree;
}

registry_tree::Value value(DWORD dwType, const std::string& data)
{
    return registry_tree::Value(dwType, std::vector<BYTE>(data.begin(), data.end()));
}
// A text as the tree keeps it: without its NUL.
registry_tree::Value text(DWORD dwType, const std::wstring& chars)
{
    const std::string bytes = u16(chars);
    return value(dwType, bytes.substr(0, bytes.size() - 2));
}

class PolTest : public ScratchRegistryTest {};

// --- export -------------------------------------------------------------------------------------

TEST_F(PolTest, ExportWritesTheSettingsOfTheBranchByteForByte)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kBackup, L"BackupLocal", 1));                     // 63
    ASSERT_TRUE(putRaw(HKEY_LOCAL_MACHINE, kBackup, L"BackupSecond", REG_BINARY, "\x02\x01"));    // 64
    ASSERT_TRUE(putRaw(HKEY_LOCAL_MACHINE, kBackup, L"BackupUSB", REG_QWORD, std::string(8, 1))); // 65
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kBackup, L"BackupNetwork", L"0"));               // 66
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kPreBackup, L"Pre", L"%TEMP%\\pre.cmd", REG_EXPAND_SZ)); // 89
    ASSERT_TRUE(putRaw(HKEY_LOCAL_MACHINE, kPreBackup, L"PreParameters", REG_SZ, std::string())); // 90
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kBranch, L"RunBaseBackupLocation", 5));           // 130
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kBackup, L"NoSetting", 9));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kDefaultsInternal, L"WindowsFolderName", L"D:\\Win")); // 141
    ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, kUsage, L"BackupCount", 7));                            // 133
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep\\Settings\\Backup", L"BackupLocal", 0));

    // The machine policy branch by setting ID, then its "User Defaults"; the empty text with its NUL.
    Pol machine;
    machine.add(kBackup, L"BackupLocal", REG_DWORD, dword(1))
        .add(kBackup, L"BackupSecond", REG_BINARY, "\x02\x01")
        .add(kBackup, L"BackupNetwork", REG_SZ, u16(L"0"))
        .add(kPreBackup, L"Pre", REG_EXPAND_SZ, u16(L"%TEMP%\\pre.cmd"))
        .add(kPreBackup, L"PreParameters", REG_SZ, u16(L""))
        .add(kBranch, L"RunBaseBackupLocation", REG_DWORD, dword(5))
        .add(kDefaultsInternal, L"WindowsFolderName", REG_SZ, u16(L"D:\\Win"));
    const std::wstring file = testScratchPath(L"machine.pol");
    SkpolicyResult exported = skpolicyRun({L"pol", L"export", file});
    ASSERT_EQ(0, exported.rc) << exported.err;
    EXPECT_TRUE(machine.bytes == readFileBytes(file));
    EXPECT_EQ(std::vector<std::string>({"left out: HKEY_LOCAL_MACHINE\\Software\\Policies\\Tessil\\Safekeep\\Settings"
                                        "\\Backup \"BackupUSB\": REG_QWORD of 8 bytes: no setting takes this type",
                                        "wrote " + narrow(file) +
                                            ": 7 values of HKEY_LOCAL_MACHINE\\Software\\Policies\\Tessil\\Safekeep"}),
              lines(exported.out));

    Pol user;
    user.add(kUsage, L"BackupCount", REG_DWORD, dword(7));
    ASSERT_EQ(0, skpolicyRun({L"pol", L"export", file, L"--scope", L"user"}).rc);
    EXPECT_TRUE(user.bytes == readFileBytes(file));

    // Nothing there: a file of the header alone.
    ASSERT_TRUE(deleteRegTree(HKEY_CURRENT_USER, L"Software\\Policies"));
    ASSERT_EQ(0, skpolicyRun({L"pol", L"export", file, L"--scope", L"user"}).rc);
    EXPECT_TRUE(Pol().bytes == readFileBytes(file));
}

// --- import -------------------------------------------------------------------------------------

// Every value type a setting takes, both delete instructions, a key made, other keys, an
// instruction skpolicy does not carry out, names in another case.
Pol importFile()
{
    const std::string space = u16(L" ");
    Pol pol;
    pol.add(kBackup, L"BackupLocal", REG_DWORD, dword(1))
        .add(kBackup, L"**del.BackupSecond", REG_SZ, space)
        .add(kBackup, L"**DEL.old", REG_SZ, space)
        .add(kUsage, L"**delvals.", REG_SZ, space)
        .add(kUsage, L"BackupCount", REG_BINARY, std::string("\x05\x00", 2))
        .add(kPreBackup, L"Pre", REG_EXPAND_SZ, u16(L"C:\\pre.cmd"))
        .add(kPreBackup, L"PreParameters", REG_SZ, u16(L"/quiet"))
        .add(L"SOFTWARE\\POLICIES\\TESSIL\\SAFEKEEP\\User Defaults\\Settings\\Internal", L"WindowsFolderName", REG_SZ,
             u16(L"D:\\Win"))
        .add(std::wstring(kBranch) + L"\\Settings\\Restore", L"", REG_NONE, std::string())
        .add(L"Software\\Policies\\Other\\App", L"Stay", REG_DWORD, dword(2))
        .add(L"Software\\Policies\\Tessil\\SafekeepPlus", L"BackupLocal", REG_DWORD, dword(1))
        .add(std::wstring(kBranch) + L"\\Settings", L"**soft.MaxSilentRetries", REG_DWORD, dword(9))
        .add(kBackup, L"BackupUSB", REG_BINARY, "\x07")
        .add(kBackup, L"**del.NotThere", REG_SZ, space)
        .add(std::wstring(kBranch) + L"\\Gone", L"**del.X", REG_SZ, space)
        .add(std::wstring(kBranch) + L"\\Gone2", L"**delvals.", REG_SZ, space);
    return pol;
}

void putImportStart()
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kBackup, L"BackupLocal", 0));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kBackup, L"BackupSecond", 1));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kBackup, L"Old", L"x"));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kUsage, L"BackupCount", 3));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kUsage, L"BackupsFailed", 4));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kUsage + L"\\Sub", L"Keep", 1));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kInternal, L"WindowsFolderName", L"C:\\Old"));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, L"Software\\Policies\\Other\\App", L"Stay", 1));
}

TEST_F(PolTest, ImportAppliesEveryTypeAndBothDeleteInstructions)
{
    putImportStart();
    const Pol pol = importFile();
    const std::wstring path = polPath(pol.bytes);
    SkpolicyResult imported = skpolicyRun({L"pol", L"import", path});
    ASSERT_EQ(0, imported.rc) << imported.err;

    const std::wstring safekeep = kBranch;
    registry_tree::Tree expected = {
        {L"Software\\Policies", {}},
        {L"Software\\Policies\\Other", {}},
        {L"Software\\Policies\\Other\\App", {{L"Stay", value(REG_DWORD, dword(1))}}},
        {L"Software\\Policies\\Tessil", {}},
        {safekeep, {}},
        {safekeep + L"\\Settings", {}},
        {kBackup,
         {{L"BackupLocal", value(REG_DWORD, dword(1))}, {L"BackupUSB", value(REG_BINARY, std::string("\x07"))}}},
        {kPreBackup,
         {{L"Pre", text(REG_EXPAND_SZ, L"C:\\pre.cmd")}, {L"PreParameters", text(REG_SZ, L"/quiet")}}},
        {kUsage, {{L"BackupCount", value(REG_BINARY, std::string("\x05\x00", 2))}}},
        {kUsage + L"\\Sub", {{L"Keep", value(REG_DWORD, dword(1))}}},
        {kInternal, {{L"WindowsFolderName", text(REG_SZ, L"C:\\Old")}}},
        {safekeep + L"\\Settings\\Restore", {}},
        {safekeep + L"\\User Defaults", {}},
        {safekeep + L"\\User Defaults\\Settings", {}},
        {kDefaultsInternal, {{L"WindowsFolderName", text(REG_SZ, L"D:\\Win")}}},
    };
    const registry_tree::Tree actual = policies();
    EXPECT_TRUE(expected == actual) << narrow(registry_tree::differences(expected, actual));

    // A text keeps its NUL: exactly the file's bytes.
    DWORD dwBytes = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, kPreBackup.c_str(), L"PreParameters",
                                          RRF_RT_ANY | RRF_NOEXPAND, nullptr, nullptr, &dwBytes));
    EXPECT_EQ(14u, dwBytes);

    const std::vector<std::string> out = lines(imported.out);
    ASSERT_LE(4u, out.size());
    const std::string at = std::to_string(pol.starts[9]), plus = std::to_string(pol.starts[10]),
                      soft = std::to_string(pol.starts[11]);
    EXPECT_EQ("not written: the entry at byte " + at +
                  ", Software\\Policies\\Other\\App \"Stay\": not below Software\\Policies\\Tessil\\Safekeep",
              out[out.size() - 4]);
    EXPECT_EQ("not written: the entry at byte " + plus +
                  ", Software\\Policies\\Tessil\\SafekeepPlus \"BackupLocal\": not below "
                  "Software\\Policies\\Tessil\\Safekeep",
              out[out.size() - 3]);
    EXPECT_EQ("not applied: the entry at byte " + soft +
                  ", Software\\Policies\\Tessil\\Safekeep\\Settings \"**soft.MaxSilentRetries\": an instruction "
                  "skpolicy does not carry out",
              out[out.size() - 2]);
    EXPECT_EQ("imported " + narrow(path) +
                  " into HKEY_LOCAL_MACHINE\\Software\\Policies\\Tessil\\Safekeep: 13 entries applied, 2 entries for "
                  "other keys not written, 1 instruction not carried out",
              out.back());

    // The user's branch: the same file goes to HKEY_CURRENT_USER, the machine's stays as it is.
    SkpolicyResult user = skpolicyRun({L"pol", L"import", path, L"--scope", L"user"});
    ASSERT_EQ(0, user.rc) << user.err;
    registry_tree::Tree both = policies();
    for (const auto& key : expected)
        EXPECT_TRUE(both.count(key.first) == 1 && both[key.first] == key.second) << narrow(key.first);
    EXPECT_TRUE(both[L"HKCU\\" + kBackup] == expected[kBackup]);
    EXPECT_TRUE(both[L"HKCU\\" + kDefaultsInternal] == expected[kDefaultsInternal]);
    EXPECT_EQ(0u, both.count(L"HKCU\\Software\\Policies\\Other\\App")) << "other keys are never written";
}

// --- malformed files change nothing ---------------------------------------------------------------

struct Refusal {
    std::string label;
    std::string bytes;
    size_t entry; // the offset the refusal must name
};

// A file whose entries would all be applied, with faults put into it one at a time.
std::vector<Refusal> malformed(const Pol& pol)
{
    std::vector<Refusal> out;
    const std::string& good = pol.bytes;
    auto entryAt = [&](size_t pos) {
        size_t e = 0;
        while (e + 1 < pol.starts.size() && pol.starts[e + 1] <= pos)
            ++e;
        return pol.starts[e];
    };
    // Cut anywhere but between two entries.
    for (size_t n = 8; n < good.size(); ++n)
        if (std::find(pol.starts.begin(), pol.starts.end(), n) == pol.starts.end())
            out.push_back({"cut at " + std::to_string(n), good.substr(0, n), entryAt(n)});
    for (size_t e = 0; e < pol.starts.size(); ++e) {
        const std::string name = "entry " + std::to_string(e);
        const size_t size = pol.sizes[e];
        DWORD dwSize = 0;
        for (int i = 3; i >= 0; --i)
            dwSize = (dwSize << 8) | static_cast<BYTE>(good[size + i]);
        for (DWORD dwGrown : {dwSize + 1, dwSize + 2, dwSize + 1000, DWORD(0xFFFFFFFF), dwSize - 1}) {
            std::string bytes = good;
            bytes.replace(size, 4, u32(dwGrown));
            out.push_back({name + " size " + std::to_string(dwGrown), bytes, pol.starts[e]});
        }
        std::string noOpen = good, noClose = good, flippedOpen = good, flippedClose = good;
        noOpen.erase(pol.starts[e], 2);
        noClose.erase(pol.closers[e], 2);
        flippedOpen[pol.starts[e]] = '{';
        flippedClose[pol.closers[e]] = '}';
        out.push_back({name + " without [", noOpen, pol.starts[e]});
        out.push_back({name + " without ]", noClose, pol.starts[e]});
        out.push_back({name + " { for [", flippedOpen, pol.starts[e]});
        out.push_back({name + " } for ]", flippedClose, pol.starts[e]});
        // The semicolons of the entry: after the key and the value name, and around type and size.
        for (size_t at = good.find(kSemicolon, pol.starts[e]); at < size + 6; at = good.find(kSemicolon, at + 2)) {
            if (at % 2 != 0)
                continue;
            std::string flipped = good;
            flipped[at] = ',';
            out.push_back({name + " , at " + std::to_string(at), flipped, pol.starts[e]});
        }
    }
    std::string signature = good, version = good;
    signature[1] = 'r';
    version[4] = 2;
    out.push_back({"signature", signature, 0});
    out.push_back({"version 2", version, 4});
    out.push_back({"no header", good.substr(8), 0});
    return out;
}

// Files whose last entry is one no setting can take.
std::vector<Refusal> unusable(const Pol& start)
{
    const struct {
        const char* label;
        DWORD dwType;
        std::string data;
        std::wstring name;
    } faults[] = {
        {"REG_QWORD", REG_QWORD, std::string(8, 1), L"BackupUSB"},
        {"REG_MULTI_SZ", REG_MULTI_SZ, u16(L"a") + std::string(2, 0), L"Pre"},
        {"REG_NONE", REG_NONE, dword(1), L"BackupUSB"},
        {"REG_DWORD of 2 bytes", REG_DWORD, std::string("\x01\x00", 2), L"BackupUSB"},
        {"REG_DWORD of 8 bytes", REG_DWORD, std::string(8, 0), L"BackupUSB"},
        {"REG_BINARY of 5 bytes", REG_BINARY, std::string(5, 1), L"BackupUSB"},
        {"REG_BINARY empty", REG_BINARY, std::string(), L"BackupUSB"},
        {"REG_SZ without its NUL", REG_SZ, u16(L"ab").substr(0, 4), L"Pre"},
        {"REG_SZ empty", REG_SZ, std::string(), L"Pre"},
        {"REG_SZ odd size", REG_SZ, std::string("a\0\0", 3), L"Pre"},
        {"REG_EXPAND_SZ with a NUL inside", REG_EXPAND_SZ, u16(L"a") + u16(L"b"), L"Pre"},
        {"data for the unnamed value", REG_SZ, u16(L"x"), L""},
    };
    std::vector<Refusal> out;
    for (const auto& f : faults) {
        Pol pol = start;
        pol.add(kBackup, f.name, f.dwType, f.data);
        out.push_back({f.label, pol.bytes, pol.starts.back()});
    }
    return out;
}

TEST_F(PolTest, MalformedFilesChangeNothing)
{
    putImportStart();
    const Pol pol = importFile();
    const registry_tree::Tree before = policies();
    std::vector<Refusal> refusals = malformed(pol);
    const std::vector<Refusal> more = unusable(pol);
    refusals.insert(refusals.end(), more.begin(), more.end());
    ASSERT_LT(1000u, refusals.size());

    const std::wstring path = polPath(std::string());
    for (const Refusal& r : refusals) {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD dwWritten = 0;
        ASSERT_TRUE(WriteFile(h, r.bytes.data(), static_cast<DWORD>(r.bytes.size()), &dwWritten, nullptr));
        CloseHandle(h);
        const SkpolicyResult imported = skpolicyRun({L"pol", L"import", path});
        EXPECT_EQ(1, imported.rc) << r.label;
        EXPECT_EQ("", imported.out) << r.label;
        const std::string named = (r.entry < 8 ? "byte " : "the entry at byte ") + std::to_string(r.entry);
        const size_t at = imported.err.find(named);
        EXPECT_TRUE(at != std::string::npos && std::string(":,").find(imported.err[at + named.size()]) != std::string::npos)
            << r.label << ": " << imported.err;
        EXPECT_NE(std::string::npos, imported.err.find("nothing was changed")) << r.label;
        const SkpolicyResult report = skpolicyRun({L"report", L"--pol", path});
        EXPECT_EQ(1, report.rc) << r.label;
        if (::testing::Test::HasFailure())
            break;
    }
    const registry_tree::Tree after = policies();
    EXPECT_TRUE(before == after) << narrow(registry_tree::differences(before, after));

    // Random damage: a refused file changes nothing; one that is still whole is applied.
    std::mt19937 random(22);
    for (int n = 0; n < 300; ++n) {
        std::string bytes = pol.bytes;
        for (int k = 0; k < 3; ++k)
            bytes[8 + random() % (bytes.size() - 8)] = static_cast<char>(random());
        const SkpolicyResult imported = skpolicyRun({L"pol", L"import", polPath(bytes)});
        if (imported.rc != 0) {
            const registry_tree::Tree now = policies();
            ASSERT_TRUE(before == now) << "damage " << n << ": " << narrow(registry_tree::differences(before, now));
            continue;
        }
        deleteRegTree(HKEY_LOCAL_MACHINE, L"Software\\Policies");
        deleteRegTree(HKEY_CURRENT_USER, L"Software\\Policies");
        putImportStart();
        ASSERT_TRUE(before == policies()) << "damage " << n;
    }
}

// --- report --pol ---------------------------------------------------------------------------------

TEST_F(PolTest, ReportAsIfAppliedEqualsTheReportAfterTheImport)
{
    // Values at several locations, some the file changes, deletes or shadows.
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kBackup, L"BackupLocal", 0));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kBackup, L"BackupSecond", 1));
    ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, kBackup, L"BackupSecond", 2));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kUsage, L"BackupCount", 3));
    ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, kUsage, L"BackupCount", 4));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep\\Settings\\Usage", L"BackupsFailed", 5));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kInternal, L"BCDPartition", L"E:"));
    const std::wstring defaultsUsage = std::wstring(kBranch) + L"\\User Defaults\\Settings\\Usage";
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, defaultsUsage, L"BackupsFailed", 6));

    Pol pol;
    pol.add(kBackup, L"**del.BackupSecond", REG_SZ, u16(L" "))
        .add(kBackup, L"BackupUSB", REG_BINARY, "\x02\x01")
        .add(kBackup, L"BackupNetwork", REG_SZ, u16(L"1")) // a text for a number: unusable
        .add(kUsage, L"**delvals.", REG_SZ, u16(L" "))
        .add(defaultsUsage, L"BackupsFailed", REG_DWORD, dword(60))
        .add(defaultsUsage, L"BackupsCanceled", REG_DWORD, dword(61))
        .add(kInternal, L"WindowsFolderName", REG_EXPAND_SZ, u16(L"%SystemRoot%"))
        .add(kInternal, L"ApplicationDataFolderName", REG_SZ, u16(std::wstring(259, L'a')))
        .add(kInternal, L"CommonAppDataFolderName", REG_SZ, u16(std::wstring(260, L'b'))) // longer than read
        .add(kInternal, L"**del.BCDPartition", REG_SZ, u16(L" "))
        .add(kInternal, L"BCDPartition", REG_SZ, u16(L"F:"))
        .add(L"Software\\Policies\\Other", L"BackupLocal", REG_DWORD, dword(1));
    const std::wstring path = polPath(pol.bytes);

    for (const wchar_t* scope : {L"machine", L"user"}) {
        SCOPED_TRACE(narrow(scope));
        const registry_tree::Tree before = policies();
        const SkpolicyResult now = skpolicyRun({L"report", L"--all"});
        const SkpolicyResult asIf = skpolicyRun({L"report", L"--all", L"--pol", path, L"--scope", scope});
        const SkpolicyResult asIfJson =
            skpolicyRun({L"report", L"--all", L"--json", L"--pol", path, L"--scope", scope});
        ASSERT_EQ(0, asIf.rc) << asIf.err;
        ASSERT_EQ(0, asIfJson.rc) << asIfJson.err;
        EXPECT_NE(std::string::npos, asIf.err.find("not written: the entry at byte " +
                                                   std::to_string(pol.starts.back()) + ", Software\\Policies\\Other"));
        const registry_tree::Tree unchanged = policies();
        ASSERT_TRUE(before == unchanged) << "report --pol writes nothing: "
                                         << narrow(registry_tree::differences(before, unchanged));
        EXPECT_NE(now.out, asIf.out) << "the file changes what is in force";

        ASSERT_EQ(0, skpolicyRun({L"pol", L"import", path, L"--scope", scope}).rc);
        EXPECT_EQ(skpolicyRun({L"report", L"--all"}).out, asIf.out);
        EXPECT_EQ(skpolicyRun({L"report", L"--all", L"--json"}).out, asIfJson.out);
    }
}

// --- the command line -------------------------------------------------------------------------------

TEST_F(PolTest, CommandLinesItRefuses)
{
    const std::wstring missing = testScratchPath(L"missing.pol");
    const struct {
        std::vector<std::wstring> args;
        int rc;
    } refused[] = {
        {{L"pol"}, 2},
        {{L"pol", L"export"}, 2},
        {{L"pol", L"send", L"x.pol"}, 2},
        {{L"pol", L"import", L"x.pol", L"extra"}, 2},
        {{L"pol", L"import", L"x.pol", L"--scope", L"domain"}, 2},
        {{L"pol", L"export", L"x.pol", L"--zdr", L"Safekeep"}, 2},
        {{L"report", L"--scope", L"user"}, 2},
        {{L"report", L"--pol", L"x.pol", L"--zdr", L"Safekeep"}, 2},
        {{L"report", L"--pol"}, 2},
        {{L"pol", L"import", missing}, 1},
        {{L"report", L"--pol", missing}, 1},
    };
    for (const auto& r : refused) {
        std::wstring shown;
        for (const std::wstring& a : r.args)
            shown += a + L" ";
        EXPECT_EQ(r.rc, skpolicyRun(r.args).rc) << narrow(shown);
    }
}

} // namespace
