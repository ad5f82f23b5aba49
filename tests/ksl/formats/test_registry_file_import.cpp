// The registry text import, line by line: files edited by hand, files the profile functions would
// misread, and files as the export has always written them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ini_test_support.h"
#include "registry_tree.h"
#include "scratch_registry.h"

namespace {

using registry_tree::Tree;
using registry_tree::Value;
using registry_tree::Values;

const std::wstring kKey = L"SOFTWARE\\IniImport";
const std::wstring kMachine = L"HKEY_LOCAL_MACHINE\\" + kKey;
const std::wstring kUser = L"HKEY_CURRENT_USER\\" + kKey;

Value dword(DWORD value)
{
    return Value(REG_DWORD, std::vector<BYTE>(reinterpret_cast<BYTE*>(&value), reinterpret_cast<BYTE*>(&value) + 4));
}

Value text(const std::wstring& chars, DWORD type = REG_SZ)
{
    const BYTE* bytes = reinterpret_cast<const BYTE*>(chars.data());
    return registry_tree::normalValue(type, std::vector<BYTE>(bytes, bytes + chars.size() * 2));
}

// Items each followed by its zero; the closing zero is added here.
Value multi(const std::wstring& items)
{
    const std::wstring data = items + L'\0';
    const BYTE* bytes = reinterpret_cast<const BYTE*>(data.data());
    return Value(REG_MULTI_SZ, std::vector<BYTE>(bytes, bytes + data.size() * 2));
}

Value binary(const std::vector<BYTE>& bytes)
{
    return Value(REG_BINARY, bytes);
}

// The tree under kKey of one root: the key alone, or nothing when values is null.
Tree keyWith(const Values* values)
{
    return values != nullptr ? Tree{{kKey, *values}} : Tree{};
}

std::string utf16File(const std::wstring& text, bool bMark = true)
{
    std::string bytes = bMark ? "\xFF\xFE" : "";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    return bytes;
}

std::wstring importLine(int line, const std::wstring& section, const std::wstring& entry, const std::wstring& problem)
{
    return L"\"Unable to import line " + std::to_wstring(line) + L" ( section: " + section + L", entry: " + entry +
           L" ): " + problem + L"\"";
}

std::wstring lineFault(int line, const std::wstring& text, const std::wstring& problem)
{
    return L"\"Unable to import line " + std::to_wstring(line) + L" ( " + text + L" ): " + problem + L"\"";
}

const std::wstring kSectionNotWritten = L"; the entries of the section are not written";

using RegistryFileImportTest = RegistryFileTest;

} // namespace

