// The registry text form: saveKey format 8 and restoreKey flags 16 against the scratch registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ini_test_support.h"
#include "ksl_registry_key.h"
#include "ksl_scoped_handle.h"
#include "registry_tree.h"
#include "scratch_registry.h"

namespace {

const std::wstring kKey = L"SOFTWARE\\IniExport";
const std::wstring kSection = L"HKEY_LOCAL_MACHINE\\" + kKey;

using registry_tree::Tree;
using registry_tree::Value;
using registry_tree::treeOf;

std::vector<BYTE> rawBytes(HKEY hRoot, const std::wstring& key, const wchar_t* name)
{
    std::vector<BYTE> data;
    const Tree tree = treeOf(hRoot, key);
    const auto found = tree.find(key);
    if (found != tree.end() && found->second.count(name) != 0)
        data = found->second.at(name).second;
    return data;
}

} // namespace

TEST_F(RegistryFileTest, KeyWithEveryTypeSubkeysOddCharactersAndEmptyValuesRoundTrips)
{
    const std::wstring odd = L"He said \"hi\" = x; [y] 100% \x00FC\x20AC\x4E2D \\path\\ ";
    const BYTE even[] = {0x00, 0xFF, 0x10, 0x00};
    const std::wstring sub1 = kKey + L"\\Sub One";
    const std::wstring sub2 = kKey + L"\\S\x00FC" L"b Two";
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"Number", 0xFFFFFFFE));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Odd name: \x00FC;[x]", odd));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Empty text", L""));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Expand", L"%ProgramFiles%\\\"\x00DC\"", REG_EXPAND_SZ));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Multi", std::wstring(L"A,1\0\x00E9\0", 6), REG_MULTI_SZ));
    ASSERT_TRUE(setRegBinary(HKEY_LOCAL_MACHINE, kKey, L"Bytes", even, sizeof(even)));
    ASSERT_TRUE(setRegBinary(HKEY_LOCAL_MACHINE, kKey, L"No bytes", nullptr, 0));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, sub1, L"in[bracket]", 0));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, sub2 + L"\\Deeper", L"Leaf", L"  spaced  "));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, sub2, L"n", 1));
    const Tree before = treeOf(HKEY_LOCAL_MACHINE, kKey);
    ASSERT_EQ(4u, before.size());

    const std::wstring file = freshFile(L"roundtrip.ini");
    ASSERT_TRUE(saveText(HKEY_LOCAL_MACHINE, kKey, file));
    ASSERT_TRUE(deleteRegTree(HKEY_LOCAL_MACHINE, kKey));
    ASSERT_TRUE(restoreText(file));

    EXPECT_EQ(before, treeOf(HKEY_LOCAL_MACHINE, kKey));
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Elsewhere"));
    EXPECT_FALSE(logHas(L"EXCEPTION_BAD"));
}

