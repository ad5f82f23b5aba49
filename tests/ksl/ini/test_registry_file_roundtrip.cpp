// The registry text form on a large, hostile tree: every type, values of a megabyte and of 40,000
// characters, 300 subkeys, non-ASCII names and texts, and names the file cannot carry back.
// Export, delete, import: the tree comes back whole except what the export refused and logged.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "../../helpers/registry_tree.h"
#include "ini_test_support.h"
#include "scratch_registry.h"

namespace {

using registry_tree::Tree;
using registry_tree::treeOf;

const std::wstring kKey = L"SOFTWARE\\IniRoundTrip";
const std::wstring kSection = L"HKEY_LOCAL_MACHINE\\" + kKey;

// A text of n characters from an alphabet with quotes, percent signs, non-ASCII letters and a
// surrogate pair (never split: the pair is one unit of the alphabet).
std::wstring longText(size_t n, unsigned seed)
{
    static const wchar_t* const kUnits[] = {L"a", L"Z", L"\"", L"%", L" ", L"\x00FC", L"\x0436", L"\x4E2D",
                                            L"\xD83D\xDE00", L"=", L";", L"[", L"]", L"\\"};
    std::mt19937 random(seed);
    std::wstring text;
    while (text.size() < n)
        text += kUnits[random() % (sizeof(kUnits) / sizeof(kUnits[0]))];
    text.resize(n);
    if (text.back() >= 0xD800 && text.back() < 0xDC00)
        text.back() = L'x';
    return text;
}

std::vector<BYTE> randomBytes(size_t n, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<BYTE> bytes(n);
    for (BYTE& b : bytes)
        b = static_cast<BYTE>(random());
    return bytes;
}

struct Refused {
    std::wstring key;  // relative to kKey, "" for kKey itself
    std::wstring name; // the value or subkey name
    bool bSubKey;
    const wchar_t* wcsProblem;
};

// The names the file form cannot carry back, each with the reason the export gives.
const Refused kRefused[] = {
    {L"", L"x\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\nevil", false, L"a line break"},
    {L"", L"[starts like a section", false, L"a leading '[' or ';'"},
    {L"", L";starts like a comment", false, L"a leading '[' or ';'"},
    {L"", L" leading blank", false, L"a leading or trailing blank"},
    {L"", L"trailing blank ", false, L"a leading or trailing blank"},
    {L"", L"name=with equals", false, L"a '='"},
    {L"", L"", false, L"the default value has no entry name"},
    {L"", L"sub]\r\n[HKEY_LOCAL_MACHINE", true, L"a line break"},
    {L"", L"bracket]inside", true, L"a ']'"},
    {L"Nested-\x00FC", L"trailing blank ", true, L"a leading or trailing blank"},
    {L"Nested-\x00FC", L";comment", true, L"a leading '[' or ';'"},
};

std::wstring under(const std::wstring& relative)
{
    return relative.empty() ? kKey : kKey + L"\\" + relative;
}

class RegistryFileRoundTripTest : public RegistryFileTest {
protected:
    void buildTree()
    {
        // Beside a megabyte of binary data, 300 DWORDs (the multiple-value query would need one
        // buffer of 300 times the largest value). The key comes last: every later entry would
        // rewrite the whole file of several megabytes.
        const std::wstring big = under(L"zz Big values");
        for (int n = 0; n < 300; ++n)
            ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, big, (L"dword-" + std::to_wstring(n)).c_str(), n * 7919u));
        const std::vector<BYTE> megabyte = randomBytes(1 << 20, 1);
        ASSERT_TRUE(setRegBinary(HKEY_LOCAL_MACHINE, big, L"megabyte", megabyte.data(), 1 << 20));
        const std::vector<BYTE> eleven = randomBytes(11000, 2);
        ASSERT_TRUE(setRegBinary(HKEY_LOCAL_MACHINE, big, L"eleven thousand", eleven.data(), 11000));
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, big, L"long text \x0436", longText(40000, 3)));
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, big, L"long expand", L"%TEMP%" + longText(40000, 4), REG_EXPAND_SZ));
        const std::wstring multi = longText(20000, 5) + L'\0' + longText(20000, 6) + L'\0';
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, big, L"long multi", multi, REG_MULTI_SZ));

        // Every type with ordinary and non-ASCII names and texts.
        ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"Zahl-\x00FC", 0xFFFFFFFF));
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"\x4E2D\x6587", L"\x4E2D\x6587 \"quoted\" \xD83D\xDE00"));
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Leer", L""));
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Pfad", L"%ProgramFiles%\\\x00C4", REG_EXPAND_SZ));
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Liste", std::wstring(L"eins\0\x0437\x0432\0,\0", 10),
                                 REG_MULTI_SZ));
        const BYTE even[] = {0, 1, 0xFE, 0xFF};
        ASSERT_TRUE(setRegBinary(HKEY_LOCAL_MACHINE, kKey, L"Bytes", even, sizeof(even)));
        ASSERT_TRUE(setRegBinary(HKEY_LOCAL_MACHINE, kKey, L"No bytes", nullptr, 0));
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, under(L"Nested-\x00FC\\Tiefer \x0436"), L"Blatt", L"  spaced  "));

        // 300 subkeys of 100-character names.
        for (int n = 0; n < 300; ++n) {
            std::wstring name = L"Unterschl\x00FC" L"ssel-\x0436-" + std::to_wstring(1000 + n);
            name += std::wstring(100 - name.size(), L'k');
            ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, under(L"Many\\" + name), L"n", static_cast<DWORD>(n)));
        }

        // The hostile names, each holding something.
        for (const Refused& refused : kRefused) {
            if (refused.bSubKey) {
                ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, under(refused.key) + L"\\" + refused.name, L"inside", 1));
                ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, under(refused.key) + L"\\" + refused.name + L"\\below",
                                        L"deeper", 2));
            } else {
                ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, under(refused.key), refused.name.c_str(), L"refused"));
            }
        }
    }

    // The tree without what the export refuses: the refused values, and each refused subkey with
    // everything below it.
    static Tree withoutRefused(Tree tree)
    {
        for (const Refused& refused : kRefused) {
            if (!refused.bSubKey) {
                tree[under(refused.key)].erase(refused.name);
                continue;
            }
            const std::wstring prefix = under(refused.key) + L"\\" + refused.name;
            for (auto it = tree.begin(); it != tree.end();)
                it = it->first == prefix || it->first.compare(0, prefix.size() + 1, prefix + L"\\") == 0 ? tree.erase(it)
                                                                                                         : std::next(it);
        }
        return tree;
    }

    static std::vector<std::wstring> refusalMessages()
    {
        std::vector<std::wstring> messages;
        for (const Refused& refused : kRefused) {
            std::wstring name = refused.name;
            std::replace(name.begin(), name.end(), L'\r', L'?');
            std::replace(name.begin(), name.end(), L'\n', L'?');
            const std::wstring section = refused.key.empty() ? kSection : kSection + L"\\" + refused.key;
            messages.push_back(std::wstring(L"\"Unable to export a ") + (refused.bSubKey ? L"subkey" : L"value") +
                               L" whose name the file cannot hold ( \"" + section + L"\\" + name + L"\" ): " +
                               refused.wcsProblem + L"\"");
        }
        std::sort(messages.begin(), messages.end());
        return messages;
    }
};

