#include "ksl_registry_file.h"

#include <cwchar>

#include "ksl_catch.h"
#include "ksl_directory.h"
#include "ksl_ini.h"
#include "ksl_registry_binary.h"
#include "ksl_registry_dword.h"
#include "ksl_registry_expand.h"
#include "ksl_registry_multi_string.h"
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

// --- export ----------------------------------------------------------------------------------

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
    SectionWriter(CKSLIni& ini, HKEY hRootKey, const CKSLWCharString& szKeyPath)
        : m_ini(ini), m_hRootKey(hRootKey), m_szKeyPath(szKeyPath), m_szSection(rootName(hRootKey))
    {
        m_szSection += L"\\";
        const wchar_t* wcsPath = szKeyPath.getString();
        m_szSection += *wcsPath == L'\\' ? wcsPath + 1 : wcsPath;
    }

    // Every value of the class's registry type, each as the text entry(value) gives.
    template <class TValueClass, class FEntry>
    void writeValues(FEntry&& entry)
    {
        TValueClass reader(m_hRootKey, m_szKeyPath, CKSLWCharString(), KEY_READ, false, 0);
        typename TValueClass::ValueList pairs;
        if (!reader.readKeyValues(pairs))
            return;
        for (auto* pNode = pairs.getFirstNode(); pNode != nullptr; pNode = pNode->getNext()) {
            const auto& pair = pNode->getPayload();
            write(pair.m_szValueName, entry(pair.m_szValueName, pair.m_value));
        }
    }

    // "TYPE:" and the text between double quotes; empty when the text cannot stay on one line.
    CKSLWCharString quoted(const wchar_t* wcsType, const CKSLWCharString& szName, const CKSLWCharString& szText)
    {
        const wchar_t* wcsText = szText.getString();
        if (std::wcspbrk(wcsText, L"\r\n") != nullptr) {
            wchar_t wcsMessage[1025];
            kslFormat(wcsMessage, L"Unable to export a value with a line break ( \"%s\\%s\" )", m_szSection.getString(),
                      szName.getString());
            CKSLLogException1 error(KSL_LOG_EXCEPTION_BAD, wcsMessage, 0, KSL_RESULT_ERROR_CODE, kClass, L"exportKey",
                                    KSL_HERE, true, false);
            return CKSLWCharString();
        }
        CKSLWCharString szEntry(wcsType);
        szEntry += L":\"";
        szEntry += szText;
        szEntry += L'"';
        return szEntry;
    }

    bool allWritten() const { return m_bAllWritten; }

private:
    void write(const CKSLWCharString& szName, const CKSLWCharString& szEntry)
    {
        if (szEntry.getLength() == 0 || !m_ini.setProfileString(m_szSection, szName, szEntry))
            m_bAllWritten = false;
    }

    CKSLIni& m_ini;
    HKEY m_hRootKey;
    const CKSLWCharString& m_szKeyPath;
    CKSLWCharString m_szSection;
    bool m_bAllWritten = true;
};