TEST_F(RegistryFileTest, EntriesAreEncodedByTypeInTypeOrderAndKeysDepthFirst)
{
    const BYTE odd[] = {0x01, 0x02, 0x03}, even[] = {0x01, 0x02, 0x03, 0x04};
    ASSERT_TRUE(setRegBinary(HKEY_CURRENT_USER, kKey, L"Bin", odd, sizeof(odd)));
    ASSERT_TRUE(setRegBinary(HKEY_CURRENT_USER, kKey, L"Even", even, sizeof(even)));
    ASSERT_TRUE(setRegString(HKEY_CURRENT_USER, kKey, L"Multi", std::wstring(L"A\0B\0", 4), REG_MULTI_SZ));
    ASSERT_TRUE(setRegString(HKEY_CURRENT_USER, kKey, L"Multi gaps", std::wstring(L"\0x\0\0", 4), REG_MULTI_SZ));
    ASSERT_TRUE(setRegString(HKEY_CURRENT_USER, kKey, L"Exp", L"%TEMP%", REG_EXPAND_SZ));
    ASSERT_TRUE(setRegString(HKEY_CURRENT_USER, kKey, L"Text", L"say \"x\""));
    ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, kKey, L"Dword", 26));
    ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, kKey + L"\\A", L"a", 1));
    ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, kKey + L"\\A\\Inner", L"i", 2));
    ASSERT_TRUE(setRegDword(HKEY_CURRENT_USER, kKey + L"\\B", L"b", 3));
    ASSERT_TRUE(registry_tree::setRawValue(HKEY_CURRENT_USER, kKey + L"\\B\\Empty\\Emptier", L"x", REG_DWORD, {}));
    ASSERT_TRUE(deleteRegValue(HKEY_CURRENT_USER, kKey + L"\\B\\Empty\\Emptier", L"x"));
    const Tree before = treeOf(HKEY_CURRENT_USER, kKey);

    const std::wstring file = freshFile(L"format.ini");
    ASSERT_TRUE(saveText(HKEY_CURRENT_USER, kKey, file));
    const std::wstring section = L"HKEY_CURRENT_USER\\" + kKey;
    CKSLIni::StringList names;
    EXPECT_TRUE(CKSLIni(file.c_str()).getProfileSectionNames(names));
    EXPECT_EQ((std::vector<std::wstring>{section, section + L"\\A", section + L"\\A\\Inner", section + L"\\B",
                                         section + L"\\B\\Empty", section + L"\\B\\Empty\\Emptier"}),
              toVector(names));
    // An odd number of bytes after its count; an empty multi-string item as its terminator alone.
    EXPECT_EQ((std::vector<std::wstring>{L"Dword=REG_DWORD:0x0000001A", L"Text=REG_SZ:\"say \"x\"\"",
                                         L"Exp=REG_SZ_EXPAND:\"%TEMP%\"", L"Multi=REG_SZ_MULTI:41 00 00 00,42 00 00 00",
                                         L"Multi gaps=REG_SZ_MULTI:00 00,78 00 00 00,00 00", L"Bin=REG_BINARY:3:01 02 03",
                                         L"Even=REG_BINARY:01 02 03 04"}),
              sectionLines(file, section));
    EXPECT_TRUE(sectionLines(file, section + L"\\B\\Empty").empty());

    ASSERT_TRUE(deleteRegTree(HKEY_CURRENT_USER, kKey));
    ASSERT_TRUE(restoreText(file));
    EXPECT_EQ((std::vector<BYTE>{1, 2, 3}), rawBytes(HKEY_CURRENT_USER, kKey, L"Bin"));
    EXPECT_EQ((std::vector<BYTE>{26, 0, 0, 0}), rawBytes(HKEY_CURRENT_USER, kKey, L"Dword"));
    EXPECT_EQ(before, treeOf(HKEY_CURRENT_USER, kKey)); // the empty keys and the empty items included
    EXPECT_FALSE(logHas(L"EXCEPTION_BAD"));
}

// The round trips that lost data while both sides answered true: each comes back exactly now, or
// the export refuses it and says so.
TEST_F(RegistryFileTest, ValuesThatWereLostOnTheWayComeBackExactlyOrTheExportRefusesThem)
{
    const BYTE odd[] = {0xAB, 0x00, 0xCD};
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"first item empty", std::wstring(L"\0x\0", 3), REG_MULTI_SZ));
    ASSERT_TRUE(setRegBinary(HKEY_LOCAL_MACHINE, kKey, L"three bytes", odd, sizeof(odd)));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"no percent", L"C:\\plain", REG_EXPAND_SZ));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey + L"\\Sub", L"v", 1));
    ASSERT_TRUE(deleteRegValue(HKEY_LOCAL_MACHINE, kKey + L"\\Sub", L"v")); // a subkey with no values
    Tree expected = treeOf(HKEY_LOCAL_MACHINE, kKey);

    const std::wstring file = freshFile(L"lost.ini");
    EXPECT_FALSE(saveText(HKEY_LOCAL_MACHINE, kKey, file));
    EXPECT_EQ((std::vector<std::wstring>{L"\"Unable to export a value the file cannot carry back ( \"" + kSection +
                                         L"\\no percent\" ): an expandable text without a pair of '%' (the import "
                                         L"refuses it)\""}),
              logMessages(L"EXCEPTION_BAD"));
    ASSERT_TRUE(deleteRegTree(HKEY_LOCAL_MACHINE, kKey));
    EXPECT_TRUE(restoreText(file));
    expected[kKey].erase(L"no percent");
    EXPECT_EQ(expected, treeOf(HKEY_LOCAL_MACHINE, kKey));
    EXPECT_EQ((std::vector<BYTE>{0, 0, 'x', 0, 0, 0, 0, 0}), rawBytes(HKEY_LOCAL_MACHINE, kKey, L"first item empty"));
    EXPECT_EQ((std::vector<BYTE>{0xAB, 0x00, 0xCD}), rawBytes(HKEY_LOCAL_MACHINE, kKey, L"three bytes"));
    EXPECT_TRUE(regKeyExists(HKEY_LOCAL_MACHINE, kKey + L"\\Sub"));
}