TEST_F(RegistryFileRoundTripTest, LargeHostileTreeComesBackWholeExceptTheRefusedNames)
{
    buildTree();
    ASSERT_FALSE(HasFatalFailure());
    const Tree before = treeOf(HKEY_LOCAL_MACHINE, kKey);
    ASSERT_EQ(1u + 1u + 2u + 1u + 300u + 2u * 4u, before.size()); // own, Big, Nested(2), Many(301), hostile(2 each)

    const std::wstring file = freshFile(L"large.ini");
    EXPECT_FALSE(saveText(HKEY_LOCAL_MACHINE, kKey, file)); // the refused names make it answer false
    std::vector<std::wstring> logged = logMessages(L"EXCEPTION_BAD");
    std::sort(logged.begin(), logged.end()); // the registry's enumeration order decides theirs
    EXPECT_EQ(refusalMessages(), logged);

    ASSERT_TRUE(deleteRegTree(HKEY_LOCAL_MACHINE, kKey));
    EXPECT_TRUE(restoreText(file));
    EXPECT_EQ(L"", registry_tree::differences(withoutRefused(before), treeOf(HKEY_LOCAL_MACHINE, kKey)));
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Other"));
    EXPECT_EQ(refusalMessages().size(), logMessages(L"EXCEPTION_BAD").size()); // the import logged nothing
}

} // namespace
