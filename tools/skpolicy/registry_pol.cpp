#include "registry_pol.h"

#include "ksl_scoped_handle.h"

namespace skpolicy {

namespace {

const char kSignature[4] = {'P', 'R', 'e', 'g'};
const DWORD kVersion = 1;
// What the registry takes: a key name of at most 255 characters per part, a value name of at most
// 16383. Checked here, so that an import cannot fail half-way on a name the registry refuses.
const size_t kMaxKeyPartChars = 255;
const size_t kMaxValueNameChars = 16383;

// Reads one entry after another from the file's bytes; every read checks that the bytes are there.
class Reader {
public:
    explicit Reader(const std::string& bytes) : m_bytes(bytes) {}

    size_t position() const { return m_pos; }
    bool atEnd() const { return m_pos == m_bytes.size(); }

    bool readU32(DWORD& dw)
    {
        if (m_bytes.size() - m_pos < 4)
            return false;
        dw = 0;
        for (int i = 3; i >= 0; --i)
            dw = (dw << 8) | static_cast<BYTE>(m_bytes[m_pos + i]);
        m_pos += 4;
        return true;
    }
    bool readChar(wchar_t& c)
    {
        if (m_bytes.size() - m_pos < 2)
            return false;
        c = static_cast<wchar_t>(static_cast<BYTE>(m_bytes[m_pos]) | (static_cast<BYTE>(m_bytes[m_pos + 1]) << 8));
        m_pos += 2;
        return true;
    }
    // Whether the next character is c; it is taken only when it is.
    bool expect(wchar_t expected)
    {
        const size_t at = m_pos;
        wchar_t c = 0;
        if (readChar(c) && c == expected)
            return true;
        m_pos = at;
        return false;
    }
    // The characters up to a NUL, which is taken too; false when the bytes end first.
    bool readText(std::wstring& text)
    {
        text.clear();
        for (wchar_t c = 0; readChar(c);) {
            if (c == L'\0')
                return true;
            text += c;
        }
        return false;
    }
    bool readData(DWORD dwBytes, std::vector<BYTE>& data)
    {
        if (m_bytes.size() - m_pos < dwBytes)
            return false;
        data.assign(m_bytes.begin() + m_pos, m_bytes.begin() + m_pos + dwBytes);
        m_pos += dwBytes;
        return true;
    }

private:
    const std::string& m_bytes;
    size_t m_pos = 0;
};

// Why a key cannot name a registry key; empty when it can.
std::wstring keyFault(const std::wstring& key)
{
    if (key.empty())
        return L"the key is empty";
    size_t start = 0;
    for (;;) {
        const size_t end = key.find(L'\\', start);
        const size_t chars = (end == std::wstring::npos ? key.size() : end) - start;
        if (chars == 0)
            return L"the key \"" + key + L"\" has an empty part";
        if (chars > kMaxKeyPartChars)
            return L"a part of the key \"" + key + L"\" is longer than 255 characters";
        if (end == std::wstring::npos)
            return std::wstring();
        start = end + 1;
    }
}

// One entry from "[" to "]"; empty on success, else what is wrong with it.
std::wstring readEntry(Reader& in, PolEntry& entry)
{
    DWORD dwSize = 0;
    if (!in.expect(L'['))
        return L"no \"[\" where an entry begins";
    if (!in.readText(entry.key))
        return L"the file ends inside its key";
    if (!in.expect(L';'))
        return L"no \";\" after the key";
    if (!in.readText(entry.valueName))
        return L"the file ends inside its value name";
    if (!in.expect(L';'))
        return L"no \";\" after the value name";
    if (!in.readU32(entry.dwType) || !in.expect(L';'))
        return L"the type is cut short or has no \";\" after it";
    if (!in.readU32(dwSize) || !in.expect(L';'))
        return L"the size is cut short or has no \";\" after it";
    if (!in.readData(dwSize, entry.data))
        return L"its size, " + std::to_wstring(dwSize) + L" bytes, runs past the end of the file";
    if (!in.expect(L']'))
        return L"no \"]\" after its " + std::to_wstring(dwSize) + L" bytes of data: the size does not match the data";
    const std::wstring fault = keyFault(entry.key);
    if (!fault.empty())
        return fault;
    if (entry.valueName.size() > kMaxValueNameChars)
        return L"the value name is longer than 16383 characters";
    return std::wstring();
}

void putU32(std::string& out, DWORD dw)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((dw >> (8 * i)) & 0xFF);
}
void putChar(std::string& out, wchar_t c)
{
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>((c >> 8) & 0xFF);
}
void putText(std::string& out, const std::wstring& text)
{
    for (wchar_t c : text)
        putChar(out, c);
    putChar(out, L'\0');
}

} // namespace

bool RegistryPolFile::parse(const std::string& bytes, std::wstring& fault)
{
    m_entries.clear();
    if (bytes.size() < sizeof kSignature || bytes.compare(0, sizeof kSignature, kSignature, sizeof kSignature) != 0) {
        fault = L"byte 0: no signature \"PReg\": this is not a Registry.pol file";
        return false;
    }
    Reader in(bytes);
    DWORD dwSignature = 0;
    DWORD dwVersion = 0;
    if (!in.readU32(dwSignature) || !in.readU32(dwVersion) || dwVersion != kVersion) {
        fault = L"byte 4: no version 1 (the only version there is)";
        return false;
    }
    std::vector<PolEntry> entries;
    while (!in.atEnd()) {
        PolEntry entry;
        entry.offset = in.position();
        const std::wstring why = readEntry(in, entry);
        if (!why.empty()) {
            fault = L"the entry at byte " + std::to_wstring(entry.offset) + L": " + why;
            return false;
        }
        entries.push_back(entry);
    }
    m_entries.swap(entries);
    return true;
}

std::string RegistryPolFile::bytes() const
{
    std::string out(kSignature, sizeof kSignature);
    putU32(out, kVersion);
    for (const PolEntry& entry : m_entries) {
        putChar(out, L'[');
        putText(out, entry.key);
        putChar(out, L';');
        putText(out, entry.valueName);
        putChar(out, L';');
        putU32(out, entry.dwType);
        putChar(out, L';');
        putU32(out, static_cast<DWORD>(entry.data.size()));
        putChar(out, L';');
        out.append(entry.data.begin(), entry.data.end());
        putChar(out, L']');
    }
    return out;
}

bool readWholeFile(const std::wstring& path, std::string& bytes, std::wstring& err)
{
    bytes.clear();
    CKSLScopedFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file.valid() || !GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) {
        err += L"skpolicy: cannot read " + path + L" (error " + std::to_wstring(GetLastError()) + L")\n";
        return false;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD dwRead = 0;
    if (!bytes.empty() &&
        (!ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &dwRead, nullptr) ||
         dwRead != bytes.size())) {
        err += L"skpolicy: cannot read " + path + L" (error " + std::to_wstring(GetLastError()) + L")\n";
        return false;
    }
    return true;
}

bool writeWholeFile(const std::wstring& path, const std::string& bytes, std::wstring& err)
{
    CKSLScopedFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD dwWritten = 0;
    if (!file.valid() ||
        (!bytes.empty() &&
         (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &dwWritten, nullptr) ||
          dwWritten != bytes.size())) ||
        !file.reset()) {
        err += L"skpolicy: cannot write " + path + L" (error " + std::to_wstring(GetLastError()) + L")\n";
        return false;
    }
    return true;
}

} // namespace skpolicy