TEST_F(RegistryFileTest, DeleteFirstReplacesTheFileOtherwiseEntriesAreMerged)
{
    const std::wstring file = freshFile(L"folder\\merge.ini"); // the folder does not exist yet
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"First", 1));
    ASSERT_TRUE(saveText(HKEY_LOCAL_MACHINE, kKey, file));
    ASSERT_TRUE(deleteRegValue(HKEY_LOCAL_MACHINE, kKey, L"First"));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"Second", 2));

    ASSERT_TRUE(saveText(HKEY_LOCAL_MACHINE, kKey, file, false));
    EXPECT_EQ((std::vector<std::wstring>{L"First=REG_DWORD:0x00000001", L"Second=REG_DWORD:0x00000002"}),
              sectionLines(file, kSection));
    ASSERT_TRUE(saveText(HKEY_LOCAL_MACHINE, kKey, file, true));
    EXPECT_EQ((std::vector<std::wstring>{L"Second=REG_DWORD:0x00000002"}), sectionLines(file, kSection));
}

TEST_F(RegistryFileTest, ImportCreatesTheKeysOfSectionsWithoutUsableEntriesAndRefusesSectionsThatNameNoKey)
{
    const std::wstring file = freshFile(L"import.ini");
    writeIni(file, L"[HKEY_LOCAL_MACHINE\\" + kKey + L"\\Unknown]\r\n"
                   L"x=REG_QWORD:0x1\r\nno type here\r\n"
                   L"[HKEY_LOCAL_MACHINE\\" + kKey + L"\\Good]\r\n"
                   L"Bad=REG_DWORD:zz\r\nNoPercent=REG_SZ_EXPAND:\"plain\"\r\nGood=REG_DWORD:0x10\r\n"
                   L"[HKEY_CURRENT_USER\\" + kKey + L"]\r\nUser=REG_SZ:\"u\"\r\n"
                   L"[NoKeyPath]\r\nRoot=REG_DWORD:0x1\r\n"
                   L"[HKEY_LOCAL_MACHINE\\" + kKey + L"\\\\Twice]\r\nRoot=REG_DWORD:0x1\r\n");
    EXPECT_FALSE(restoreText(file)); // what could be imported is, and each refusal is logged

    const std::wstring unknown = L"HKEY_LOCAL_MACHINE\\" + kKey + L"\\Unknown";
    const std::wstring good = L"HKEY_LOCAL_MACHINE\\" + kKey + L"\\Good";
    EXPECT_EQ((std::vector<std::wstring>{
                  L"\"Unable to import line 2 ( section: " + unknown + L", entry: x=REG_QWORD:0x1 ): bad type prefix\"",
                  L"\"Unable to import line 3 ( section: " + unknown + L", entry: no type here ): no type prefix\"",
                  L"\"Unable to import line 5 ( section: " + good + L", entry: Bad=REG_DWORD:zz ): bad number\"",
                  L"\"A bad argument was provided ( m_szRegStringCache ). value doesn't represent an expandable "
                  L"value which is required\"",
                  L"\"Unable to import line 6 ( section: " + good +
                      L", entry: NoPercent=REG_SZ_EXPAND:\"plain\" ): the value could not be written\"",
                  L"\"Unable to import line 10 ( [NoKeyPath] ): it names no registry key; the entries of the section are "
                  L"not written\"",
                  L"\"Unable to import line 12 ( [HKEY_LOCAL_MACHINE\\" + kKey +
                      L"\\\\Twice] ): it names no registry key; the entries of the section are not written\""}),
              logMessages(L"EXCEPTION_BAD"));

    EXPECT_EQ((Tree{{kKey + L"\\Unknown", {}}}), treeOf(HKEY_LOCAL_MACHINE, kKey + L"\\Unknown"));
    EXPECT_EQ((Tree{{kKey + L"\\Good", {{L"Good", Value(REG_DWORD, {0x10, 0, 0, 0})}}}}),
              treeOf(HKEY_LOCAL_MACHINE, kKey + L"\\Good"));
    EXPECT_EQ((std::vector<BYTE>{'u', 0}), rawBytes(HKEY_CURRENT_USER, kKey, L"User"));
    EXPECT_TRUE(treeOf(HKEY_LOCAL_MACHINE, L"NoKeyPath").empty());
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kKey + L"\\Twice"));
    EXPECT_NE(ERROR_SUCCESS, RegQueryValueExW(HKEY_LOCAL_MACHINE, L"Root", nullptr, nullptr, nullptr, nullptr));
}

