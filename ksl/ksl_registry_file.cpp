#include "ksl_registry_file.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <vector>

#include "ksl_catch.h"
#include "ksl_directory.h"
#include "ksl_ini.h"
#include "ksl_registry_binary.h"
#include "ksl_registry_dword.h"
#include "ksl_registry_expand.h"
#include "ksl_registry_multi_string.h"
#include "ksl_registry_string.h"
#include "ksl_scoped_handle.h"

namespace {

const wchar_t kClass[] = L"CKSLRegistryFile";

struct RootName {
    HKEY hRoot;
    const wchar_t* wcsName;
};

// Roots a section can name; any other root is written as HKEY_CURRENT_USER, any other name
// read as HKEY_LOCAL_MACHINE.
const RootName kRoots[] = {
    {HKEY_CLASSES_ROOT, L"HKEY_CLASSES_ROOT"},   {HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, L"HKEY_USERS"},                 {HKEY_CURRENT_CONFIG, L"HKEY_CURRENT_CONFIG"},
    {HKEY_CURRENT_USER, L"HKEY_CURRENT_USER"},
};

const wchar_t* rootName(HKEY hRoot)
{
    for (const RootName& root : kRoots)
        if (root.hRoot == hRoot)
            return root.wcsName;
    return L"HKEY_CURRENT_USER";
}

HKEY rootKey(const CKSLWCharString& szName)
{
    for (const RootName& root : kRoots)
        if (szName == root.wcsName)
            return root.hRoot;
    return HKEY_LOCAL_MACHINE;
}

// The first ulLength characters of a text (empty for 0).
CKSLWCharString slice(const wchar_t* pText, size_t ulLength)
{
    CKSLWCharString szSlice;
    if (ulLength != 0)
        szSlice = CKSLWCharBuffer(pText, static_cast<unsigned long>(ulLength));
    return szSlice;
}

CKSLWCharString childPath(const CKSLWCharString& szParent, const CKSLWCharString& szName)
{
    return szParent.getLength() == 0 ? szName : szParent + L"\\" + szName;
}

// A name as it goes into a log record: control characters (line breaks among them) become '?',
// so that a record stays one line.
CKSLWCharString printable(const CKSLWCharString& szName)
{
    CKSLWCharString szPrintable(szName);
    wchar_t* pChars = szPrintable.getBuffer();
    for (unsigned long ul = 0, ulLength = szPrintable.getLength(); ul < ulLength; ++ul)
        if (pChars[ul] < L' ')
            pChars[ul] = L'?';
    return szPrintable;
}

// One record of a refused entry or section, written at EXCEPTION_BAD; the operation goes on.
void logRefusal(const wchar_t* wcsMethodName, const wchar_t* wcsFormat, const CKSLWCharString& szFirst,
                const CKSLWCharString& szSecond)
{
    wchar_t wcsMessage[1025];
    kslFormat(wcsMessage, wcsFormat, printable(szFirst).getString(), printable(szSecond).getString());
    CKSLLogException1 error(KSL_LOG_EXCEPTION_BAD, wcsMessage, 0, KSL_RESULT_ERROR_CODE, kClass, wcsMethodName,
                            KSL_HERE, true, false);
}

// --- export ----------------------------------------------------------------------------------

// The profile functions trim blanks and control characters around names.
bool isBlank(wchar_t wc)
{
    return wc <= L' ';
}

// Why a value name (or, with bSubKey, a subkey name) cannot come back from the file as written,
// or null when it can: a line break would start an entry or section of its own, a leading '['
// or ';' makes a section line or a comment, the profile functions trim leading and trailing
// blanks, the first '=' ends an entry's name, a ']' ends a section's name, and the key's
// unnamed default value has no entry name at all.
const wchar_t* nameProblem(const CKSLWCharString& szName, bool bSubKey)
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
    if (std::wcschr(wcsName, bSubKey ? L']' : L'=') != nullptr)
        return bSubKey ? L"a ']'" : L"a '='";
    return nullptr;
}