bool exportValues(CKSLIni& ini, HKEY hRootKey, const CKSLWCharString& szKeyPath)
{
    SectionWriter writer(ini, hRootKey, szKeyPath);
    writer.writeValues<CKSLRegistryDword>([](const CKSLWCharString&, unsigned long ulValue) {
        // 0x and exactly eight upper-case hex digits
        return CKSLWCharString(L"REG_DWORD:") +
               CKSLWCharString::asNumberSystem(ulValue, CKSLWCharString::nsHex, 8, true);
    });
    writer.writeValues<CKSLRegistryValue>([&](const CKSLWCharString& szName, const CKSLWCharString& szText) {
        return writer.quoted(L"REG_SZ", szName, szText);
    });
    writer.writeValues<CKSLRegistryStringExpand>([&](const CKSLWCharString& szName, const CKSLWCharString& szText) {
        return writer.quoted(L"REG_SZ_EXPAND", szName, szText);
    });
    writer.writeValues<CKSLRegistryMultiString>([](const CKSLWCharString&, const CKSLWCharStringList& strings) {
        CKSLWCharString szEntry(L"REG_SZ_MULTI:");
        for (auto* pNode = strings.getFirstNode(); pNode != nullptr; pNode = pNode->getNext()) {
            if (pNode != strings.getFirstNode())
                szEntry += L",";
            szEntry += pNode->getPayload().getAsciiCodeString();
        }
        return szEntry;
    });
    writer.writeValues<CKSLRegistryBinary>([](const CKSLWCharString&, const CKSLByteBuffer& data) {
        return CKSLWCharString(L"REG_BINARY:") + byteCodes(data);
    });
    return writer.allWritten();
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

// A new file starts with the UTF-16 byte-order mark: the profile functions then write it in
// UTF-16 instead of the ANSI code page. An existing file keeps its encoding.
void startUnicodeFile(const CKSLWCharString& szFileName)
{
    CKSLScopedFile file(
        CreateFileW(szFileName.getString(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    const BYTE bom[2] = {0xFF, 0xFE};
    DWORD dwWritten = 0;
    WriteFile(file.get(), bom, sizeof(bom), &dwWritten, nullptr);
}

bool exportTree(CKSLIni& ini, HKEY hRootKey, const CKSLWCharString& szKeyPath)
{
    bool bAllWritten = exportValues(ini, hRootKey, szKeyPath);
    CKSLRegistryKey key(hRootKey, szKeyPath, KEY_READ, false, 0);
    CKSLWCharStringList names;
    key.getSubKeyNames(names);
    for (auto* pNode = names.getFirstNode(); pNode != nullptr; pNode = pNode->getNext())
        bAllWritten = exportTree(ini, hRootKey, childPath(szKeyPath, pNode->getPayload())) && bAllWritten;
    return bAllWritten;
}

// --- import ----------------------------------------------------------------------------------

// The text between the outer double quotes.
CKSLWCharString unquoted(const CKSLWCharString& szData)
{
    return szData.withoutFirst(1).withoutLast(1);
}

// Byte codes read as UTF-16LE text up to its first zero character.
CKSLWCharString textOfCodes(const CKSLWCharString& szCodes)
{
    CKSLWCharString szText;
    szText = szCodes.getBufferFromAsciiCodeString().convertTo<wchar_t>();
    return szText;
}

bool importMultiString(HKEY hRootKey, const CKSLWCharString& szKeyPath, const CKSLWCharString& szName,
                       const CKSLWCharString& szData)
{
    CKSLWCharStringList pieces;
    CKSLWCharStringList strings;
    if (szData.getLength() != 0)
        szData.split(pieces, L",", CKSLWCharString::pmFromStart, 0, 0);
    for (auto* pNode = pieces.getFirstNode(); pNode != nullptr; pNode = pNode->getNext())
        if (!strings.add(textOfCodes(pNode->getPayload())))
            return false;
    CKSLRegistryMultiString value(hRootKey, szKeyPath, szName, KSL_KEY_WRITE_ACCESS, true, 0);
    return value.setValue(strings, false);
}

// One "name=TYPE:data" line of a section; lines that do not have that form are ignored.
void importLine(HKEY hRootKey, const CKSLWCharString& szKeyPath, const CKSLWCharString& szLine)
{
    const wchar_t* wcsLine = szLine.getString();
    const wchar_t* wcsEquals = std::wcschr(wcsLine, L'=');
    const wchar_t* wcsColon = wcsEquals != nullptr ? std::wcschr(wcsEquals + 1, L':') : nullptr;
    if (wcsColon == nullptr)
        return;
    const CKSLWCharString szName = slice(wcsLine, static_cast<size_t>(wcsEquals - wcsLine));
    const CKSLWCharString szType = slice(wcsEquals + 1, static_cast<size_t>(wcsColon - wcsEquals - 1));
    const CKSLWCharString szData(wcsColon + 1);

    if (szType == L"REG_DWORD") {
        unsigned long ulValue = 0;
        if (szData.getNumber(ulValue, CKSLWCharString::nsHex))
            CKSLRegistryDword(hRootKey, szKeyPath, szName, KSL_KEY_WRITE_ACCESS, true, 0).setValue(ulValue, false);
    } else if (szType == L"REG_SZ") {
        CKSLRegistryValue(hRootKey, szKeyPath, szName, KSL_KEY_WRITE_ACCESS, true, 0).setValue(unquoted(szData), false);
    } else if (szType == L"REG_SZ_EXPAND") {
        CKSLRegistryStringExpand(hRootKey, szKeyPath, szName, KSL_KEY_WRITE_ACCESS, true, 0)
            .setValue(unquoted(szData), false);
    } else if (szType == L"REG_BINARY") {
        // Back to whole wide characters and down to bytes again: an odd count gains a zero byte.
        const CKSLByteBuffer bytes = szData.getBufferFromAsciiCodeString().convertTo<wchar_t>().convertTo<BYTE>();
        CKSLRegistryBinary(hRootKey, szKeyPath, szName, KSL_KEY_WRITE_ACCESS, true, 0).setValue(bytes, false);
    } else if (szType == L"REG_SZ_MULTI") {
        importMultiString(hRootKey, szKeyPath, szName, szData);
    }
}

// A section "ROOT\path": the key is created even when no entry can be written. A section name
// without a backslash names no key and is left alone (it would land in the root itself).
void importSection(CKSLIni& ini, const CKSLWCharString& szSection)
{
    const wchar_t* wcsSection = szSection.getString();
    const wchar_t* wcsSeparator = std::wcschr(wcsSection, L'\\');
    if (wcsSeparator == nullptr)
        return;
    const HKEY hRootKey = rootKey(slice(wcsSection, static_cast<size_t>(wcsSeparator - wcsSection)));
    const CKSLWCharString szKeyPath(wcsSeparator + 1);
    CKSLRegistryKey key(hRootKey, szKeyPath, KSL_KEY_WRITE_ACCESS, true, 0);
    key.exists();
    CKSLIni::StringList lines;
    if (!ini.getProfileSection(szSection, lines))
        return;
    for (auto* pNode = lines.getFirstNode(); pNode != nullptr; pNode = pNode->getNext())
        importLine(hRootKey, szKeyPath, pNode->getPayload());
}

} // namespace

bool CKSLRegistryFile::exportKey(const CKSLWCharString& szFileName, HKEY hRootKey, const CKSLWCharString& szKeyPath,
                                 bool bDeleteFirst)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        if (bDeleteFirst)
            DeleteFileW(szFileName.getString());
        prepareFolder(szFileName);
        startUnicodeFile(szFileName);
        CKSLIni ini(szFileName);
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
        for (auto* pNode = sections.getFirstNode(); pNode != nullptr; pNode = pNode->getNext())
            importSection(ini, pNode->getPayload());
        return true;
    });
}