TEST_F(RegistryFileTest, MissingFileImportsNothingAndSucceeds)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"Stays", 5));
    const Tree before = treeOf(HKEY_LOCAL_MACHINE, L"SOFTWARE");
    EXPECT_TRUE(restoreText(freshFile(L"absent.ini")));
    EXPECT_EQ(before, treeOf(HKEY_LOCAL_MACHINE, L"SOFTWARE"));
}

TEST_F(RegistryFileTest, TextWithALineBreakIsNotExportedAndCannotInjectAnEntry)
{
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Note", L"x\"\r\nEvil=REG_DWORD:0x1"));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Fine", L"ok"));
    const std::wstring file = freshFile(L"linebreak.ini");
    EXPECT_FALSE(saveText(HKEY_LOCAL_MACHINE, kKey, file));
    EXPECT_EQ((std::vector<std::wstring>{L"Fine=REG_SZ:\"ok\""}), sectionLines(file, kSection));
    EXPECT_EQ((std::vector<std::wstring>{L"\"Unable to export a value the file cannot carry back ( \"" + kSection +
                                         L"\\Note\" ): a line break in its text\""}),
              logMessages(L"EXCEPTION_BAD"));
}

TEST_F(RegistryFileTest, EntryThatDoesNotParseKeepsTheExistingValueAndIsLogged)
{
    struct Case {
        const wchar_t* wcsLine;
        const wchar_t* wcsProblem;
    };
    const Case cases[] = {
        {L"v=REG_BINARY:01 0G 03 04", L"bad hex code"},
        {L"v=REG_BINARY:01 02 0", L"bad hex code"},
        {L"v=REG_BINARY:0102", L"bad hex code"},
        {L"v=REG_BINARY:01  02", L"bad hex code"},
        {L"v=REG_BINARY:01 02 03",
         L"an odd number of hex codes (an odd number of bytes is written with its count, as in 3:01 02 03)"},
        {L"v=REG_BINARY:4:01 02 03", L"the byte count does not match the hex codes"},
        {L"v=REG_BINARY::01", L"the byte count does not match the hex codes"},
        {L"v=REG_BINARY:-1:01", L"the byte count does not match the hex codes"},
        {L"v=REG_SZ_MULTI:41 00 00 00,42 0G 00 00", L"bad hex code"},
        {L"v=REG_SZ_MULTI:41 00 00 00,,42 00 00 00", L"bad hex code"},
        {L"v=REG_SZ_MULTI:,78 00 00 00", L"bad hex code"}, // an empty item is "00 00"
        {L"v=REG_SZ_MULTI:41 00 00", L"bad hex code"},
        {L"v=REG_SZ_MULTI:41 00 42 00", L"an item without its terminating zero"},
        {L"v=REG_SZ_MULTI:41 00 00 00 42 00 00 00", L"an item with a zero character inside"},
        {L"v=REG_DWORD:0x", L"bad number"},
        {L"v=REG_DWORD:", L"bad number"},
        {L"v=REG_DWORD:h", L"bad number"},
        {L"v=REG_DWORD:0x123456789", L"bad number"},
        {L"v=REG_DWORD:0x1Ah", L"bad number"},
        {L"v=REG_DWORD:1 A", L"bad number"},
        {L"v=REG_DWORD:-1", L"bad number"},
        {L"v=REG_DWORD:\x0007""0x1", L"bad number"},
        {L"v=REG_SZ:\"no closing quote", L"the text is not between double quotes"},
        {L"v=REG_SZ:", L"the text is not between double quotes"},
        {L"v=REG_SZ: \"x\"", L"the text is not between double quotes"},
        {L"v=REG_SZ_EXPAND:%TEMP%", L"the text is not between double quotes"},
        {L"v=REG_QWORD:0x1", L"bad type prefix"},
        {L"v=reg_sz:\"x\"", L"bad type prefix"},
        {L"v=REG_DWORD", L"no type prefix"},
    };
    std::vector<std::wstring> expected;
    for (const Case& c : cases) {
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"v", L"existing"));
        const std::wstring file = freshFile(L"bad.ini");
        writeIni(file, L"[" + kSection + L"]\r\n" + c.wcsLine + L"\r\nok=REG_DWORD:0x2\r\n");
        EXPECT_FALSE(restoreText(file)) << c.wcsLine;
        EXPECT_EQ((std::vector<BYTE>{'e', 0, 'x', 0, 'i', 0, 's', 0, 't', 0, 'i', 0, 'n', 0, 'g', 0}),
                  rawBytes(HKEY_LOCAL_MACHINE, kKey, L"v"))
            << c.wcsLine;
        EXPECT_EQ((std::vector<BYTE>{2, 0, 0, 0}), rawBytes(HKEY_LOCAL_MACHINE, kKey, L"ok")) << c.wcsLine;
        std::wstring shown = c.wcsLine;
        std::replace(shown.begin(), shown.end(), L'\x0007', L'?');
        expected.push_back(L"\"Unable to import line 2 ( section: " + kSection + L", entry: " + shown + L" ): " +
                           c.wcsProblem + L"\"");
    }
    EXPECT_EQ(expected, logMessages(L"EXCEPTION_BAD"));
}

