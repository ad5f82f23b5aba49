// Fuzzing the registry text import. A tree that holds every type with its edge values is exported
// (saveKey format 8), the file is mutated (cut at a length, a byte flipped, junk inserted, a line
// repeated, deleted or moved, the text saved in another encoding) and imported (restoreKey flags
// 16) into the scratch registry. Each outcome is judged against a strict reading of the mutated
// file made here, on its own, from the form's rules:
//   - a file the import must refuse whole (an encoding it does not read, a NUL character, a lone
//     carriage return, text that ends inside a character) answers false and writes nothing;
//   - a file with faulty lines answers false and writes exactly what its other lines say;
//   - a well-formed file answers true and writes exactly what it says.
// Every false answer must have written a record to the library log.
// Used by the fuzz test (a few hundred files) and by regfile_fuzz_bench (as many as asked).
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ksl_log_settings.h"
#include "ksl_registry_key.h"
#include "ksl_scoped_handle.h"
#include "registry_tree.h"
#include "scratch_registry.h"
#include "test_paths.h"

namespace regfile_fuzz {

using registry_tree::Tree;
using registry_tree::Value;
using registry_tree::Values;
using Trees = std::map<HKEY, Tree>; // the two redirected roots

// --- the strict reading ------------------------------------------------------------------------

struct Reading {
    bool bRefused = false;   // refused whole: nothing is written
    int faults = 0;          // lines that write nothing, each a reason to answer false
    bool bOtherRoot = false; // a section names a root the scratch registry does not redirect
    Trees trees;             // both roots after the import
};

namespace strict {

inline bool isBlank(wchar_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == L' ';
}

inline std::wstring trimmed(const std::wstring& text, bool bFront, bool bBack)
{
    size_t first = 0, last = text.size();
    while (bFront && first < last && isBlank(text[first]))
        ++first;
    while (bBack && last > first && isBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

inline bool sameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

inline bool isHex(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

inline unsigned hexDigit(wchar_t c)
{
    return c <= L'9' ? c - L'0' : (c | 0x20) - L'a' + 10;
}

// The text of the file, or false when the import must refuse it whole.
inline bool decode(const std::string& bytes, std::wstring& text)
{
    const auto at = [&](size_t n) { return static_cast<unsigned char>(bytes[n]); };
    if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF)
        return false;
    if (bytes.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF)
        return false;
    if (bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
        if (bytes.size() % 2 != 0)
            return false;
        text.assign((bytes.size() - 2) / 2, L'\0');
        std::memcpy(&text[0], bytes.data() + 2, bytes.size() - 2);
    } else if (bytes.find('\0') != std::string::npos) {
        return false;
    } else if (!bytes.empty()) {
        const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                          nullptr, 0);
        if (n <= 0)
            return false;
        text.assign(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), &text[0], n);
    }
    if (text.find(L'\0') != std::wstring::npos || (!text.empty() && text.back() >= 0xD800 && text.back() < 0xDC00))
        return false;
    for (size_t cr = text.find(L'\r'); cr != std::wstring::npos; cr = text.find(L'\r', cr + 1))
        if (cr + 1 < text.size() && text[cr + 1] != L'\n')
            return false;
    return true;
}

// "HH HH ...": the bytes, or false.
inline bool codes(const std::wstring& text, std::vector<BYTE>& bytes)
{
    bytes.clear();
    if (text.empty())
        return true;
    if ((text.size() + 1) % 3 != 0)
        return false;
    for (size_t n = 0; n < text.size(); n += 3) {
        if (!isHex(text[n]) || !isHex(text[n + 1]) || (n + 2 < text.size() && text[n + 2] != L' '))
            return false;
        bytes.push_back(static_cast<BYTE>(hexDigit(text[n]) << 4 | hexDigit(text[n + 1])));
    }
    return true;
}

inline std::vector<BYTE> utf16(const std::wstring& text)
{
    std::vector<BYTE> bytes(text.size() * 2);
    if (!text.empty())
        std::memcpy(bytes.data(), text.data(), bytes.size());
    return bytes;
}

inline bool dwordValue(std::wstring data, Value& value)
{
    data.erase(0, data.find_first_not_of(L" \t") == std::wstring::npos ? data.size() : data.find_first_not_of(L" \t"));
    std::wstring digits = data;
    if (data.size() >= 3 && data[0] == L'0' && (data[1] == L'x' || data[1] == L'X'))
        digits = data.substr(2);
    else if (!data.empty() && (data.back() == L'h' || data.back() == L'H'))
        digits.pop_back();
    if (digits.empty() || digits.size() > 8 || !std::all_of(digits.begin(), digits.end(), isHex))
        return false;
    DWORD number = 0;
    for (wchar_t c : digits)
        number = number * 16 + hexDigit(c);
    value = Value(REG_DWORD, std::vector<BYTE>(reinterpret_cast<BYTE*>(&number), reinterpret_cast<BYTE*>(&number) + 4));
    return true;
}

inline bool binaryValue(const std::wstring& data, Value& value)
{
    std::vector<BYTE> bytes;
    const size_t colon = data.find(L':');
    if (colon == std::wstring::npos) {
        if (!codes(data, bytes) || bytes.size() % 2 != 0)
            return false;
    } else {
        const std::wstring count = data.substr(0, colon);
        if (count.empty() || count.size() > 10 || count.find_first_not_of(L"0123456789") != std::wstring::npos ||
            !codes(data.substr(colon + 1), bytes) || std::stoull(count) != bytes.size())
            return false;
    }
    value = Value(REG_BINARY, bytes);
    return true;
}

inline bool multiValue(const std::wstring& data, Value& value)
{
    std::vector<BYTE> all;
    for (size_t start = 0; !data.empty();) {
        const size_t comma = std::min(data.find(L',', start), data.size());
        std::vector<BYTE> item;
        if (!codes(data.substr(start, comma - start), item) || item.size() < 2 || item.size() % 2 != 0)
            return false;
        for (size_t n = 0; n < item.size(); n += 2)
            if ((item[n] == 0 && item[n + 1] == 0) != (n + 2 == item.size())) // the terminator, and only it
                return false;
        all.insert(all.end(), item.begin(), item.end());
        if (comma == data.size()) {
            all.insert(all.end(), {0, 0});
            break;
        }
        start = comma + 1;
    }
    value = Value(REG_MULTI_SZ, all);
    return true;
}

// The value an entry's type and data write, or false when the import must refuse them.
inline bool entryValue(const std::wstring& type, const std::wstring& data, Value& value)
{
    if (type == L"REG_DWORD")
        return dwordValue(data, value);
    if (type == L"REG_SZ" || type == L"REG_SZ_EXPAND") {
        if (data.size() < 2 || data.front() != L'"' || data.back() != L'"')
            return false;
        const std::wstring text = data.substr(1, data.size() - 2);
        const size_t percents = static_cast<size_t>(std::count(text.begin(), text.end(), L'%'));
        if (type == L"REG_SZ_EXPAND" && (percents == 0 || percents % 2 != 0))
            return false;
        value = registry_tree::normalValue(type == L"REG_SZ" ? REG_SZ : REG_EXPAND_SZ, utf16(text));
        return true;
    }
    if (type == L"REG_BINARY")
        return binaryValue(data, value);
    return type == L"REG_SZ_MULTI" && multiValue(data, value);
}

// Adds a key and its ancestors to a tree, each spelled as the tree spells it already (the
// registry keeps the spelling a key was created with); gives the key's spelling.
inline std::wstring addKey(Tree& tree, const std::wstring& path)
{
    std::wstring key;
    for (size_t start = 0;;) {
        const size_t end = std::min(path.find(L'\\', start), path.size());
        std::wstring candidate = (start == 0 ? L"" : key + L"\\") + path.substr(start, end - start);
        for (const auto& existing : tree)
            if (sameName(existing.first, candidate))
                candidate = existing.first;
        key = candidate;
        tree[key];
        if (end == path.size())
            return key;
        start = end + 1;
    }
}

inline void setValue(Values& values, const std::wstring& name, const Value& value)
{
    for (auto& existing : values)
        if (sameName(existing.first, name)) {
            existing.second = value;
            return;
        }
    values[name] = value;
}

// The root a section names, matched without regard to ASCII case; null for any other name.
inline HKEY sectionRoot(const std::wstring& name)
{
    static const std::pair<const wchar_t*, HKEY> kRoots[] = {
        {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}, {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {L"HKEY_USERS", HKEY_USERS},
        {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG}};
    for (const auto& root : kRoots) {
        std::wstring upper = name;
        for (wchar_t& c : upper)
            if (c >= L'a' && c <= L'z')
                c = static_cast<wchar_t>(c - 0x20);
        if (upper == root.first)
            return root.second;
    }
    return nullptr;
}

struct State {
    Reading reading;
    bool bInSection = false, bSeenSection = false;
    HKEY hRoot = nullptr;
    std::wstring key;
    std::vector<std::pair<HKEY, std::wstring>> sections;
    std::vector<std::wstring> names;
};

inline void sectionLine(State& state, const std::wstring& line)
{
    state.bSeenSection = true;
    state.bInSection = false;
    state.names.clear();
    const std::wstring name = line.back() == L']' ? line.substr(1, line.size() - 2) : L"";
    const size_t separator = name.find(L'\\');
    const HKEY hRoot = separator != std::wstring::npos ? sectionRoot(name.substr(0, separator)) : nullptr;
    const std::wstring path = separator != std::wstring::npos ? name.substr(separator + 1) : L"";
    const bool bPathOk = path.empty() || (path.front() != L'\\' && path.back() != L'\\' &&
                                          path.find(L"\\\\") == std::wstring::npos);
    bool bOk = hRoot != nullptr && name.find_first_of(L"[]") == std::wstring::npos && bPathOk;
    for (const auto& earlier : state.sections)
        bOk = bOk && !(earlier.first == hRoot && sameName(earlier.second, path));
    if (!bOk) {
        ++state.reading.faults;
        return;
    }
    state.sections.emplace_back(hRoot, path);
    if (hRoot != HKEY_LOCAL_MACHINE && hRoot != HKEY_CURRENT_USER) {
        state.reading.bOtherRoot = true;
        return;
    }
    state.bInSection = true;
    state.hRoot = hRoot;
    state.key = addKey(state.reading.trees[hRoot], path);
}

inline void entryLine(State& state, const std::wstring& line)
{
    if (!state.bInSection) {
        state.reading.faults += state.bSeenSection ? 0 : 1; // a refused section's lines go with it
        return;
    }
    const size_t equals = line.find(L'=');
    const std::wstring name = equals != std::wstring::npos ? trimmed(line.substr(0, equals), false, true) : L"";
    const std::wstring value = equals != std::wstring::npos ? trimmed(line.substr(equals + 1), true, false) : L"";
    const size_t colon = value.find(L':');
    if (name.empty() || colon == std::wstring::npos) {
        ++state.reading.faults;
        return;
    }
    for (const std::wstring& earlier : state.names)
        if (sameName(earlier, name)) {
            ++state.reading.faults;
            return;
        }
    state.names.push_back(name);
    Value written;
    if (!entryValue(value.substr(0, colon), value.substr(colon + 1), written)) {
        ++state.reading.faults;
        return;
    }
    setValue(state.reading.trees[state.hRoot][state.key], name, written);
}

} // namespace strict

// What the import must do with the file, starting from the trees before it.
inline Reading strictReading(const std::string& bytes, const Trees& before)
{
    strict::State state;
    state.reading.trees = before;
    std::wstring text;
    if (!strict::decode(bytes, text)) {
        state.reading.bRefused = true;
        return state.reading;
    }
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find(L'\n', start), text.size());
        const std::wstring line = strict::trimmed(text.substr(start, end - start), true, true);
        start = end + 1;
        if (line.empty() || line[0] == L';')
            continue;
        if (line[0] == L'[')
            strict::sectionLine(state, line);
        else
            strict::entryLine(state, line);
    }
    return state.reading;
}

