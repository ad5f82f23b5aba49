// CKSLRegistryFile::exportKey: a key and every key below it written as the text form, one section
// per key and one entry per value, only what the import reads back exactly.
#include "ksl_registry_file.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

#include "ksl_catch.h"
#include "ksl_directory.h"
#include "ksl_format.h"
#include "ksl_ini.h"
#include "ksl_registry_file_form.h"
#include "ksl_registry_string.h"
#include "ksl_scoped_handle.h"

namespace {

using namespace ksl_registry_form;

const wchar_t kMethod[] = L"exportKey";

// Why a key or value is not exported; null when it is.
typedef const wchar_t* Problem;

CKSLWCharString childPath(const CKSLWCharString& szParent, const CKSLWCharString& szName)
{
    return szParent.getLength() == 0 ? szName : szParent + L"\\" + szName;
}

// The profile functions trim blanks and control characters around names.
bool isBlank(wchar_t wc)
{
    return wc <= L' ';
}

// Why a value name (or, with bSubKey, a subkey name) cannot come back from the file as written,
// or null when it can: a line break would start an entry or section of its own, a leading '['
// or ';' makes a section line or a comment, the profile functions trim leading and trailing
// blanks, the first '=' ends an entry's name, a bracket inside a section name is refused by the
// import, and the key's unnamed default value has no entry name at all.
Problem nameProblem(const CKSLWCharString& szName, bool bSubKey)
{
    const unsigned long ulLength = szName.getLength();
    if (ulLength == 0)
        return L"the default value has no entry name";
    const wchar_t* wcsName = szName.getString();
    if (std::wcspbrk(wcsName, L"\r\n") != nullptr)
        return L"a line break";
    if (wcsName[0] == L'[' || wcsName[0] == L';')
        return L"a leading '[' or ';'";
    if (isBlank(wcsName[0]) || isBlank(wcsName[ulLength - 1]))
        return L"a leading or trailing blank";
    if (!bSubKey)
        return std::wcschr(wcsName, L'=') != nullptr ? L"a '='" : nullptr;
    if (std::wcschr(wcsName, L']') != nullptr)
        return L"a ']'";
    return std::wcschr(wcsName, L'[') != nullptr ? L"a '['" : nullptr;
}

// Whether the name can be exported; logs the refusal when it cannot.
bool acceptName(const CKSLWCharString& szSection, const CKSLWCharString& szName, bool bSubKey)
{
    const Problem problem = nameProblem(szName, bSubKey);
    if (problem != nullptr)
        logRefusal(kMethod, L"Unable to export a %s whose name the file cannot hold ( \"%s\\%s\" ): %s",
                   bSubKey ? L"subkey" : L"value", shown(szSection).getString(), shown(szName).getString(), problem);
    return problem == nullptr;
}

// One buffer of this size holds every value of a key in the multiple-value query; keys that
// would need more are read one value at a time.
const unsigned long long kMultipleQueryBytes = 16ull * 1024 * 1024;

// Every value of the open key, one RegEnumValueW each, the buffers grown for any size.
bool readValuesOneByOne(HKEY hKey, const CKSLWCharString& szKeyPath, CKSLRegValueEntryList& entries)
{
    std::vector<wchar_t> name(256);
    std::vector<BYTE> data(4096);
    for (DWORD dwIndex = 0;;) {
        DWORD dwChars = static_cast<DWORD>(name.size());
        DWORD dwBytes = static_cast<DWORD>(data.size());
        DWORD dwType = REG_NONE;
        const LONG lStatus = RegEnumValueW(hKey, dwIndex, name.data(), &dwChars, nullptr, &dwType, data.data(), &dwBytes);
        if (lStatus == ERROR_NO_MORE_ITEMS)
            return true;
        if (lStatus == ERROR_MORE_DATA) {
            // A value name has at most 16383 characters; the data size comes back in dwBytes.
            name.resize(16384);
            data.resize(dwBytes > data.size() ? dwBytes : data.size() * 2);
            continue;
        }
        if (lStatus != ERROR_SUCCESS) {
            wchar_t wcsMessage[1025];
            kslFormat(wcsMessage, L"Unable to enumerate values from key ( \"%s\" )", shown(szKeyPath).getString());
            CKSLRegEnumValueException error(wcsMessage, lStatus, KSL_HERE, kClass, kMethod); // written when built
            return false;
        }
        if (!entries.add(CKSLRegValueEntry(name.data(), data.data(), dwBytes, dwType)))
            return false;
        ++dwIndex;
    }
}

// Every value of the key, the unnamed default value included: the multiple-value query when its
// one buffer stays small, otherwise (or when the query cannot be had or leaves a value out)
// one value at a time. A missing key has no values; a key that cannot be read is logged.
bool readValues(HKEY hRootKey, const CKSLWCharString& szKeyPath, CKSLRegValueEntryList& entries)
{
    CKSLScopedKey hKey;
    const LONG lOpened = RegOpenKeyExW(hRootKey, szKeyPath.getString(), 0, KEY_READ, hKey.receive());
    DWORD dwValues = 0;
    DWORD dwMaxBytes = 0;
    const LONG lStatus = lOpened != ERROR_SUCCESS
                             ? lOpened
                             : RegQueryInfoKeyW(hKey.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                &dwValues, nullptr, &dwMaxBytes, nullptr, nullptr);
    if (lStatus == ERROR_FILE_NOT_FOUND)
        return true;
    if (lStatus != ERROR_SUCCESS) {
        wchar_t wcsMessage[1025];
        kslFormat(wcsMessage, L"Unable to query info on registry key ( \"%s\" )", shown(szKeyPath).getString());
        CKSLRegQueryInfoKeyException error(wcsMessage, lStatus, KSL_HERE, kClass, kMethod); // written when built
        return false;
    }
    if (dwValues == 0)
        return true;
    if (dwValues * (dwMaxBytes + 1ull) * 2u <= kMultipleQueryBytes) {
        CKSLRegistryKey key(hRootKey, szKeyPath, KEY_READ, false, 0);
        if (key.queryMultipleValues(entries) && entries.getCount() == dwValues)
            return true;
        entries.clear();
    }
    return readValuesOneByOne(hKey.get(), szKeyPath, entries);
}

// Two-digit codes of the bytes, one per byte ("01 02 03"); an even count is coded as whole wide
// characters, as the text form was first written.
CKSLWCharString byteCodes(const CKSLByteBuffer& data)
{
    CKSLWCharString szWide;
    static_cast<CKSLWCharBuffer&>(szWide) = data.convertTo<wchar_t>(); // every character coded, no terminator
    const CKSLWCharString szCodes = szWide.getAsciiCodeString();
    // An odd count was completed with a zero byte by the conversion: its code is not the data's.
    return data.getCount() % 2 != 0 ? szCodes.withoutLast(3) : szCodes;
}

// The strings of multi-string data: each terminated by a zero character, the list closed by one
// more (no data at all is the empty list). Data of another shape cannot come back as it is.
bool multiStringItems(const CKSLByteBuffer& data, CKSLWCharStringList& items)
{
    items.clear();
    const unsigned long ulBytes = data.getCount();
    if (ulBytes == 0)
        return true;
    const CKSLWCharBuffer chars = data.convertTo<wchar_t>();
    const unsigned long ulChars = chars.getCount();
    const wchar_t* pChars = chars.getBuffer();
    if (ulBytes % 2 != 0 || ulChars < 2 || pChars[ulChars - 1] != L'\0' || pChars[ulChars - 2] != L'\0')
        return false;
    for (unsigned long ulStart = 0, ul = 0; ul + 1 < ulChars; ++ul) {
        if (pChars[ul] != L'\0')
            continue;
        if (!items.add(slice(pChars + ulStart, ul - ulStart)))
            return false;
        ulStart = ul + 1;
    }
    return true;
}

// The characters of text data up to its terminating zero; whatever follows it must be zero too,
// since the import writes the text and its terminator only.
Problem textOf(const CKSLByteBuffer& data, CKSLWCharString& szText)
{
    if (!CKSLRegistryValue::bytesToText(data, szText))
        return L"the text could not be held";
    const BYTE* pBytes = data.getBuffer();
    if (data.getCount() % 2 != 0 && pBytes[data.getCount() - 1] != 0)
        return L"a text that ends inside a character";
    for (unsigned long ul = szText.getLength() * 2; ul < data.getCount(); ++ul)
        if (pBytes[ul] != 0)
            return L"a text with data after its terminating zero";
    return nullptr;
}

// An expandable text goes back through the expandable-string class, which refuses a text without
// a pair of percent signs.
bool hasPercentPairs(const CKSLWCharString& szText)
{
    const unsigned long ulPercents = szText.getOccurrenceCount(L"%");
    return ulPercents != 0 && ulPercents % 2 == 0;
}

// "REG_DWORD:" with 0x and exactly eight upper-case hex digits.
Problem dwordEntry(const CKSLByteBuffer& data, CKSLWCharString& szEntry)
{
    if (data.getCount() != sizeof(DWORD))
        return L"a DWORD whose data is not four bytes";
    DWORD dwValue = 0;
    std::memcpy(&dwValue, data.getBuffer(), sizeof dwValue);
    szEntry = CKSLWCharString(L"REG_DWORD:") + CKSLWCharString::asNumberSystem(dwValue, CKSLWCharString::nsHex, 8, true);
    return nullptr;
}

// "TYPE:" and the text between double quotes, which must stay on its line.
Problem textEntry(DWORD dwType, const CKSLByteBuffer& data, CKSLWCharString& szEntry)
{
    CKSLWCharString szText;
    const Problem problem = textOf(data, szText);
    if (problem != nullptr)
        return problem;
    if (std::wcspbrk(szText.getString(), L"\r\n") != nullptr)
        return L"a line break in its text";
    if (dwType == REG_EXPAND_SZ && !hasPercentPairs(szText))
        return L"an expandable text without a pair of '%' (the import refuses it)";
    szEntry = dwType == REG_SZ ? L"REG_SZ:\"" : L"REG_SZ_EXPAND:\"";
    szEntry += szText;
    szEntry += L'"';
    return nullptr;
}

// "REG_SZ_MULTI:" and the codes of each string with its terminator (an empty one is the
// terminator alone), joined by commas.
Problem multiStringEntry(const CKSLByteBuffer& data, CKSLWCharString& szEntry)
{
    CKSLWCharStringList strings;
    if (!multiStringItems(data, strings))
        return L"a multi-string whose data is not a list of terminated strings";
    szEntry = L"REG_SZ_MULTI:";
    for (auto* pNode = strings.getFirstNode(); pNode != nullptr; pNode = pNode->getNext()) {
        if (pNode != strings.getFirstNode())
            szEntry += L",";
        const CKSLWCharString& szItem = pNode->getPayload();
        szEntry += szItem.getLength() != 0 ? szItem.getAsciiCodeString() : CKSLWCharString(L"00 00");
    }
    return nullptr;
}

// "REG_BINARY:" and the codes; an odd number of bytes after its count, since whole characters
// would add a byte.
Problem binaryEntry(const CKSLByteBuffer& data, CKSLWCharString& szEntry)
{
    szEntry = L"REG_BINARY:";
    if (data.getCount() % 2 != 0)
        szEntry += CKSLWCharString(static_cast<long>(data.getCount())) + L":";
    szEntry += byteCodes(data);
    return nullptr;
}

// The entry text of a value of one of the exported types, or why the file cannot carry it back.
Problem entryText(const CKSLRegValueEntry& entry, CKSLWCharString& szEntry)
{
    switch (entry.getType()) {
    case REG_DWORD:
        return dwordEntry(entry.getData(), szEntry);
    case REG_SZ:
    case REG_EXPAND_SZ:
        return textEntry(entry.getType(), entry.getData(), szEntry);
    case REG_MULTI_SZ:
        return multiStringEntry(entry.getData(), szEntry);
    default:
        return binaryEntry(entry.getData(), szEntry);
    }
}

// Writes the entries of one key's section; remembers whether every value made it into the file.
class SectionWriter {
public:
    SectionWriter(CKSLIni& ini, const CKSLWCharString& szSection) : m_ini(ini), m_szSection(szSection) {}