TEST_F(RegistryFileTest, NumbersAreReadInEachHexFormAndBinaryDataWithOrWithoutItsCount)
{
    struct Case {
        const wchar_t* wcsData;
        Value value;
    };
    const Case cases[] = {
        {L"REG_DWORD:0x0000001A", Value(REG_DWORD, {26, 0, 0, 0})},
        {L"REG_DWORD:0X1a", Value(REG_DWORD, {26, 0, 0, 0})},
        {L"REG_DWORD:1Ah", Value(REG_DWORD, {26, 0, 0, 0})},
        {L"REG_DWORD:1B", Value(REG_DWORD, {27, 0, 0, 0})}, // hex digits, never a binary notation
        {L"REG_DWORD: \t0xFFFFFFFF", Value(REG_DWORD, {255, 255, 255, 255})},
        {L"REG_BINARY:", Value(REG_BINARY, {})},
        {L"REG_BINARY:0:", Value(REG_BINARY, {})},
        {L"REG_BINARY:1:ff", Value(REG_BINARY, {0xFF})},
        {L"REG_BINARY:2:01 02", Value(REG_BINARY, {1, 2})},
        {L"REG_SZ_MULTI:", Value(REG_MULTI_SZ, {})},
        {L"REG_SZ_MULTI:00 00", Value(REG_MULTI_SZ, {0, 0, 0, 0})},
    };
    for (const Case& c : cases) {
        const std::wstring file = freshFile(L"forms.ini");
        writeIni(file, L"[" + kSection + L"]\r\nv=" + c.wcsData + L"\r\n");
        EXPECT_TRUE(restoreText(file)) << c.wcsData;
        EXPECT_EQ((Tree{{kKey, {{L"v", c.value}}}}), treeOf(HKEY_LOCAL_MACHINE, kKey)) << c.wcsData;
    }
    EXPECT_FALSE(logHas(L"EXCEPTION_BAD"));
}