// --- the exported file ---------------------------------------------------------------------------

const wchar_t kFuzzKey[] = L"SOFTWARE\\Fuzz";

inline bool createKey(HKEY hRoot, const std::wstring& key)
{
    CKSLScopedKey hKey;
    return RegCreateKeyExW(hRoot, key.c_str(), 0, nullptr, 0, KEY_READ, nullptr, hKey.receive(), nullptr) ==
           ERROR_SUCCESS;
}

// The items each with its zero; the closing zero is added by the writer.
inline bool setMulti(HKEY hRoot, const std::wstring& key, const wchar_t* name, const std::wstring& items)
{
    return setRegString(hRoot, key, name, items, REG_MULTI_SZ);
}

// Every type with its edge values, keys with and without values, non-ASCII and odd names: all
// of it within what the form carries, so that the export answers true.
inline bool buildBaseTree()
{
    const std::wstring key = kFuzzKey;
    const BYTE odd[] = {0x01, 0x02, 0x03}, even[] = {0x00, 0xFF, 0x10, 0x00}, userBytes[] = {0xFF, 0xFE, 0x00, 0x01};
    const std::wstring user = key + L"\\B-\x0436";
    return setRegDword(HKEY_LOCAL_MACHINE, key, L"d", 0x1A) && setRegDword(HKEY_LOCAL_MACHINE, key, L"zero", 0) &&
           setRegString(HKEY_LOCAL_MACHINE, key, L"s", L"say \"x\" ok") &&
           setRegString(HKEY_LOCAL_MACHINE, key, L"empty", L"") &&
           setRegString(HKEY_LOCAL_MACHINE, key, L"Odd name: \x00FC;[x] 100%", L" 50% \"q\" \x4E2D ") &&
           setRegString(HKEY_LOCAL_MACHINE, key, L"e", L"%TEMP%\\\x00FC", REG_EXPAND_SZ) &&
           setMulti(HKEY_LOCAL_MACHINE, key, L"m", std::wstring(L"A\0\x0436\0", 4)) &&
           setMulti(HKEY_LOCAL_MACHINE, key, L"m edges", std::wstring(L"\0x,y\0\0", 6)) &&
           registry_tree::setRawValue(HKEY_LOCAL_MACHINE, key, L"m none", REG_MULTI_SZ, {}) &&
           setRegBinary(HKEY_LOCAL_MACHINE, key, L"b odd", odd, sizeof(odd)) &&
           setRegBinary(HKEY_LOCAL_MACHINE, key, L"b", even, sizeof(even)) &&
           setRegBinary(HKEY_LOCAL_MACHINE, key, L"nob", nullptr, 0) &&
           setRegDword(HKEY_LOCAL_MACHINE, key + L"\\A\\Deeper", L"x", 0) &&
           setRegString(HKEY_LOCAL_MACHINE, key + L"\\A\\Deeper", L"t", L"t") &&
           createKey(HKEY_LOCAL_MACHINE, key + L"\\Empty") && createKey(HKEY_LOCAL_MACHINE, key + L"\\Leer\\Tiefer") &&
           setRegDword(HKEY_CURRENT_USER, user, L"Zahl-\x00FC", 0xFFFFFFFF) &&
           setRegString(HKEY_CURRENT_USER, user, L"\x4E2D\x6587", L"\x4E2D\x6587 [1]; 2") &&
           setRegBinary(HKEY_CURRENT_USER, user, L"bin", userBytes, sizeof(userBytes));
}

