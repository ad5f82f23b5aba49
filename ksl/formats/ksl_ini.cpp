#include "ksl_ini.h"

#include <cwchar>

#include "ksl_catch.h"
#include "ksl_format.h"
#include "ksl_method_trace.h"
#include "ksl_scoped_handle.h"

namespace {

const wchar_t kClass[] = L"CKSLIni";
// Defaults handed to Windows; a read that returns them counts as "missing".
const wchar_t kNotFound[] = L"Not Found";
const long kNoInt = -1;
const DWORD kStringChars = 1024;
const DWORD kListChars = 32767;

const wchar_t* orUnknown(const CKSLWCharString& szName)
{
    return szName.isValid() ? szName.getString() : L"Unknown";
}

// Windows gives empty section or key names a meaning of their own (all sections, all keys, delete
// the section), so an empty name never reaches it.
bool isNamed(const CKSLWCharString& szName)
{
    return szName.getLength() != 0;
}

// Logs why a text cannot be written (a bad-argument record); the write then fails as any refused
// write does, with the record that names its section and key.
bool refused(const wchar_t* wcsArgName, const wchar_t* wcsText)
{
    CKSLBadArgException error(wcsArgName, wcsText, KSL_HERE); // written when built
    return true;
}

// The profile functions keep a line per entry: a text with a line break would start a line of
// its own there (a new entry, or a new section).
bool hasLineBreak(const CKSLWCharString& szText, const wchar_t* wcsArgName)
{
    return szText.isValid() && std::wcspbrk(szText.getString(), L"\r\n") != nullptr &&
           refused(wcsArgName, L"a line break cannot be written to a profile file");
}

// Whether the text would not survive the trip through the ANSI code page (a character replaced
// by a default or a look-alike).
bool isOutsideAnsi(const CKSLWCharString& szText, const wchar_t* wcsArgName)
{
    if (szText.getLength() == 0 || GetACP() == CP_UTF8)
        return false;
    BOOL bUsedDefault = FALSE;
    const int nBytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, szText.getString(),
                                           static_cast<int>(szText.getLength()), nullptr, 0, nullptr, &bUsedDefault);
    return (nBytes <= 0 || bUsedDefault) &&
           refused(wcsArgName, L"the text cannot be represented in the ANSI code page of the file");
}

} // namespace

CKSLIni::CKSLIni(const CKSLWCharString& szFileName)
{
    CKSLMethodTrace trace(kClass, L"CKSLIni", KSL_HERE);
    m_szFileName = szFileName; // a failed copy is logged by the string; operations then refuse
}

CKSLIni::~CKSLIni()
{
    CKSLMethodTrace trace(kClass, L"~CKSLIni", KSL_HERE);
}

void CKSLIni::checkFileName() const
{
    if (!isNamed(m_szFileName))
        throw CKSLBadArgException(L"m_szFileName", L"the INI file name is empty", KSL_HERE);
}