TEST_F(RegistryFileTest, NamesTheFileCannotCarryBackAreRefusedAndCannotWriteElsewhere)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"x\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\nevil", 1));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey + L"\\k]\r\n[HKEY_LOCAL_MACHINE", L"inside", 2));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"fine", 3));
    const std::wstring file = freshFile(L"hostile.ini");
    EXPECT_FALSE(saveText(HKEY_LOCAL_MACHINE, kKey, file));
    EXPECT_EQ((std::vector<std::wstring>{
                  L"\"Unable to export a value whose name the file cannot hold ( \"" + kSection +
                      L"\\x??[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]??evil\" ): a line break\"",
                  L"\"Unable to export a subkey whose name the file cannot hold ( \"" + kSection +
                      L"\\k]??[HKEY_LOCAL_MACHINE\" ): a line break\""}),
              logMessages(L"EXCEPTION_BAD"));
    CKSLIni::StringList names;
    EXPECT_TRUE(CKSLIni(file.c_str()).getProfileSectionNames(names));
    EXPECT_EQ((std::vector<std::wstring>{kSection}), toVector(names));
    EXPECT_EQ((std::vector<std::wstring>{L"fine=REG_DWORD:0x00000003"}), sectionLines(file, kSection));

    ASSERT_TRUE(deleteRegTree(HKEY_LOCAL_MACHINE, kKey));
    EXPECT_TRUE(restoreText(file));
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Other"));
    EXPECT_EQ((Tree{{kKey, {{L"fine", Value(REG_DWORD, {3, 0, 0, 0})}}}}), treeOf(HKEY_LOCAL_MACHINE, kKey));
}

TEST_F(RegistryFileTest, MergingIntoAnAnsiFileRefusesTextsItsCodePageCannotHold)
{
    const std::wstring file = freshFile(L"ansi_merge.ini");
    {
        CKSLScopedFile ansi(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(ansi.get(), "[Other]\r\nx=1\r\n", 14, &written, nullptr));
    }
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"plain", L"text"));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"wide", L"\x4E2D\x6587"));
    EXPECT_FALSE(saveText(HKEY_LOCAL_MACHINE, kKey, file, false));
    EXPECT_EQ((std::vector<std::wstring>{
                  L"\"A bad argument was provided ( szValue ). the text cannot be represented in the ANSI code page "
                  L"of the file\"",
                  L"\"Unable to write profile string ( section: " + kSection + L", key name: wide )\""}),
              logMessages(L"EXCEPTION_BAD"));
    EXPECT_EQ((std::vector<std::wstring>{L"plain=REG_SZ:\"text\""}), sectionLines(file, kSection));
    EXPECT_EQ((std::vector<std::wstring>{L"x=1"}), sectionLines(file, L"Other"));
}

TEST_F(RegistryFileTest, KeysTheFileCannotNameAreNotExportedAndLeaveTheFileAlone)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Bra[ck]et", L"v", 1));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"v", 1));
    CKSLScopedKey hOpened; // a key handle of its own is no root a section can name
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_READ, hOpened.receive()));
    struct Case {
        HKEY hRoot;
        const wchar_t* wcsPath;
        const wchar_t* wcsProblem;
    };
    const Case cases[] = {
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Missing", L"the key does not exist"},
        {hOpened.get(), L"IniExport", L"the file has no name for its root"},
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Bra[ck]et", L"a '[' or ']' inside the section name"},
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\\\IniExport", L"it names no registry key"},
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\IniExport ", L"a blank at the end of the key path"},
    };
    const std::wstring file = freshFile(L"kept.ini");
    writeIni(file, L"[Kept]\r\nx=1\r\n");
    for (const Case& c : cases) {
        const size_t logged = logMessages(L"EXCEPTION_BAD").size();
        EXPECT_FALSE(saveText(c.hRoot, c.wcsPath, file)) << c.wcsPath;
        const std::vector<std::wstring> messages = logMessages(L"EXCEPTION_BAD");
        EXPECT_EQ((std::vector<std::wstring>{std::wstring(L"\"Unable to export key ( \"") + c.wcsPath + L"\" ): " +
                                             c.wcsProblem + L"; nothing is written\""}),
                  std::vector<std::wstring>(messages.begin() + static_cast<long>(logged), messages.end()));
        EXPECT_EQ((std::vector<std::wstring>{L"x=1"}), sectionLines(file, L"Kept")) << c.wcsPath; // not deleted
    }
}