// Whether the name can be exported; logs the refusal when it cannot.
bool acceptName(const CKSLWCharString& szSection, const CKSLWCharString& szName, bool bSubKey)
{
    const wchar_t* wcsProblem = nameProblem(szName, bSubKey);
    if (wcsProblem == nullptr)
        return true;
    wchar_t wcsFormat[256];
    kslFormat(wcsFormat, L"Unable to export a %s whose name the file cannot hold ( \"%%s\\%%s\" ): %s",
              bSubKey ? L"subkey" : L"value", wcsProblem);
    logRefusal(L"exportKey", wcsFormat, szSection, szName);
    return false;
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
            kslFormat(wcsMessage, L"Unable to enumerate values from key ( \"%s\" )", szKeyPath.getString());
            CKSLRegEnumValueException error(wcsMessage, lStatus, KSL_HERE, kClass, L"exportKey"); // written when built
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
        kslFormat(wcsMessage, L"Unable to query info on registry key ( \"%s\" )", szKeyPath.getString());
        CKSLRegQueryInfoKeyException error(wcsMessage, lStatus, KSL_HERE, kClass, L"exportKey"); // written when built
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

// Two-digit codes of the bytes, a zero byte added after an odd last one ("01 02 03 00").
CKSLWCharString byteCodes(const CKSLByteBuffer& data)
{
    CKSLWCharString szWide;
    static_cast<CKSLWCharBuffer&>(szWide) = data.convertTo<wchar_t>(); // every character coded, no terminator
    return szWide.getAsciiCodeString();
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
            if (entry.getType() == dwType && acceptName(m_szSection, entry.getValueName(), false))
                write(entry.getValueName(), entryText(entry));
            else if (entry.getType() == dwType)
                m_bAllWritten = false;
        }
    }

    // Values of a type the file has no form for are not written (logged).
    void refuseOtherTypes(const CKSLRegValueEntryList& entries, const DWORD* pTypes, size_t nTypes)
    {
        for (auto* pNode = entries.getFirstNode(); pNode != nullptr; pNode = pNode->getNext()) {
            const CKSLRegValueEntry& entry = pNode->getPayload();
            if (std::find(pTypes, pTypes + nTypes, entry.getType()) != pTypes + nTypes)
                continue;
            logRefusal(L"exportKey", L"Unable to export a value of a type the file has no form for ( \"%s\\%s\" )",
                       m_szSection, entry.getValueName());
            m_bAllWritten = false;
        }
    }

    bool allWritten() const { return m_bAllWritten; }