TEST_F(RegistryFileImportTest, EveryLineIsImportedOrLoggedWithItsNumberAndTheRestIsStillWritten)
{
    const Values one = {{L"d", dword(1)}};
    const Values none = {};
    struct Case {
        const wchar_t* wcsWhat;
        std::wstring file;
        bool bAnswer;
        const Values* pMachine; // the values under kKey of each root; null: the key is not there
        const Values* pUser;
        std::vector<std::wstring> messages;
    };
    const Values kept = {{L"a", dword(1)}}, userC = {{L"c", dword(3)}}, userB = {{L"b", dword(2)}},
                 okBinary = {{L"ok", binary({1, 2, 3})}}, handMade = {{L"d", dword(16)}, {L"t", text(L"  x  ")}},
                 userU = {{L"u", dword(3)}};
    const Case cases[] = {
        {L"an entry above the first section",
         L"d0=REG_DWORD:0x0\r\n[" + kMachine + L"]\r\nd=REG_DWORD:0x1\r\n", false, &one, nullptr,
         {lineFault(1, L"d0=REG_DWORD:0x0", L"an entry before the first section")}},
        {L"no section line at all", L"d0=REG_DWORD:0x0\r\n\r\ns=REG_SZ:\"x\"\r\n", false, nullptr, nullptr,
         {lineFault(1, L"d0=REG_DWORD:0x0", L"an entry before the first section"),
          lineFault(3, L"s=REG_SZ:\"x\"", L"an entry before the first section")}},
        {L"text after the ']' of a section line",
         L"[" + kMachine + L"]d1=REG_DWORD:0x1\r\nd2=REG_DWORD:0x2\r\n[" + kUser + L"]\r\nu=REG_DWORD:0x3\r\n", false,
         nullptr, &userU,
         {lineFault(1, L"[" + kMachine + L"]d1=REG_DWORD:0x1", L"text after the ']' of the section line" +
                                                                    kSectionNotWritten)}},
        {L"a section that appears a second time (named in other case)",
         L"[" + kMachine + L"]\r\na=REG_DWORD:0x1\r\n[" + kUser + L"]\r\nb=REG_DWORD:0x2\r\n"
         L"[hkey_local_machine\\software\\iniimport]\r\na=REG_DWORD:0x9\r\nc=REG_DWORD:0x3\r\n",
         false, &kept, &userB,
         {lineFault(5, L"[hkey_local_machine\\software\\iniimport]",
                    L"the section of the same key began at line 1; the entries of this one are not written")}},
        {L"a [] line", L"[]\r\nx=REG_DWORD:0x1\r\n[" + kMachine + L"]\r\nd=REG_DWORD:0x1\r\n", false, &one, nullptr,
         {lineFault(1, L"[]", L"an empty section name" + kSectionNotWritten)}},
        {L"a section line without its ']'", L"[" + kMachine + L"\r\nd=REG_DWORD:0x1\r\n", false, nullptr, nullptr,
         {lineFault(1, L"[" + kMachine, L"a section line without its closing ']'" + kSectionNotWritten)}},
        {L"root names that are none of the five",
         L"[HKLM\\" + kKey + L"]\r\na=REG_DWORD:0x1\r\n[HKEY_LOCAL_MACHINF\\" + kKey + L"]\r\nb=REG_DWORD:0x2\r\n"
         L"[" + kUser + L"]\r\nc=REG_DWORD:0x3\r\n",
         false, nullptr, &userC,
         {lineFault(1, L"[HKLM\\" + kKey + L"]",
                    L"the root is none of HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS and "
                    L"HKEY_CURRENT_CONFIG" + kSectionNotWritten),
          lineFault(3, L"[HKEY_LOCAL_MACHINF\\" + kKey + L"]",
                    L"the root is none of HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS and "
                    L"HKEY_CURRENT_CONFIG" + kSectionNotWritten)}},
        {L"a root name in lower case is the user's root", L"[hkey_current_user\\" + kKey + L"]\r\nc=REG_DWORD:0x3\r\n",
         true, nullptr, &userC, {}},
        {L"a ']' inside a section name", L"[" + kMachine + L"\\a]b]\r\nd=REG_DWORD:0x1\r\n", false, nullptr, nullptr,
         {lineFault(1, L"[" + kMachine + L"\\a]b]", L"a '[' or ']' inside the section name" + kSectionNotWritten)}},
        {L"an odd number of binary codes and a multi-string item with a zero inside",
         L"[" + kMachine + L"]\r\nb=REG_BINARY:01 02 03\r\nm=REG_SZ_MULTI:41 00 00 00 42 00 00 00\r\n"
         L"ok=REG_BINARY:3:01 02 03\r\n",
         false, &okBinary, nullptr,
         {importLine(2, kMachine, L"b=REG_BINARY:01 02 03",
                     L"an odd number of hex codes (an odd number of bytes is written with its count, as in 3:01 02 03)"),
          importLine(3, kMachine, L"m=REG_SZ_MULTI:41 00 00 00 42 00 00 00", L"an item with a zero character inside")}},
        {L"a value given twice in a section",
         L"[" + kMachine + L"]\r\nd=REG_DWORD:0x1\r\nD=REG_DWORD:0x2\r\n", false, &one, nullptr,
         {importLine(3, kMachine, L"D=REG_DWORD:0x2", L"the value was given before, at line 2")}},
        {L"an entry without a name", L"[" + kMachine + L"]\r\n=REG_DWORD:0x1\r\n", false, &none, nullptr,
         {importLine(2, kMachine, L"=REG_DWORD:0x1", L"an entry without a name")}},
        {L"comments, blank lines, line feeds alone and blanks around names, as the profile functions read them",
         L"; made by hand\n\n \t[" + kMachine + L"] \n d = REG_DWORD:0x10 \t\nt=REG_SZ:\"  x  \"\n;[" + kUser + L"]\n",
         true, &handMade, nullptr, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wcsWhat);
        ASSERT_TRUE(deleteRegTree(HKEY_LOCAL_MACHINE, kKey) || !regKeyExists(HKEY_LOCAL_MACHINE, kKey));
        ASSERT_TRUE(deleteRegTree(HKEY_CURRENT_USER, kKey) || !regKeyExists(HKEY_CURRENT_USER, kKey));
        const size_t logged = logMessages(L"EXCEPTION_BAD").size();
        const std::wstring file = freshFile(L"hand.ini");
        writeIni(file, c.file);
        EXPECT_EQ(c.bAnswer, restoreText(file));
        EXPECT_EQ(keyWith(c.pMachine), registry_tree::treeOf(HKEY_LOCAL_MACHINE, kKey));
        EXPECT_EQ(keyWith(c.pUser), registry_tree::treeOf(HKEY_CURRENT_USER, kKey));
        const std::vector<std::wstring> messages = logMessages(L"EXCEPTION_BAD");
        EXPECT_EQ(c.messages, std::vector<std::wstring>(messages.begin() + static_cast<long>(logged), messages.end()));
    }
}

