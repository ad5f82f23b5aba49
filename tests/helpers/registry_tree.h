// The whole of a registry tree read into memory, with no limit on name or data sizes: every key
// below and including a path, each with the type and bytes of its values. Texts (REG_SZ,
// REG_EXPAND_SZ) are kept without their trailing zero characters, since a text may be stored with
// or without its terminator; anything behind an inner zero is kept and compared.
#pragma once

#include <windows.h>

#include <cwchar>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ksl_scoped_handle.h"

namespace registry_tree {

using Value = std::pair<DWORD, std::vector<BYTE>>;
using Values = std::map<std::wstring, Value>;
using Tree = std::map<std::wstring, Values>;

// The bytes of a value as the tree keeps them: a text without its trailing zero characters (and
// without a zero byte after its last whole character).
inline Value normalValue(DWORD type, std::vector<BYTE> bytes)
{
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        if (bytes.size() % 2 != 0 && bytes.back() == 0)
            bytes.pop_back();
        while (bytes.size() >= 2 && bytes.size() % 2 == 0 && bytes[bytes.size() - 1] == 0 && bytes[bytes.size() - 2] == 0)
            bytes.resize(bytes.size() - 2);
    }
    return Value(type, std::move(bytes));
}

inline void readValues(HKEY hKey, Values& values)
{
    DWORD valueCount = 0, maxName = 0, maxData = 0;
    if (RegQueryInfoKeyW(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount, &maxName, &maxData,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::vector<wchar_t> name(maxName + 1);
    std::vector<BYTE> data(maxData + 2);
    for (DWORD index = 0; index < valueCount; ++index) {
        DWORD nameChars = static_cast<DWORD>(name.size());
        DWORD bytes = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueW(hKey, index, name.data(), &nameChars, nullptr, &type, data.data(), &bytes) != ERROR_SUCCESS)
            return;
        values[std::wstring(name.data(), nameChars)] =
            normalValue(type, std::vector<BYTE>(data.begin(), data.begin() + bytes));
    }
}

inline void readTree(HKEY hRoot, const std::wstring& path, Tree& tree)
{
    CKSLScopedKey hKey;
    if (RegOpenKeyExW(hRoot, path.c_str(), 0, KEY_READ, hKey.receive()) != ERROR_SUCCESS)
        return;
    readValues(hKey.get(), tree[path]);
    DWORD subKeys = 0, maxSubKey = 0;
    if (RegQueryInfoKeyW(hKey.get(), nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::vector<wchar_t> name(maxSubKey + 1);
    for (DWORD index = 0; index < subKeys; ++index) {
        DWORD nameChars = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(hKey.get(), index, name.data(), &nameChars, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return;
        const std::wstring child(name.data(), nameChars);
        readTree(hRoot, path.empty() ? child : path + L"\\" + child, tree);
    }
}

// Writes a value of any type and bytes, creating the key.
inline bool setRawValue(HKEY hRoot, const std::wstring& key, const wchar_t* name, DWORD type,
                        const std::vector<BYTE>& bytes)
{
    return RegSetKeyValueW(hRoot, key.c_str(), name, type, bytes.data(), static_cast<DWORD>(bytes.size())) ==
           ERROR_SUCCESS;
}

// Every key below and including path; empty when the key does not exist.
inline Tree treeOf(HKEY hRoot, const std::wstring& path)
{
    Tree tree;
    readTree(hRoot, path, tree);
    return tree;
}

// The differences between two trees, one line each (at most ten): what a failed comparison shows
// instead of megabytes of data.
inline std::wstring differences(const Tree& expected, const Tree& actual)
{
    std::wstring text;
    int n = 0;
    auto note = [&](const std::wstring& line) {
        if (n++ < 10)
            text += line + L"\n";
    };
    for (const auto& key : expected) {
        const auto found = actual.find(key.first);
        if (found == actual.end()) {
            note(L"missing key " + key.first);
            continue;
        }
        for (const auto& value : key.second) {
            const auto other = found->second.find(value.first);
            if (other == found->second.end())
                note(L"missing value " + key.first + L" : " + value.first);
            else if (other->second != value.second)
                note(L"changed value " + key.first + L" : " + value.first + L" (type " +
                     std::to_wstring(value.second.first) + L", " + std::to_wstring(value.second.second.size()) +
                     L" bytes; now type " + std::to_wstring(other->second.first) + L", " +
                     std::to_wstring(other->second.second.size()) + L" bytes)");
        }
        for (const auto& value : found->second)
            if (key.second.count(value.first) == 0)
                note(L"extra value " + key.first + L" : " + value.first);
    }
    for (const auto& key : actual)
        if (expected.count(key.first) == 0)
            note(L"extra key " + key.first);
    return text;
}

} // namespace registry_tree