// A file that does not exist yet is started with the UTF-16 byte-order mark: the profile
// functions then write it in UTF-16 and every text survives. An existing file keeps its
// encoding; the answer is whether that is the ANSI code page (anything without a UTF-16 mark).
bool CKSLIni::prepareFileEncoding() const
{
    const BYTE bom[2] = {0xFF, 0xFE};
    {
        CKSLScopedFile file(CreateFileW(m_szFileName.getString(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD dwWritten = 0;
        if (file && WriteFile(file.get(), bom, sizeof(bom), &dwWritten, nullptr) && dwWritten == sizeof(bom))
            return false;
    }
    CKSLScopedFile file(CreateFileW(m_szFileName.getString(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    BYTE mark[2] = {};
    DWORD dwRead = 0;
    if (!file || !ReadFile(file.get(), mark, sizeof(mark), &dwRead, nullptr))
        return false; // no file to be had: the write itself fails and says so
    const bool bUnicode = dwRead == 2 && ((mark[0] == 0xFF && mark[1] == 0xFE) || (mark[0] == 0xFE && mark[1] == 0xFF));
    return !bUnicode;
}

// Whether the file can give the texts back as written; a refusal is logged. Line breaks are
// refused anywhere, characters outside the ANSI code page in a file kept in it. A missing file
// is started in UTF-16.
bool CKSLIni::isWritable(const CKSLWCharString& szSection, const CKSLWCharString* pKeyName,
                         const CKSLWCharString* pValue) const
{
    const CKSLWCharString szNone;
    const CKSLWCharString& szKeyName = pKeyName != nullptr ? *pKeyName : szNone;
    const CKSLWCharString& szValue = pValue != nullptr ? *pValue : szNone;
    if (hasLineBreak(szSection, L"szSection") || hasLineBreak(szKeyName, L"szKeyName") ||
        hasLineBreak(szValue, L"szValue"))
        return false;
    return !prepareFileEncoding() || !(isOutsideAnsi(szSection, L"szSection") ||
                                       isOutsideAnsi(szKeyName, L"szKeyName") || isOutsideAnsi(szValue, L"szValue"));
}

bool CKSLIni::hasSection(const CKSLWCharString& szSection)
{
    StringList names;
    if (!readStrings(nullptr, names))
        return false;
    for (auto* pNode = names.getFirstNode(); pNode != nullptr; pNode = pNode->getNext())
        if (lstrcmpiW(pNode->getPayload().getString(), szSection.getString()) == 0)
            return true;
    return false;
}

// A missing section is made by writing one entry and deleting it again (handing Windows a null
// key list would empty an existing section and creates none); an existing one is left alone.
bool CKSLIni::createProfileSection(const CKSLWCharString& szSection)
{
    CKSLMethodTrace trace(kClass, L"createProfileSection", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        checkFileName();
        const bool bNamed = isNamed(szSection);
        const bool bWritable = bNamed && isWritable(szSection, nullptr, nullptr);
        if (bWritable) {
            if (hasSection(szSection))
                return true;
            const wchar_t* const wcsPlaceholder = L"KSLNewSection";
            if (WritePrivateProfileStringW(szSection.getString(), wcsPlaceholder, L"", m_szFileName.getString()) &&
                WritePrivateProfileStringW(szSection.getString(), wcsPlaceholder, nullptr, m_szFileName.getString()))
                return true;
        }
        const long lError = bWritable ? static_cast<long>(GetLastError()) : 0;
        wchar_t wcsMessage[1025];
        kslFormat(wcsMessage, L"Unable to write profile section ( section: %s )", orUnknown(szSection));
        throw CKSLWritePrivateProfileSectionException(wcsMessage, lError, KSL_HERE, kClass, L"createProfileSection");
    }));
}

bool CKSLIni::getProfileInt(const CKSLWCharString& szSection, const CKSLWCharString& szKeyName, long& lValue)
{
    CKSLMethodTrace trace(kClass, L"getProfileInt", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        checkFileName();
        long lRead = kNoInt;
        if (isNamed(szSection) && isNamed(szKeyName))
            lRead = static_cast<long>(GetPrivateProfileIntW(szSection.getString(), szKeyName.getString(), kNoInt,
                                                            m_szFileName.getString()));
        if (lRead == kNoInt)
            throw CKSLLogException1(KSL_LOG_EXCEPTION_BAD, L"GetPrivateProfileInt( ) failed.",
                                    static_cast<long>(GetLastError()), KSL_RESULT_ERROR_CODE, kClass,
                                    L"getProfileInt", KSL_HERE, true, false);
        lValue = lRead;
        return true;
    }));
}

bool CKSLIni::getProfileString(const CKSLWCharString& szSection, const CKSLWCharString& szKeyName,
                               CKSLWCharString& szValue)
{
    CKSLMethodTrace trace(kClass, L"getProfileString", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        checkFileName();
        if (!isNamed(szSection) || !isNamed(szKeyName))
            return false;
        CKSLWCharBuffer buffer(kStringChars);
        const DWORD n = GetPrivateProfileStringW(szSection.getString(), szKeyName.getString(), kNotFound,
                                                 buffer.getBuffer(), kStringChars, m_szFileName.getString());
        // 1022 and 1023 characters: the value filled the buffer and may have been cut.
        if (n == 0 || n >= kStringChars - 2)
            return false;
        const CKSLWCharString szRead(buffer.getBuffer());
        if (szRead == kNotFound)
            return false;
        szValue = szRead;
        return szValue.getLength() == n;
    }));
}