TEST_F(RegistryFileImportTest, FilesTheProfileFunctionsWouldMisreadAreRefusedWholeAndWriteNothing)
{
    const std::wstring valid = L"[" + kMachine + L"]\r\nfirst=REG_DWORD:0x1\r\nd=REG_DWORD:0x00000005\r\n";
    const std::string cutInsideACharacter = utf16File(L"[" + kMachine + L"]\r\nd=REG_DWORD:0x00000005");
    std::string bigEndian = "\xFE\xFF";
    for (wchar_t c : valid)
        bigEndian += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    struct Case {
        const wchar_t* wcsWhat;
        std::string bytes;
        std::wstring problem;
    };
    const Case cases[] = {
        {L"UTF-16 text without its byte-order mark", utf16File(valid, false),
         L"a NUL character: UTF-16 text without its byte-order mark, or no text at all at line 1"},
        {L"a NUL character inside a text",
         utf16File(valid + L"t=REG_SZ:\"a" + std::wstring(1, L'\0') + L"b\"\r\n"), L"a NUL character at line 4"},
        {L"a UTF-8 byte-order mark in front of UTF-16 text", "\xEF\xBB\xBF" + utf16File(valid),
         L"it starts with a UTF-8 byte-order mark (the import reads UTF-16 text with its byte-order mark, or ANSI "
         L"text)"},
        {L"big-endian UTF-16 text", bigEndian,
         L"it is big-endian UTF-16 text (the import reads UTF-16 text with its byte-order mark, or ANSI text)"},
        {L"UTF-16 cut in the middle of a character (the last line's number would lose its last digit)",
         cutInsideACharacter.substr(0, cutInsideACharacter.size() - 1), L"it ends inside a character"},
        {L"UTF-16 cut between the two halves of a character", utf16File(valid + L"t=REG_SZ:\"\xD83D"),
         L"it ends inside a character"},
        {L"a carriage return inside a line", utf16File(valid + L"x=REG_DWORD:0x1\rnext=REG_DWORD:0x2\r\n"),
         L"a carriage return inside a line at line 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wcsWhat);
        const size_t logged = logMessages(L"EXCEPTION_BAD").size();
        const std::wstring file = freshFile(L"misread.ini");
        writeBytes(file, c.bytes);
        EXPECT_FALSE(restoreText(file));
        EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kKey));
        const std::vector<std::wstring> messages = logMessages(L"EXCEPTION_BAD");
        EXPECT_EQ((std::vector<std::wstring>{L"\"Unable to import file ( " + file + L" ): " + c.problem +
                                             L"; nothing is written\""}),
                  std::vector<std::wstring>(messages.begin() + static_cast<long>(logged), messages.end()));
    }

    // The same file in the forms the import reads: UTF-16 with its mark, and ANSI text.
    for (const std::string& bytes : {utf16File(valid), std::string(valid.begin(), valid.end())}) {
        ASSERT_TRUE(deleteRegTree(HKEY_LOCAL_MACHINE, kKey) || !regKeyExists(HKEY_LOCAL_MACHINE, kKey));
        const std::wstring file = freshFile(L"read.ini");
        writeBytes(file, bytes);
        EXPECT_TRUE(restoreText(file));
        EXPECT_EQ((Tree{{kKey, {{L"first", dword(1)}, {L"d", dword(5)}}}}), registry_tree::treeOf(HKEY_LOCAL_MACHINE, kKey));
    }
}