private:
    // The entry text of the value; empty when it cannot be written.
    CKSLWCharString entryText(const CKSLRegValueEntry& entry)
    {
        const CKSLByteBuffer& data = entry.getData();
        switch (entry.getType()) {
        case REG_DWORD:
        {
            // The first four bytes; fewer fill the low bytes.
            DWORD dwValue = 0;
            if (data.isValid())
                std::memcpy(&dwValue, data.getBuffer(), data.getCount() < sizeof dwValue ? data.getCount() : sizeof dwValue);
            // 0x and exactly eight upper-case hex digits
            return CKSLWCharString(L"REG_DWORD:") + CKSLWCharString::asNumberSystem(dwValue, CKSLWCharString::nsHex, 8, true);
        }
        case REG_SZ:
        case REG_EXPAND_SZ:
        {
            CKSLWCharString szText;
            if (!CKSLRegistryValue::bytesToText(data, szText))
                return CKSLWCharString();
            return quoted(entry.getType() == REG_SZ ? L"REG_SZ" : L"REG_SZ_EXPAND", entry.getValueName(), szText);
        }
        case REG_MULTI_SZ:
        {
            CKSLWCharStringList strings;
            if (!CKSLRegistryMultiString::parse(data.getBuffer(), data.getCount(), strings))
                return CKSLWCharString();
            CKSLWCharString szEntry(L"REG_SZ_MULTI:");
            for (auto* pNode = strings.getFirstNode(); pNode != nullptr; pNode = pNode->getNext()) {
                if (pNode != strings.getFirstNode())
                    szEntry += L",";
                szEntry += pNode->getPayload().getAsciiCodeString();
            }
            return szEntry;
        }
        default:
            return CKSLWCharString(L"REG_BINARY:") + byteCodes(data);
        }
    }

    // "TYPE:" and the text between double quotes; empty when the text cannot stay on one line.
    CKSLWCharString quoted(const wchar_t* wcsType, const CKSLWCharString& szName, const CKSLWCharString& szText)
    {
        if (std::wcspbrk(szText.getString(), L"\r\n") != nullptr) {
            logRefusal(L"exportKey", L"Unable to export a value with a line break ( \"%s\\%s\" )", m_szSection, szName);
            return CKSLWCharString();
        }
        CKSLWCharString szEntry(wcsType);
        szEntry += L":\"";
        szEntry += szText;
        szEntry += L'"';
        return szEntry;
    }

    void write(const CKSLWCharString& szName, const CKSLWCharString& szEntry)
    {
        if (szEntry.getLength() == 0 || !m_ini.setProfileString(m_szSection, szName, szEntry))
            m_bAllWritten = false;
    }

    CKSLIni& m_ini;
    const CKSLWCharString& m_szSection;
    bool m_bAllWritten = true;
};

// Entries appear by type in this order, each type in enumeration order.
const DWORD kExportTypes[] = {REG_DWORD, REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY};

bool exportValues(CKSLIni& ini, HKEY hRootKey, const CKSLWCharString& szKeyPath, const CKSLWCharString& szSection)
{
    CKSLRegValueEntryList entries;
    if (!readValues(hRootKey, szKeyPath, entries))
        return false;
    SectionWriter writer(ini, szSection);
    for (DWORD dwType : kExportTypes)
        writer.writeValues(entries, dwType);
    writer.refuseOtherTypes(entries, kExportTypes, sizeof(kExportTypes) / sizeof(kExportTypes[0]));
    return writer.allWritten();
}