    // The values of one registry type, in enumeration order.
    void writeValues(const CKSLRegValueEntryList& entries, DWORD dwType)
    {
        for (auto* pNode = entries.getFirstNode(); pNode != nullptr; pNode = pNode->getNext()) {
            const CKSLRegValueEntry& entry = pNode->getPayload();
            if (entry.getType() == dwType)
                write(entry);
        }
    }

    // Values of a type the file has no form for are not written (logged).
    void refuseOtherTypes(const CKSLRegValueEntryList& entries, const DWORD* pTypes, size_t nTypes)
    {
        for (auto* pNode = entries.getFirstNode(); pNode != nullptr; pNode = pNode->getNext()) {
            const CKSLRegValueEntry& entry = pNode->getPayload();
            if (std::find(pTypes, pTypes + nTypes, entry.getType()) != pTypes + nTypes)
                continue;
            logRefusal(kMethod, L"Unable to export a value of a type the file has no form for ( \"%s\\%s\" )",
                       shown(m_szSection).getString(), shown(entry.getValueName()).getString());
            m_bAllWritten = false;
        }
    }

    bool allWritten() const { return m_bAllWritten; }
    bool wroteEntries() const { return m_bWroteEntries; }

private:
    // One entry, unless its name or data cannot come back from the file (logged).
    void write(const CKSLRegValueEntry& entry)
    {
        const CKSLWCharString& szName = entry.getValueName();
        CKSLWCharString szEntry;
        const bool bWritten = acceptName(m_szSection, szName, false) && carried(entry, szEntry) &&
                              m_ini.setProfileString(m_szSection, szName, szEntry);
        m_bWroteEntries = m_bWroteEntries || bWritten;
        m_bAllWritten = m_bAllWritten && bWritten;
    }