TEST_F(RegistryFileImportTest, FilesAsTheExportHasAlwaysWrittenThemImportAsBefore)
{
    // The export's earlier form: an odd binary value padded to whole characters (it comes back as
    // written, four bytes), no empty sections, a key's sections in depth-first order.
    const std::wstring file = freshFile(L"earlier.ini");
    writeIni(file, L"\r\n[" + kUser + L"]\r\nDword=REG_DWORD:0x0000001A\r\nText=REG_SZ:\"say \"x\"\"\r\n"
                   L"Exp=REG_SZ_EXPAND:\"%TEMP%\"\r\nMulti=REG_SZ_MULTI:41 00 00 00,42 00 00 00\r\n"
                   L"Bin=REG_BINARY:01 02 03 00\r\nNone=REG_BINARY:\r\nNoItems=REG_SZ_MULTI:\r\n"
                   L"\r\n[" + kUser + L"\\A]\r\na=REG_DWORD:0x00000001\r\n");
    EXPECT_TRUE(restoreText(file));
    EXPECT_EQ((Tree{{kKey,
                     {{L"Dword", dword(26)},
                      {L"Text", text(L"say \"x\"")},
                      {L"Exp", text(L"%TEMP%", REG_EXPAND_SZ)},
                      {L"Multi", multi(std::wstring(L"A\0B\0", 4))},
                      {L"Bin", binary({1, 2, 3, 0})},
                      {L"None", binary({})},
                      {L"NoItems", Value(REG_MULTI_SZ, {})}}},
                    {kKey + L"\\A", {{L"a", dword(1)}}}}),
              registry_tree::treeOf(HKEY_CURRENT_USER, kKey));
    EXPECT_FALSE(logHas(L"EXCEPTION_BAD"));
}

TEST_F(RegistryFileImportTest, AFileWithManyFaultsListsTheFirstHundredAndCountsTheRest)
{
    std::wstring lines = L"[" + kMachine + L"]\r\n";
    for (int n = 0; n < 150; ++n)
        lines += L"v" + std::to_wstring(n) + L"=REG_DWORD:zz\r\n";
    lines += L"ok=REG_DWORD:0x1\r\n";
    const std::wstring file = freshFile(L"many.ini");
    writeIni(file, lines);
    EXPECT_FALSE(restoreText(file));
    EXPECT_EQ((Tree{{kKey, {{L"ok", dword(1)}}}}), registry_tree::treeOf(HKEY_LOCAL_MACHINE, kKey));
    const std::vector<std::wstring> messages = logMessages(L"EXCEPTION_BAD");
    ASSERT_EQ(101u, messages.size());
    EXPECT_EQ(importLine(101, kMachine, L"v99=REG_DWORD:zz", L"bad number"), messages[99]);
    EXPECT_EQ(L"\"Unable to import 50 more lines, the first of them line 102 ( not listed one by one )\"", messages[100]);
}