// Both roots' trees of the base, as exported into one file (the second export merges).
inline bool exportBase(const std::wstring& file)
{
    CKSLRegistryKey machine(HKEY_LOCAL_MACHINE, kFuzzKey), userKey(HKEY_CURRENT_USER, kFuzzKey);
    return machine.saveKey(file.c_str(), KSL_REG_TEXT_FORMAT, true) &&
           userKey.saveKey(file.c_str(), KSL_REG_TEXT_FORMAT, false);
}

inline Trees readTrees()
{
    return {{HKEY_LOCAL_MACHINE, registry_tree::treeOf(HKEY_LOCAL_MACHINE, L"")},
            {HKEY_CURRENT_USER, registry_tree::treeOf(HKEY_CURRENT_USER, L"")}};
}

// --- mutations -----------------------------------------------------------------------------------

enum Kind { kCut, kFlip, kJunk, kRepeatLine, kDeleteLine, kMoveLine, kEncoding, kKindCount };

inline const char* kindName(int kind)
{
    static const char* const kNames[kKindCount] = {"cut",          "byte flipped", "junk inserted",  "line repeated",
                                                   "line deleted", "line moved",   "encoding changed"};
    return kNames[kind];
}

struct Mutated {
    std::string bytes;
    int kind = kCut;
};