    // Whether the file can carry the value's data back; logs why when it cannot.
    bool carried(const CKSLRegValueEntry& entry, CKSLWCharString& szEntry)
    {
        const Problem problem = entryText(entry, szEntry);
        if (problem != nullptr)
            logRefusal(kMethod, L"Unable to export a value the file cannot carry back ( \"%s\\%s\" ): %s",
                       shown(m_szSection).getString(), shown(entry.getValueName()).getString(), problem);
        return problem == nullptr;
    }

    CKSLIni& m_ini;
    const CKSLWCharString& m_szSection;
    bool m_bAllWritten = true;
    bool m_bWroteEntries = false;
};

// Entries appear by type in this order, each type in enumeration order.
const DWORD kExportTypes[] = {REG_DWORD, REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY};

// The key's entries; a key without any (no values, or none that could be written) still gets its
// section, an empty one, so that it comes back.
bool exportValues(CKSLIni& ini, HKEY hRootKey, const CKSLWCharString& szKeyPath, const CKSLWCharString& szSection)
{
    CKSLRegValueEntryList entries;
    if (!readValues(hRootKey, szKeyPath, entries))
        return false;
    SectionWriter writer(ini, szSection);
    for (DWORD dwType : kExportTypes)
        writer.writeValues(entries, dwType);
    writer.refuseOtherTypes(entries, kExportTypes, sizeof(kExportTypes) / sizeof(kExportTypes[0]));
    return (writer.wroteEntries() || ini.createProfileSection(szSection)) && writer.allWritten();
}

// The section of a key: the root name, a backslash and the path.
CKSLWCharString sectionName(HKEY hRootKey, const CKSLWCharString& szKeyPath)
{
    return CKSLWCharString(rootName(hRootKey)) + L"\\" + szKeyPath;
}

// The folder of the file must exist before the profile functions can write it.
void prepareFolder(const CKSLWCharString& szFileName)
{
    const wchar_t* wcsName = szFileName.getString();
    const wchar_t* wcsLastSeparator = std::wcsrchr(wcsName, L'\\');
    if (wcsLastSeparator == nullptr || wcsLastSeparator - wcsName < 2)
        return;
    CKSLDirectory folder(slice(wcsName, static_cast<size_t>(wcsLastSeparator - wcsName) + 1));
    if (!folder.isValidDirectory())
        folder.createDirectoryTree();
}

// The key's section, then each subkey's (and its descendants') in enumeration order. A subkey
// whose name the file cannot hold is left out with everything below it.
bool exportTree(CKSLIni& ini, HKEY hRootKey, const CKSLWCharString& szKeyPath)
{
    const CKSLWCharString szSection = sectionName(hRootKey, szKeyPath);
    bool bAllWritten = exportValues(ini, hRootKey, szKeyPath, szSection);
    CKSLRegistryKey key(hRootKey, szKeyPath, KEY_READ, false, 0);
    CKSLWCharStringList names;
    bAllWritten = key.getSubKeyNames(names) && bAllWritten;
    for (auto* pNode = names.getFirstNode(); pNode != nullptr; pNode = pNode->getNext()) {
        const CKSLWCharString& szName = pNode->getPayload();
        bAllWritten = acceptName(szSection, szName, true) && exportTree(ini, hRootKey, childPath(szKeyPath, szName)) &&
                      bAllWritten;
    }
    return bAllWritten;
}

// Why the key an export starts from cannot be written as a section the import reads back, or
// null: a root without a name in the file, a path the section line cannot carry, or a key that
// does not exist.
Problem startProblem(HKEY hRootKey, const CKSLWCharString& szKeyPath)
{
    if (rootName(hRootKey) == nullptr)
        return L"the file has no name for its root";
    if (std::wcspbrk(szKeyPath.getString(), L"\r\n") != nullptr)
        return L"a line break";
    // The profile functions trim a section name they are handed.
    if (szKeyPath.getLength() != 0 && isBlank(szKeyPath.getString()[szKeyPath.getLength() - 1]))
        return L"a blank at the end of the key path";
    const CKSLWCharString szSection = sectionName(hRootKey, szKeyPath);
    HKEY hParsedRoot = nullptr;
    CKSLWCharString szParsedPath;
    const Problem problem = parseSectionName(szSection.getString(), szSection.getLength(), hParsedRoot, szParsedPath);
    if (problem != nullptr)
        return problem;
    CKSLScopedKey hKey;
    if (RegOpenKeyExW(hRootKey, szKeyPath.getString(), 0, KEY_READ, hKey.receive()) == ERROR_FILE_NOT_FOUND)
        return L"the key does not exist";
    return nullptr;
}

} // namespace

bool CKSLRegistryFile::exportKey(const CKSLWCharString& szFileName, HKEY hRootKey, const CKSLWCharString& szKeyPath,
                                 bool bDeleteFirst)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        // One leading backslash of the path is dropped.
        const CKSLWCharString szPath = szKeyPath.getString()[0] == L'\\' ? szKeyPath.withoutFirst(1) : szKeyPath;
        const Problem problem = startProblem(hRootKey, szPath);
        if (problem != nullptr) {
            logRefusal(kMethod, L"Unable to export key ( \"%s\" ): %s; nothing is written", shown(szPath).getString(),
                       problem);
            return false;
        }
        if (bDeleteFirst)
            DeleteFileW(szFileName.getString());
        prepareFolder(szFileName);
        CKSLIni ini(szFileName); // a new file is started in UTF-16, so every text survives
        return exportTree(ini, hRootKey, szPath);
    });
}
