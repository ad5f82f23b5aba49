// The registry text form on a large, hostile tree: every type with its edge values (empty, odd
// lengths, empty items, texts stored without their terminator), values of a megabyte and of
// 40,000 characters, 300 subkeys, keys without values, non-ASCII names and texts, and names and
// data the file cannot carry back. Export, delete, import: the tree comes back identical except
// what the export refused, each logged.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "ini_test_support.h"
#include "registry_tree.h"
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
    {L"Nested-\x00FC", L"in[side", true, L"a '['"},
};

// Values whose data the file cannot carry back exactly, each with the reason the export gives
// (null: a type the file has no form for).
struct Uncarried {
    const wchar_t* wcsName;
    DWORD type;
    std::vector<BYTE> bytes;
    const wchar_t* wcsProblem;
};

const Uncarried kUncarried[] = {
    {L"dword of three bytes", REG_DWORD, {1, 2, 3}, L"a DWORD whose data is not four bytes"},
    {L"dword of eight bytes", REG_DWORD, {1, 2, 3, 4, 5, 6, 7, 8}, L"a DWORD whose data is not four bytes"},
    {L"dword of no bytes", REG_DWORD, {}, L"a DWORD whose data is not four bytes"},
    {L"text after its end", REG_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0}, L"a text with data after its terminating zero"},
    {L"text ending inside a character", REG_SZ, {'a', 0, 'b'}, L"a text that ends inside a character"},
    {L"expand without percent", REG_EXPAND_SZ, {'x', 0, 0, 0},
     L"an expandable text without a pair of '%' (the import refuses it)"},
    {L"expand with three percent", REG_EXPAND_SZ, {'%', 0, 'a', 0, '%', 0, '%', 0, 0, 0},
     L"an expandable text without a pair of '%' (the import refuses it)"},
    {L"multi without its closing zero", REG_MULTI_SZ, {'a', 0, 0, 0},
     L"a multi-string whose data is not a list of terminated strings"},
    {L"multi of one zero", REG_MULTI_SZ, {0, 0}, L"a multi-string whose data is not a list of terminated strings"},
    {L"multi of an odd length", REG_MULTI_SZ, {'a', 0, 0, 0, 0}, L"a multi-string whose data is not a list of terminated strings"},
    {L"qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}, nullptr},
};

// Edge values the file carries: they come back byte for byte (texts up to their trailing zeros).
const Uncarried kEdges[] = {
    {L"multi one empty item", REG_MULTI_SZ, {0, 0, 0, 0}, nullptr},
    {L"multi empty items around", REG_MULTI_SZ, {0, 0, 'a', 0, 0, 0, 0, 0, 'b', 0, 0, 0, 0, 0, 0, 0}, nullptr},
    {L"multi no items", REG_MULTI_SZ, {}, nullptr},
    {L"binary one byte", REG_BINARY, {0xFF}, nullptr},
    {L"binary three bytes", REG_BINARY, {0, 0, 0}, nullptr},
    {L"text without terminator", REG_SZ, {'a', 0, 'b', 0}, nullptr},
    {L"text with zeros after it", REG_SZ, {'a', 0, 0, 0, 0, 0, 0}, nullptr},
    {L"text of no bytes", REG_SZ, {}, nullptr},
    {L"expand of two percent", REG_EXPAND_SZ, {'%', 0, '%', 0, 0, 0}, nullptr},
    {L"dword zero", REG_DWORD, {0, 0, 0, 0}, nullptr},
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

        for (const Uncarried& value : kUncarried)
            ASSERT_TRUE(registry_tree::setRawValue(HKEY_LOCAL_MACHINE, under(L"Data"), value.wcsName, value.type, value.bytes));
        for (const Uncarried& value : kEdges)
            ASSERT_TRUE(registry_tree::setRawValue(HKEY_LOCAL_MACHINE, under(L"Data"), value.wcsName, value.type, value.bytes));
        // Keys without values, one inside another and one beside values.
        ASSERT_TRUE(registry_tree::setRawValue(HKEY_LOCAL_MACHINE, under(L"Leer\\Noch leerer \x0436"), L"x", REG_NONE, {}));
        ASSERT_TRUE(deleteRegValue(HKEY_LOCAL_MACHINE, under(L"Leer\\Noch leerer \x0436"), L"x"));
        ASSERT_TRUE(registry_tree::setRawValue(HKEY_LOCAL_MACHINE, under(L"Data\\Empty"), L"x", REG_NONE, {}));
        ASSERT_TRUE(deleteRegValue(HKEY_LOCAL_MACHINE, under(L"Data\\Empty"), L"x"));

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
        for (const Uncarried& value : kUncarried)
            tree[under(L"Data")].erase(value.wcsName);
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
        for (const Uncarried& value : kUncarried)
            messages.push_back(value.wcsProblem != nullptr
                                   ? L"\"Unable to export a value the file cannot carry back ( \"" + kSection +
                                         L"\\Data\\" + value.wcsName + L"\" ): " + value.wcsProblem + L"\""
                                   : L"\"Unable to export a value of a type the file has no form for ( \"" + kSection +
                                         L"\\Data\\" + value.wcsName + L"\" )\"");
        std::sort(messages.begin(), messages.end());
        return messages;
    }
};

TEST_F(RegistryFileRoundTripTest, LargeHostileTreeComesBackWholeExceptTheRefusedNames)
{
    buildTree();
    ASSERT_FALSE(HasFatalFailure());
    const Tree before = treeOf(HKEY_LOCAL_MACHINE, kKey);
    // own, Big, Nested(2), Many(301), Data and its empty key, Leer(2), hostile subkeys (2 each)
    ASSERT_EQ(1u + 1u + 2u + 301u + 2u + 2u + 2u * 5u, before.size());

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
