// Registry.pol, the file in which a Group Policy object carries its registry settings ("PReg"):
//
//     "PReg"  version 1 (little-endian u32)  then entries  [key;value;type;size;data]
//
// The brackets and semicolons are UTF-16LE characters, the key and the value name UTF-16LE texts
// with a terminating NUL, type and size little-endian u32 and the data exactly size bytes. The
// key is a path below the hive (no hive name), of one or more non-empty parts.
//
// Such a file comes from elsewhere (a domain's share, a mail, a colleague's disk): parse() takes
// it whole or refuses it whole, naming the byte offset of the entry at fault, so that nothing acts
// on half a file. What the entries mean (value names beginning with "**" are instructions) is the
// caller's business.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace skpolicy {

struct PolEntry {
    size_t offset = 0; // of the entry's "[" in its file
    std::wstring key;
    std::wstring valueName;
    DWORD dwType = REG_NONE;
    std::vector<BYTE> data;
};

class RegistryPolFile {
public:
    // The entries of a file's bytes. False when the bytes are no Registry.pol file: then fault
    // says where and why ("the entry at byte 24: ...") and the file holds no entries.
    bool parse(const std::string& bytes, std::wstring& fault);

    void add(const PolEntry& entry) { m_entries.push_back(entry); }
    const std::vector<PolEntry>& entries() const { return m_entries; }

    // The header and every entry, in order.
    std::string bytes() const;

private:
    std::vector<PolEntry> m_entries;
};

// The whole content of a file, or the file written whole; false with the reason added to err.
bool readWholeFile(const std::wstring& path, std::string& bytes, std::wstring& err);
bool writeWholeFile(const std::wstring& path, const std::string& bytes, std::wstring& err);

} // namespace skpolicy