inline std::wstring textOf(const std::string& utf16WithMark)
{
    std::wstring text((utf16WithMark.size() - 2) / 2, L'\0');
    if (!text.empty())
        std::memcpy(&text[0], utf16WithMark.data() + 2, text.size() * 2);
    return text;
}

inline std::string utf16File(const std::wstring& text, bool bMark = true, bool bBigEndian = false)
{
    std::string bytes = bMark ? (bBigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
    for (wchar_t c : text) {
        const char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
        bytes += bBigEndian ? high : low;
        bytes += bBigEndian ? low : high;
    }
    return bytes;
}

inline std::string codePageFile(const std::wstring& text, UINT codePage)
{
    const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

class Generator {
public:
    // base: the exported file (UTF-16 with its byte-order mark).
    Generator(unsigned seed, std::string base) : m_random(seed), m_base(std::move(base)) {}

    static Mutated cutAt(const std::string& base, size_t length) { return {base.substr(0, length), kCut}; }

    Mutated next()
    {
        Mutated mutated;
        mutated.kind = static_cast<int>(pick(kKindCount - 1));
        std::string& bytes = mutated.bytes = m_base;
        std::vector<std::wstring> lines = linesOf(textOf(m_base));
        switch (mutated.kind) {
        case kCut:
            bytes.resize(pick(bytes.size()));
            break;
        case kFlip:
            bytes[pick(bytes.size() - 1)] ^= static_cast<char>(1 + pick(254));
            break;
        case kJunk:
            bytes.insert(pick(bytes.size()), junk());
            break;
        case kRepeatLine:
        {
            const size_t n = pick(lines.size() - 1);
            lines.insert(lines.begin() + static_cast<long>(pick(lines.size())), lines[n]);
            bytes = utf16File(joined(lines));
            break;
        }
        case kDeleteLine:
            lines.erase(lines.begin() + static_cast<long>(pick(lines.size() - 1)));
            bytes = utf16File(joined(lines));
            break;
        case kMoveLine:
        {
            const size_t from = pick(lines.size() - 1);
            const std::wstring line = lines[from];
            lines.erase(lines.begin() + static_cast<long>(from));
            lines.insert(lines.begin() + static_cast<long>(pick(lines.size())), line);
            bytes = utf16File(joined(lines));
            break;
        }
        default:
            bytes = otherEncoding(textOf(m_base));
            break;
        }
        return mutated;
    }

private:
    size_t pick(size_t max) { return std::uniform_int_distribution<size_t>(0, max)(m_random); }

    static std::vector<std::wstring> linesOf(const std::wstring& text)
    {
        std::vector<std::wstring> lines;
        for (size_t start = 0; start < text.size();) {
            const size_t end = std::min(text.find(L"\r\n", start), text.size());
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    static std::wstring joined(const std::vector<std::wstring>& lines)
    {
        std::wstring text;
        for (const std::wstring& line : lines)
            text += line + L"\r\n";
        return text;
    }

    // One to eight bytes, most of them of the characters that mean something in the form.
    std::string junk()
    {
        static const char kBytes[] = {'\0', '\r', '\n', '[', ']', '=', ':', '"', ',', ';', ' ', '%', '\\', 'A', '0', 'x',
                                      '\xFF', '\xFE', '\xD8', '\xDC', '\xEF', '\xBB', '\xBF', '\x1A'};
        std::string bytes;
        for (size_t n = 1 + pick(7); n > 0; --n)
            bytes += pick(3) == 0 ? static_cast<char>(pick(255)) : kBytes[pick(sizeof(kBytes) - 1)];
        return bytes;
    }

    std::string otherEncoding(const std::wstring& text)
    {
        switch (pick(5)) {
        case 0: return codePageFile(text, CP_ACP);                  // ANSI, as a text editor may save it
        case 1: return codePageFile(text, CP_UTF8);                 // UTF-8 without a mark: read as ANSI
        case 2: return "\xEF\xBB\xBF" + codePageFile(text, CP_UTF8); // UTF-8 with its mark
        case 3: return utf16File(text, true, true);                 // big-endian UTF-16
        case 4: return utf16File(text, false);                      // UTF-16 without its mark
        default: return "\xEF\xBB\xBF" + utf16File(text);            // a UTF-8 mark in front of UTF-16
        }
    }

    std::mt19937 m_random;
    std::string m_base;
};

// --- one import, judged --------------------------------------------------------------------------

enum Verdict { kAnsweredFalse, kTrueExact, kOther, kVerdictCount };

struct Outcome {
    Verdict verdict = kOther;
    bool bSkipped = false; // the file names a root outside the scratch registry: not imported
    std::wstring detail;   // what went wrong, for kOther
};

// Size of the library log file (-1 without one): a false answer must make it grow.
inline long long logFileSize()
{
    wchar_t path[MAX_PATH] = L"";
    DWORD bytes = sizeof(path) - sizeof(wchar_t);
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (RegGetValueW(HKEY_LOCAL_MACHINE, CKSLLogSettings::s_wcsKeyPath, L"TextOutput", RRF_RT_REG_SZ, nullptr, path,
                     &bytes) != ERROR_SUCCESS)
        return -1;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data))
        return 0;
    return static_cast<long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

// Puts a root back as it was: keys that were not there are deleted, values restored.
inline void restoreRoot(HKEY hRoot, const Tree& before, const Tree& after)
{
    for (const auto& key : after) {
        const auto old = before.find(key.first);
        if (old == before.end()) {
            const size_t slash = key.first.rfind(L'\\');
            if (slash == std::wstring::npos || before.count(key.first.substr(0, slash)) != 0)
                deleteRegTree(hRoot, key.first);
            continue;
        }
        for (const auto& value : key.second)
            if (old->second.count(value.first) == 0)
                deleteRegValue(hRoot, key.first, value.first.c_str());
        for (const auto& value : old->second)
            if (key.second.count(value.first) == 0 || key.second.at(value.first) != value.second)
                RegSetKeyValueW(hRoot, key.first.c_str(), value.first.c_str(), value.second.first,
                                value.second.second.data(), static_cast<DWORD>(value.second.second.size()));
    }
}

inline std::wstring describe(const Trees& expected, const Trees& actual)
{
    std::wstring text;
    for (const auto& root : expected)
        text += registry_tree::differences(root.second, actual.at(root.first));
    return text;
}

// Imports the bytes as a file and judges the outcome; the registry is put back afterwards.
inline Outcome run(const std::string& bytes, const std::wstring& file, const Trees& before)
{
    Outcome outcome;
    const Reading reading = strictReading(bytes, before);
    if (reading.bOtherRoot) {
        outcome.bSkipped = true;
        return outcome;
    }
    {
        CKSLScopedFile out(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    const long long logBefore = logFileSize();
    const bool bAnswer = CKSLRegistryKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Elsewhere").restoreKey(file.c_str(), KSL_REG_TEXT_RESTORE);
    const bool bLogged = logBefore < 0 || logFileSize() > logBefore;
    const Trees after = readTrees();
    DeleteFileW(file.c_str());
    for (const auto& root : before)
        restoreRoot(root.first, root.second, after.at(root.first));

    const bool bWellFormed = !reading.bRefused && reading.faults == 0;
    const std::wstring differences = describe(reading.trees, after);
    if (bAnswer != bWellFormed)
        outcome.detail += std::wstring(L"answered ") + (bAnswer ? L"true" : L"false") + L", the strict reading found " +
                          (reading.bRefused ? L"a file to refuse whole" : std::to_wstring(reading.faults) + L" faults") +
                          L"\n";
    if (!differences.empty())
        outcome.detail += L"the registry is not what the file says:\n" + differences;
    if (!bAnswer && !bLogged)
        outcome.detail += L"answered false without a log record\n";
    outcome.verdict = !outcome.detail.empty() ? kOther : bAnswer ? kTrueExact : kAnsweredFalse;
    return outcome;
}

} // namespace regfile_fuzz