// The section of a key: the root name, a backslash and the path (one leading backslash dropped).
CKSLWCharString sectionName(HKEY hRootKey, const CKSLWCharString& szKeyPath)
{
    CKSLWCharString szSection(rootName(hRootKey));
    szSection += L"\\";
    const wchar_t* wcsPath = szKeyPath.getString();
    szSection += *wcsPath == L'\\' ? wcsPath + 1 : wcsPath;
    return szSection;
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

// --- import ----------------------------------------------------------------------------------

// Why an entry could not be imported; null when it was.
typedef const wchar_t* Problem;

// Byte codes as the export writes them: two hex digits each, separated by single blanks.
bool isCodeString(const wchar_t* wcsCodes, size_t nLength)
{
    if (nLength == 0)
        return true;
    if ((nLength + 1) % 3 != 0)
        return false;
    for (size_t n = 0; n < nLength; ++n) {
        const bool bSeparator = n % 3 == 2;
        if (bSeparator ? wcsCodes[n] != L' ' : !std::iswxdigit(wcsCodes[n]) || wcsCodes[n] > 0x7F)
            return false;
    }
    return true;
}

// The text between the outer double quotes.
Problem unquoted(const CKSLWCharString& szData, CKSLWCharString& szText)
{
    const unsigned long ulLength = szData.getLength();
    const wchar_t* wcsData = szData.getString();
    if (ulLength < 2 || wcsData[0] != L'"' || wcsData[ulLength - 1] != L'"')
        return L"the text is not between double quotes";
    szText = szData.withoutFirst(1).withoutLast(1);
    return nullptr;
}

Problem parseDword(const CKSLWCharString& szData, unsigned long& ulValue)
{
    CKSLWCharString szDigits(szData);
    szDigits.trim(L' ', CKSLWCharString::sideBoth, CKSLWCharString::wsAll);
    szDigits.stripNotation(); // "0x" alone has no digit to read
    if (szDigits.getLength() == 0 || !szData.getNumber(ulValue, CKSLWCharString::nsHex))
        return L"bad number";
    return nullptr;
}

Problem parseBinary(const CKSLWCharString& szData, CKSLByteBuffer& bytes)
{
    if (!isCodeString(szData.getString(), szData.getLength()))
        return L"bad hex code";
    // Back to whole wide characters and down to bytes again: an odd count gains a zero byte.
    bytes = szData.getBufferFromAsciiCodeString().convertTo<wchar_t>().convertTo<BYTE>();
    return nullptr;
}

// Comma-separated code strings, each a UTF-16LE text read up to its first zero character.
Problem parseMultiString(const CKSLWCharString& szData, CKSLWCharStringList& strings)
{
    for (const wchar_t* wcsPiece = szData.getString(); szData.getLength() != 0;) {
        const wchar_t* wcsComma = std::wcschr(wcsPiece, L',');
        const size_t nLength = wcsComma != nullptr ? static_cast<size_t>(wcsComma - wcsPiece) : std::wcslen(wcsPiece);
        // Each string brings its terminator: whole characters, at least one.
        if (nLength == 0 || (nLength + 1) % 6 != 0 || !isCodeString(wcsPiece, nLength))
            return L"bad hex code";
        CKSLWCharString szText;
        szText = slice(wcsPiece, nLength).getBufferFromAsciiCodeString().convertTo<wchar_t>();
        if (!strings.add(szText))
            return L"the strings could not be held";
        if (wcsComma == nullptr)
            break;
        wcsPiece = wcsComma + 1;
    }
    return nullptr;
}

// The parsed value written through its value class, unless parsing found a problem.
template <class TValueClass, class TValue>
Problem writeParsed(Problem parseProblem, const TValue& value, HKEY hRootKey, const CKSLWCharString& szKeyPath,
                    const CKSLWCharString& szName)
{
    if (parseProblem == nullptr &&
        !TValueClass(hRootKey, szKeyPath, szName, KSL_KEY_WRITE_ACCESS, true, 0).setValue(value, false))
        return L"the value could not be written";
    return parseProblem;
}

// Writes one "name=TYPE:data" line; a line that cannot be parsed writes nothing.
Problem importEntry(HKEY hRootKey, const CKSLWCharString& szKeyPath, const CKSLWCharString& szLine)
{
    const wchar_t* wcsLine = szLine.getString();
    const wchar_t* wcsEquals = std::wcschr(wcsLine, L'=');
    const wchar_t* wcsColon = wcsEquals != nullptr ? std::wcschr(wcsEquals + 1, L':') : nullptr;
    if (wcsColon == nullptr)
        return L"no type prefix";
    const CKSLWCharString szName = slice(wcsLine, static_cast<size_t>(wcsEquals - wcsLine));
    const CKSLWCharString szType = slice(wcsEquals + 1, static_cast<size_t>(wcsColon - wcsEquals - 1));
    const CKSLWCharString szData(wcsColon + 1);
    // Each value is parsed completely before the write, so a bad one never reaches the registry.
    if (szType == L"REG_DWORD") {
        unsigned long ulValue = 0;
        const Problem problem = parseDword(szData, ulValue);
        return writeParsed<CKSLRegistryDword>(problem, ulValue, hRootKey, szKeyPath, szName);
    }
    if (szType == L"REG_SZ" || szType == L"REG_SZ_EXPAND") {
        CKSLWCharString szText;
        const Problem problem = unquoted(szData, szText);
        return szType == L"REG_SZ" ? writeParsed<CKSLRegistryValue>(problem, szText, hRootKey, szKeyPath, szName)
                                   : writeParsed<CKSLRegistryStringExpand>(problem, szText, hRootKey, szKeyPath, szName);
    }
    if (szType == L"REG_BINARY") {
        CKSLByteBuffer bytes;
        const Problem problem = parseBinary(szData, bytes);
        return writeParsed<CKSLRegistryBinary>(problem, bytes, hRootKey, szKeyPath, szName);
    }
    if (szType == L"REG_SZ_MULTI") {
        CKSLWCharStringList strings;
        const Problem problem = parseMultiString(szData, strings);
        return writeParsed<CKSLRegistryMultiString>(problem, strings, hRootKey, szKeyPath, szName);
    }
    return L"bad type prefix";
}

// A key path names a key when no component of it is empty (an empty path names the root).
bool namesKey(const CKSLWCharString& szKeyPath)
{
    const wchar_t* wcsPath = szKeyPath.getString();
    const size_t nLength = szKeyPath.getLength();
    return nLength == 0 ||
           (wcsPath[0] != L'\\' && wcsPath[nLength - 1] != L'\\' && std::wcsstr(wcsPath, L"\\\\") == nullptr);
}

// A section "ROOT\path": the key is created even when no entry can be written. Answers whether
// the section and every line of it were imported; each failure is logged.
bool importSection(CKSLIni& ini, const CKSLWCharString& szSection)
{
    const wchar_t* wcsSection = szSection.getString();
    const wchar_t* wcsSeparator = std::wcschr(wcsSection, L'\\');
    const CKSLWCharString szKeyPath(wcsSeparator != nullptr ? wcsSeparator + 1 : L"");
    if (wcsSeparator == nullptr || !namesKey(szKeyPath)) {
        logRefusal(L"importFile", L"Unable to import section ( %s )%s: it names no registry key", szSection,
                   CKSLWCharString());
        return false;
    }
    const HKEY hRootKey = rootKey(slice(wcsSection, static_cast<size_t>(wcsSeparator - wcsSection)));
    CKSLRegistryKey key(hRootKey, szKeyPath, KSL_KEY_WRITE_ACCESS, true, 0);
    if (!key.exists()) {
        logRefusal(L"importFile", L"Unable to import section ( %s )%s: the key could not be created", szSection,
                   CKSLWCharString());
        return false;
    }
    CKSLIni::StringList lines;
    ini.getProfileSection(szSection, lines); // false for an empty section: nothing to write
    bool bAllImported = true;
    for (auto* pNode = lines.getFirstNode(); pNode != nullptr; pNode = pNode->getNext()) {
        const Problem problem = importEntry(hRootKey, szKeyPath, pNode->getPayload());
        if (problem == nullptr)
            continue;
        wchar_t wcsFormat[256];
        kslFormat(wcsFormat, L"Unable to import entry ( section: %%s, entry: %%s ): %s", problem);
        logRefusal(L"importFile", wcsFormat, szSection, pNode->getPayload());
        bAllImported = false;
    }
    return bAllImported;
}

} // namespace

bool CKSLRegistryFile::exportKey(const CKSLWCharString& szFileName, HKEY hRootKey, const CKSLWCharString& szKeyPath,
                                 bool bDeleteFirst)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        if (bDeleteFirst)
            DeleteFileW(szFileName.getString());
        prepareFolder(szFileName);
        CKSLIni ini(szFileName); // a new file is started in UTF-16, so every text survives
        return exportTree(ini, hRootKey, szKeyPath);
    });
}

bool CKSLRegistryFile::importFile(const CKSLWCharString& szFileName)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        CKSLIni ini(szFileName);
        CKSLIni::StringList sections;
        if (!ini.getProfileSectionNames(sections))
            return true;
        bool bAllImported = true;
        for (auto* pNode = sections.getFirstNode(); pNode != nullptr; pNode = pNode->getNext())
            bAllImported = importSection(ini, pNode->getPayload()) && bAllImported;
        return bAllImported;
    });
}
