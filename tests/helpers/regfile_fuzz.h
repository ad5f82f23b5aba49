// Mutated registry text files for the import: a valid file with one fault put into it (a cut line
// or file, random characters, a huge line, a bad type prefix, a bad hex code, a line break in a
// name or in the data, a broken section header, a section that names no key), and a run of one
// such file against the scratch registry that checks what the import did. Every mutation is
// made so that the file is malformed whatever the random choices; the import must answer false.
// Used by the fuzz test (a few hundred files) and by the fuzz benchmark (as many as asked).
#pragma once

#include <windows.h>

#include <random>
#include <string>
#include <vector>

#include "ksl_registry_key.h"
#include "registry_tree.h"
#include "scratch_registry.h"

namespace regfile_fuzz {

struct Entry {
    std::wstring name, type, data; // the line "name=type:data"
    bool bNoColon = false;         // the line ends inside its type: "name=type"
};

struct Section {
    std::wstring name;
    std::vector<Entry> entries;
};

enum Kind {
    kTruncatedLine,
    kTruncatedFile,
    kRandomCharacters,
    kHugeLine,
    kBadPrefix,
    kBadHex,
    kNameLineBreak,
    kDataLineBreak,
    kBrokenSection,
    kSectionWithoutKey,
    kKindCount
};

inline const wchar_t* kindName(int kind)
{
    static const wchar_t* const kNames[kKindCount] = {
        L"truncated line", L"truncated file",      L"random characters", L"huge line",         L"bad prefix",
        L"bad hex code",   L"line break in name", L"line break in data", L"broken section", L"section names no key"};
    return kNames[kind];
}

// A value that a malformed entry must leave as it was ("keep", written before the import).
struct Kept {
    HKEY hRoot = nullptr;
    std::wstring key, name;
};

struct Mutated {
    std::wstring text;
    int kind = 0;
    bool bKeepCheck = false;
    Kept kept;
};

// Byte codes of a text as a multi-string item: its UTF-16LE bytes and the terminator.
inline std::wstring itemCodes(const std::wstring& text)
{
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring codes;
    const std::wstring withZero = text + L'\0';
    for (wchar_t wc : withZero)
        for (unsigned byte : {static_cast<unsigned>(wc & 0xFF), static_cast<unsigned>(wc >> 8)}) {
            if (!codes.empty())
                codes += L' ';
            codes += kDigits[byte >> 4];
            codes += kDigits[byte & 15];
        }
    return codes;
}

const wchar_t kFuzzKey[] = L"SOFTWARE\\Fuzz";

inline std::vector<Section> baseFile()
{
    const std::wstring hklm = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Fuzz\\";
    return {
        {hklm + L"A",
         {{L"d", L"REG_DWORD", L"0x0000001A"},
          {L"s", L"REG_SZ", L"\"say \"x\" ok\""},
          {L"e", L"REG_SZ_EXPAND", L"\"%TEMP%\\\x00FC\""},
          {L"m", L"REG_SZ_MULTI", itemCodes(L"A") + L"," + itemCodes(L"\x0436")},
          {L"b", L"REG_BINARY", L"01 02 03 00"},
          {L"nob", L"REG_BINARY", L""}}},
        {L"HKEY_CURRENT_USER\\SOFTWARE\\Fuzz\\B-\x0436",
         {{L"Zahl-\x00FC", L"REG_DWORD", L"0xFFFFFFFF"},
          {L"\x4E2D\x6587", L"REG_SZ", L"\"\x4E2D\x6587 [1]; 2\""},
          {L"bin", L"REG_BINARY", L"FF FE 00 01"}}},
        {hklm + L"A\\Deeper",
         {{L"x", L"REG_DWORD", L"0x00000000"},
          {L"t", L"REG_SZ", L"\"t\""},
          {L"mm", L"REG_SZ_MULTI", itemCodes(L"one two")}}},
        {hklm + L"Empty", {}},
        {hklm + L"Last", {{L"z", L"REG_DWORD", L"0x00000007"}, {L"q", L"REG_SZ", L"\"q\""}}},
    };
}

inline std::wstring line(const Entry& entry)
{
    return entry.name + L"=" + entry.type + (entry.bNoColon ? L"" : L":" + entry.data);
}

inline std::wstring render(const std::vector<Section>& sections)
{
    std::wstring text;
    for (const Section& section : sections) {
        text += L"[" + section.name + L"]\r\n";
        for (const Entry& entry : section.entries)
            text += line(entry) + L"\r\n";
    }
    return text;
}

// The root and path a section name stands for, as the import reads it (any root name but the
// user's is the machine; the fuzz files name no other root).
inline void sectionKey(const std::wstring& section, HKEY& hRoot, std::wstring& path)
{
    const size_t separator = section.find(L'\\');
    const std::wstring root = section.substr(0, separator);
    hRoot = root == L"HKEY_CURRENT_USER" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    path = separator == std::wstring::npos ? std::wstring() : section.substr(separator + 1);
}

class Generator {
public:
    explicit Generator(unsigned seed) : m_random(seed) {}