// One entry written, or the write failure raised with the section and key it was meant for.
void CKSLIni::writeString(const CKSLWCharString& szSection, const CKSLWCharString& szKeyName,
                          const CKSLWCharString& szValue, const wchar_t* wcsMethodName)
{
    checkFileName();
    const bool bWritable = isNamed(szSection) && isNamed(szKeyName) && isWritable(szSection, &szKeyName, &szValue);
    // getString() gives "" for an empty value: Windows would delete the key for a null one.
    if (bWritable && WritePrivateProfileStringW(szSection.getString(), szKeyName.getString(), szValue.getString(),
                                             m_szFileName.getString()))
        return;
    const long lError = bWritable ? static_cast<long>(GetLastError()) : 0;
    wchar_t wcsMessage[1025];
    kslFormat(wcsMessage, L"Unable to write profile string ( section: %s, key name: %s )", orUnknown(szSection),
              orUnknown(szKeyName));
    throw CKSLWritePrivateProfileStringException(wcsMessage, lError, KSL_HERE, kClass, wcsMethodName);
}

bool CKSLIni::setProfileString(const CKSLWCharString& szSection, const CKSLWCharString& szKeyName,
                               const CKSLWCharString& szValue)
{
    CKSLMethodTrace trace(kClass, L"setProfileString", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        writeString(szSection, szKeyName, szValue, L"setProfileString");
        return true;
    }));
}

bool CKSLIni::setProfileInt(const CKSLWCharString& szSection, const CKSLWCharString& szKeyName, long lValue)
{
    CKSLMethodTrace trace(kClass, L"setProfileInt", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        writeString(szSection, szKeyName, CKSLWCharString(lValue), L"setProfileInt");
        return true;
    }));
}

bool CKSLIni::fillList(const wchar_t* pStrings, unsigned long n, StringList& list)
{
    list.clear();
    for (unsigned long ulStart = 0; ulStart < n;) {
        const CKSLWCharString szPiece(pStrings + ulStart);
        const unsigned long ulLength = szPiece.getLength();
        if (ulLength != 0 && !list.add(szPiece, 0))
            return false;
        ulStart += ulLength + 1;
    }
    return !list.isEmpty();
}

// A section (pSection set) or the section names, read into a buffer that grows until they fit.
bool CKSLIni::readStrings(const CKSLWCharString* pSection, StringList& list)
{
    checkFileName();
    for (DWORD dwChars = kListChars;; dwChars = growListChars(dwChars)) {
        CKSLWCharBuffer buffer(dwChars);
        const DWORD n = pSection != nullptr ? GetPrivateProfileSectionW(pSection->getString(), buffer.getBuffer(),
                                                                        dwChars, m_szFileName.getString())
                                            : GetPrivateProfileSectionNamesW(buffer.getBuffer(), dwChars,
                                                                             m_szFileName.getString());
        // dwChars - 2: the strings did not fit.
        if (n < dwChars - 2)
            return n != 0 && fillList(buffer.getBuffer(), n, list);
    }
}

// Doubles the buffer; a list that would not fit 0x40000000 characters is refused (and logged).
DWORD CKSLIni::growListChars(DWORD dwChars)
{
    const DWORD dwLimit = 0x40000000;
    if (dwChars >= dwLimit)
        throw CKSLMemAllocException(L"buffer", KSL_HERE);
    return dwChars * 2 < dwLimit ? dwChars * 2 : dwLimit;
}

bool CKSLIni::getProfileSection(const CKSLWCharString& szSection, StringList& lines)
{
    CKSLMethodTrace trace(kClass, L"getProfileSection", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        return isNamed(szSection) && readStrings(&szSection, lines);
    }));
}

bool CKSLIni::getProfileSectionNames(StringList& names)
{
    CKSLMethodTrace trace(kClass, L"getProfileSectionNames", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] { return readStrings(nullptr, names); }));
}
