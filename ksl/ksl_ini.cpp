#include "ksl_ini.h"

#include "ksl_catch.h"
#include "ksl_method_trace.h"

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

bool CKSLIni::createProfileSection(const CKSLWCharString& szSection)
{
    CKSLMethodTrace trace(kClass, L"createProfileSection", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        checkFileName();
        const bool bNamed = isNamed(szSection);
        if (bNamed && WritePrivateProfileSectionW(szSection.getString(), nullptr, m_szFileName.getString()))
            return true;
        const long lError = bNamed ? static_cast<long>(GetLastError()) : 0;
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
    const bool bNamed = isNamed(szSection) && isNamed(szKeyName);
    // getString() gives "" for an empty value: Windows would delete the key for a null one.
    if (bNamed && WritePrivateProfileStringW(szSection.getString(), szKeyName.getString(), szValue.getString(),
                                             m_szFileName.getString()))
        return;
    const long lError = bNamed ? static_cast<long>(GetLastError()) : 0;
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

// One buffer read of a section (pSection set) or of the section names.
bool CKSLIni::readStrings(const CKSLWCharString* pSection, StringList& list)
{
    checkFileName();
    CKSLWCharBuffer buffer(kListChars);
    const DWORD n = pSection != nullptr ? GetPrivateProfileSectionW(pSection->getString(), buffer.getBuffer(),
                                                                    kListChars, m_szFileName.getString())
                                        : GetPrivateProfileSectionNamesW(buffer.getBuffer(), kListChars,
                                                                         m_szFileName.getString());
    // kListChars - 2: the strings did not fit.
    if (n == 0 || n >= kListChars - 2)
        return false;
    return fillList(buffer.getBuffer(), n, list);
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