    Mutated next()
    {
        std::vector<Section> sections = baseFile();
        Mutated mutated;
        mutated.kind = static_cast<int>(pick(kKindCount - 1));
        // The first section is never the one whose header breaks: its lines would fall into the
        // nameless part before every section, which no reader sees.
        size_t s = 0, e = 0;
        do {
            s = pick(sections.size() - 1);
        } while (sections[s].entries.empty() || (mutated.kind == kBrokenSection && s == 0));
        e = pick(sections[s].entries.size() - 1);
        Entry& entry = sections[s].entries[e];
        HKEY hRoot = nullptr;
        std::wstring path;
        sectionKey(sections[s].name, hRoot, path);
        mutated.kept = {hRoot, path, entry.name};
        mutated.bKeepCheck = true;

        switch (mutated.kind) {
        case kTruncatedLine:
        case kTruncatedFile:
            truncate(entry);
            break;
        case kRandomCharacters:
            randomCharacters(entry);
            break;
        case kHugeLine:
            huge(entry);
            break;
        case kBadPrefix:
            entry.type = pickOf({L"REG_QWORD", L"REG_SZ_EXPANDED", L"reg_sz", L"REG_ DWORD", L"", L"REG_BINARY ",
                                 L"REG_MULTI_SZ", L"REG_EXPAND_SZ", L"DWORD"});
            break;
        case kBadHex:
            badHex(entry);
            break;
        case kNameLineBreak:
            entry.name += L"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Fuzz\\Injected]\r\nevil";
            break;
        case kDataLineBreak:
            mutated.bKeepCheck = false; // the first half may be a valid value of its own
            if (!breakData(entry))
                entry.name += L"\r\nstray"; // the first line is a name alone
            break;
        case kBrokenSection:
            mutated.bKeepCheck = false; // the lines move into the section before
            break;
        case kSectionWithoutKey:
            sections[s].name = pickOf({L"HKEY_LOCAL_MACHINE", L"HKEY_LOCAL_MACHINE\\SOFTWARE\\\\Fuzz",
                                       L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Fuzz\\", L"HKEY_CURRENT_USER\\\\x"});
            break;
        }
        mutated.text = render(sections);
        if (mutated.kind == kBrokenSection)
            breakHeader(mutated.text, sections[s].name);
        if (mutated.kind == kTruncatedFile) {
            const std::wstring cut = line(entry) + L"\r\n";
            mutated.text = mutated.text.substr(0, mutated.text.find(cut) + cut.size() - 2);
        }
        return mutated;
    }

private:
    size_t pick(size_t max) { return std::uniform_int_distribution<size_t>(0, max)(m_random); }

    const wchar_t* pickOf(std::initializer_list<const wchar_t*> choices)
    {
        return choices.begin()[pick(choices.size() - 1)];
    }

    static bool isHexType(const Entry& entry) { return entry.type == L"REG_BINARY" || entry.type == L"REG_SZ_MULTI"; }

    // A character that no reader takes for a hex digit, a quote, a notation marker, a blank, a
    // line break or a separator.
    wchar_t strangeCharacter()
    {
        return pickOf({L"!", L"@", L"G", L"z", L"~", L"\x00E9", L"\x0436", L"\x4E2D", L"\x00BF", L"(", L"|", L"_"})[0];
    }

    // Cuts the line so that what is left cannot be parsed: a number without digits, a text
    // without its closing quote, a lone hex digit, or a type without its colon.
    void truncate(Entry& entry)
    {
        const size_t n = entry.data.size();
        if (pick(3) == 0) {
            entry.type.resize(pick(entry.type.size() - 1));
            entry.bNoColon = true;
        } else if (entry.type == L"REG_DWORD") {
            entry.data = pickOf({L"", L"0x"});
        } else if (entry.type == L"REG_SZ" || entry.type == L"REG_SZ_EXPAND") {
            // The profile functions trim the end of a line: a cut behind a blank that follows an
            // inner quote would leave a text that ends with a quote again.
            size_t cut = pick(n - 1);
            while (cut > 0 && (entry.data[cut - 1] == L'"' || entry.data[cut - 1] == L' '))
                --cut;
            entry.data.resize(cut);
        } else if (n >= 2) {
            entry.data.resize(3 * pick((n - 2) / 3) + 1);
        } else {
            entry.data = L"0";
        }
    }

    void randomCharacters(Entry& entry)
    {
        const size_t count = 1 + pick(2);
        if (pick(3) == 0 || entry.data.size() < 2) {
            wchar_t& wc = entry.type[pick(entry.type.size() - 1)];
            const wchar_t old = wc;
            while (wc == old)
                wc = strangeCharacter();
            return;
        }
        for (size_t i = 0; i < count; ++i) {
            if (entry.type == L"REG_DWORD") {
                entry.data[2 + pick(entry.data.size() - 3)] = strangeCharacter();
            } else if (isHexType(entry)) {
                size_t at = pick(entry.data.size() - 1);
                if (at % 3 == 2)
                    --at;
                entry.data[at] = strangeCharacter();
            } else {
                entry.data.back() = strangeCharacter(); // the closing quote
            }
        }
    }

    void huge(Entry& entry)
    {
        const size_t n = 100000 + pick(50000);
        if (entry.type == L"REG_DWORD") {
            entry.data = L"0x" + std::wstring(n, L'0');
        } else if (entry.type == L"REG_SZ" || entry.type == L"REG_SZ_EXPAND") {
            entry.data = L"\"%" + std::wstring(n, L'\x0436') + L"%";
        } else {
            std::wstring codes;
            for (size_t i = 0; i < n / 3; ++i)
                codes += L"00 ";
            entry.data = codes + L"0G";
        }
    }

    void badHex(Entry& entry)
    {
        if (entry.type == L"REG_DWORD") {
            entry.data[2 + pick(entry.data.size() - 3)] = pickOf({L"G", L"g", L"Z"})[0];
        } else if (isHexType(entry) && !entry.data.empty()) {
            size_t at = pick(entry.data.size() - 1);
            if (at % 3 == 2)
                --at;
            entry.data[at] = pickOf({L"G", L"g", L"Z", L" ", L"-"})[0];
        } else {
            entry.type = L"REG_HEX"; // a text has no hex codes: a bad prefix instead
        }
    }

    // A line break inside the data, placed so that the second half is no entry of its own (no
    // '=' in it) and no section or comment line either.
    bool breakData(Entry& entry)
    {
        const std::wstring& data = entry.data;
        for (int attempt = 0; attempt < 20 && data.size() >= 2; ++attempt) {
            const size_t at = 1 + pick(data.size() - 2);
            const std::wstring second = data.substr(at);
            if (second.find(L'=') == std::wstring::npos && std::wstring(L";[ ").find(second[0]) == std::wstring::npos) {
                entry.data = data.substr(0, at) + L"\r\n" + second;
                return true;
            }
        }
        return false;
    }

    // "[name" without its closing bracket: the header becomes a stray line of the section before.
    static void breakHeader(std::wstring& text, const std::wstring& name)
    {
        const std::wstring header = L"[" + name + L"]";
        text.replace(text.find(header), header.size(), L"[" + name);
    }

    std::mt19937 m_random;
};

struct Outcome {
    bool bAnswer = true;       // what the import answered
    bool bOutsideWrite = false; // a key or value changed that no section of the file names
    bool bKeptChanged = false;  // the value of the malformed entry was written anyway
    std::wstring detail;
};

// The section names of the file as the profile functions read them.
inline std::vector<std::wstring> sectionNames(const std::wstring& file)
{
    std::vector<wchar_t> buffer(1 << 16);
    for (;;) {
        const DWORD n = GetPrivateProfileSectionNamesW(buffer.data(), static_cast<DWORD>(buffer.size()), file.c_str());
        if (n + 2 < buffer.size()) {
            std::vector<std::wstring> names;
            for (DWORD at = 0; at < n && buffer[at] != 0; at += static_cast<DWORD>(names.back().size()) + 1)
                names.emplace_back(buffer.data() + at);
            return names;
        }
        buffer.resize(buffer.size() * 2);
    }
}

inline bool samePath(const std::wstring& a, const std::wstring& b)
{
    return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// Whether the key (or one below it, for an ancestor without values) is named by a section.
inline bool isNamed(HKEY hRoot, const std::wstring& path, const std::vector<std::wstring>& sections, bool bOrAncestor)
{
    for (const std::wstring& section : sections) {
        HKEY hSectionRoot = nullptr;
        std::wstring sectionPath;
        sectionKey(section, hSectionRoot, sectionPath);
        if (hSectionRoot != hRoot)
            continue;
        if (samePath(sectionPath, path) ||
            (bOrAncestor && sectionPath.size() > path.size() && sectionPath[path.size()] == L'\\' &&
             samePath(sectionPath.substr(0, path.size()), path)))
            return true;
    }
    return false;
}

inline void compareRoot(HKEY hRoot, const registry_tree::Tree& before, const registry_tree::Tree& after,
                        const std::vector<std::wstring>& sections, Outcome& outcome)
{
    for (const auto& key : after) {
        const auto old = before.find(key.first);
        const bool bChanged = old == before.end() || old->second != key.second;
        if (!bChanged)
            continue;
        const bool bValuesChanged = old != before.end() || !key.second.empty();
        if (!isNamed(hRoot, key.first, sections, !bValuesChanged)) {
            outcome.bOutsideWrite = true;
            outcome.detail += L"written outside: " + key.first + L"\n";
        }
    }
    for (const auto& key : before)
        if (after.count(key.first) == 0) {
            outcome.bOutsideWrite = true;
            outcome.detail += L"deleted: " + key.first + L"\n";
        }
}

// Writes the file (UTF-16 with its byte-order mark), puts "keep" under every value name of the
// base file, imports through restoreKey and checks what changed.
inline Outcome run(const Mutated& mutated, const std::wstring& file)
{
    Outcome outcome;
    deleteRegTree(HKEY_LOCAL_MACHINE, kFuzzKey);
    deleteRegTree(HKEY_CURRENT_USER, kFuzzKey);
    for (const Section& section : baseFile()) {
        HKEY hRoot = nullptr;
        std::wstring path;
        sectionKey(section.name, hRoot, path);
        for (const Entry& entry : section.entries)
            setRegString(hRoot, path, entry.name.c_str(), L"keep");
    }
    const std::wstring content = L"\xFEFF" + mutated.text;
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(h, content.data(), static_cast<DWORD>(content.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(h);

    const registry_tree::Tree machineBefore = registry_tree::treeOf(HKEY_LOCAL_MACHINE, L"");
    const registry_tree::Tree userBefore = registry_tree::treeOf(HKEY_CURRENT_USER, L"");
    CKSLRegistryKey key(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Elsewhere");
    outcome.bAnswer = key.restoreKey(file.c_str(), KSL_REG_TEXT_RESTORE);
    const std::vector<std::wstring> sections = sectionNames(file);
    compareRoot(HKEY_LOCAL_MACHINE, machineBefore, registry_tree::treeOf(HKEY_LOCAL_MACHINE, L""), sections, outcome);
    compareRoot(HKEY_CURRENT_USER, userBefore, registry_tree::treeOf(HKEY_CURRENT_USER, L""), sections, outcome);
    if (mutated.bKeepCheck) {
        const registry_tree::Tree tree = registry_tree::treeOf(mutated.kept.hRoot, mutated.kept.key);
        const auto found = tree.find(mutated.kept.key);
        const std::wstring keep = L"keep";
        const registry_tree::Value expected(REG_SZ, std::vector<BYTE>(reinterpret_cast<const BYTE*>(keep.data()),
                                                                      reinterpret_cast<const BYTE*>(keep.data()) + 8));
        if (found == tree.end() || found->second.count(mutated.kept.name) == 0 ||
            found->second.at(mutated.kept.name) != expected) {
            outcome.bKeptChanged = true;
            outcome.detail += L"written although malformed: " + mutated.kept.key + L" : " + mutated.kept.name + L"\n";
        }
    }
    DeleteFileW(file.c_str());
    return outcome;
}

} // namespace regfile_fuzz
