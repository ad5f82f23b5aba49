#include "ksl_registry_key.h"

#include <cstring>
#include <memory>
#include <new>

#include "ksl_catch.h"
#include "ksl_format.h"

namespace {

const wchar_t kClassName[] = L"CKSLRegistryKey";
// The enumeration records carry this spelling of the class name.
const wchar_t kEnumClassName[] = L"CKSLRegistrykey";

// Path of a subkey; a key at the root has no path to put in front of the name.
CKSLWCharString childPath(const CKSLWCharString& szParent, const wchar_t* wcsName)
{
    if (szParent.getLength() == 0)
        return CKSLWCharString(wcsName);
    CKSLWCharString szChild = szParent + L"\\";
    szChild += wcsName;
    return szChild;
}

} // namespace

// --- CKSLRegValueEntry -----------------------------------------------------------------------

CKSLRegValueEntry::CKSLRegValueEntry(const wchar_t* wcsValueName, const BYTE* pData, unsigned long ulDataBytes,
                                     unsigned long ulType)
    : m_szValueName(wcsValueName), m_data(pData, pData != nullptr ? ulDataBytes : 0), m_ulType(ulType)
{
}

bool CKSLRegValueEntry::operator==(const CKSLRegValueEntry& other) const
{
    return m_ulType == other.m_ulType && m_szValueName == other.m_szValueName &&
           m_data.getCount() == other.m_data.getCount() &&
           (m_data.getCount() == 0 || std::memcmp(m_data.getBuffer(), other.m_data.getBuffer(), m_data.getCount()) == 0);
}

// --- messages --------------------------------------------------------------------------------

CKSLRegistryKey::Message::Message(const wchar_t* wcsFormat, const CKSLWCharString& szFirst)
{
    kslFormat(m_wcsText, s_nCapacity, wcsFormat, szFirst.getLength() != 0 ? szFirst.getString() : L"Unknown");
}

CKSLRegistryKey::Message::Message(const wchar_t* wcsFormat, const CKSLWCharString& szFirst,
                                  const CKSLWCharString& szSecond)
{
    kslFormat(m_wcsText, s_nCapacity, wcsFormat, szFirst.getLength() != 0 ? szFirst.getString() : L"Unknown",
              szSecond.getLength() != 0 ? szSecond.getString() : L"Unknown");
}

void CKSLRegistryKey::logWarning(const wchar_t* wcsFormat, const wchar_t* wcsMethodName, const wchar_t* wcsFile,
                                 int nLine) const
{
    CKSLLogWarning warning(KSL_LOG_WARNING, Message(wcsFormat, m_szKeyPath).text(), 0, KSL_RESULT_ERROR_CODE,
                           kClassName, wcsMethodName, wcsFile, nLine, true, false);
}

// --- construction ----------------------------------------------------------------------------

CKSLRegistryKey::CKSLRegistryKey(HKEY hRootKey, const CKSLWCharString& szKeyPath, REGSAM samDesired,
                                 bool bCreateIfMissing, DWORD dwCreateOptions)
    : m_samDesired(samDesired),
      m_dwCreateOptions(dwCreateOptions),
      m_bCreateIfMissing(bCreateIfMissing),
      m_hRootKey(hRootKey)
{
    m_szKeyPath = szKeyPath; // a failed copy is logged by the string
    if (m_szKeyPath.getLength() != szKeyPath.getLength())
        throw CKSLRegKeyInitException(L"CKSLRegistryKey object failed to initialize", 0, KSL_HERE, kClassName,
                                      kClassName);
}

CKSLRegistryKey::CKSLRegistryKey(const CKSLRegistryKey& other)
    : CKSLRegistryKey(other.m_hRootKey, other.m_szKeyPath, other.m_samDesired, other.m_bCreateIfMissing,
                      other.m_dwCreateOptions)
{
}

CKSLRegistryKey& CKSLRegistryKey::operator=(const CKSLRegistryKey& other)
{
    assign(other);
    return *this;
}

CKSLRegistryKey::~CKSLRegistryKey()
{
    closeIfOpen();
}

bool CKSLRegistryKey::assign(const CKSLRegistryKey& other)
{
    if (this == &other)
        return true;
    closeIfOpen();
    m_hRootKey = other.m_hRootKey;
    m_samDesired = other.m_samDesired;
    m_dwCreateOptions = other.m_dwCreateOptions;
    m_bCreateIfMissing = other.m_bCreateIfMissing;
    m_szKeyPath = other.m_szKeyPath;
    return m_szKeyPath.getLength() == other.m_szKeyPath.getLength();
}

// --- open, create, close ---------------------------------------------------------------------

LONG CKSLRegistryKey::openHandle()
{
    CKSLScopedKey hKey;
    const LONG lStatus = RegOpenKeyExW(m_hRootKey, m_szKeyPath.getString(), 0, m_samDesired, hKey.receive());
    if (lStatus == ERROR_SUCCESS)
        m_hKey = std::move(hKey);
    return lStatus;
}

bool CKSLRegistryKey::open()
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        if (isOpen()) {
            logWarning(L"Registry key is already open ( %s )", L"open", KSL_HERE);
            close();
        }
        const LONG lStatus = openHandle();
        if (lStatus == ERROR_SUCCESS)
            return true;
        if ((lStatus == ERROR_FILE_NOT_FOUND || lStatus == ERROR_INVALID_HANDLE) && m_bCreateIfMissing && create())
            return openHandle() == ERROR_SUCCESS;
        return false;
    });
}

bool CKSLRegistryKey::create()
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        closeIfOpen();
        CloseOnExit closeOnExit(*this);
        CKSLScopedKey hKey;
        const LONG lStatus = RegCreateKeyExW(m_hRootKey, m_szKeyPath.getString(), 0, nullptr, m_dwCreateOptions,
                                             m_samDesired, nullptr, hKey.receive(), nullptr);
        if (lStatus != ERROR_SUCCESS)
            throw CKSLRegKeyCreateException(Message(L"Unable to create registry key ( \"%s\" )", m_szKeyPath).text(),
                                            lStatus, KSL_HERE, kClassName, L"create");
        m_hKey = std::move(hKey); // closed again on the way out
        return true;
    });
}

bool CKSLRegistryKey::close()
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        if (!isOpen()) {
            logWarning(L"Registry key is already closed ( %s )", L"close", KSL_HERE);
            return true;
        }
        const LONG lStatus = RegCloseKey(m_hKey.get());
        if (lStatus != ERROR_SUCCESS)
            throw CKSLRegCloseKeyWarning(Message(L"Unable to close registry key ( %s )", m_szKeyPath).text(), lStatus,
                                         KSL_HERE, kClassName, L"close");
        m_hKey.release();
        return true;
    });
}

void CKSLRegistryKey::closeIfOpen()
{
    if (isOpen())
        close();
}

bool CKSLRegistryKey::exists()
{
    const bool bOpened = open();
    closeIfOpen();
    return bOpened;
}

// --- key information -------------------------------------------------------------------------

bool CKSLRegistryKey::queryInfo(InfoFigure figure, unsigned long& ulFigure, const wchar_t* wcsMethodName)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        if (!openIfClosed())
            return false;
        CloseOnExit closeOnExit(*this);
        DWORD dwFigure = 0;
        // Only the one figure asked for is requested.
        DWORD* pFigures[3] = {};
        pFigures[figure] = &dwFigure;
        const LONG lStatus =
            RegQueryInfoKeyW(m_hKey.get(), nullptr, nullptr, nullptr, nullptr, pFigures[ifMaxSubKeyLength], nullptr,
                             nullptr, pFigures[ifMaxValueNameLength], pFigures[ifMaxValueLength], nullptr, nullptr);
        if (lStatus != ERROR_SUCCESS)
            throw CKSLRegQueryInfoKeyException(
                Message(L"Unable to query info on registry key ( \"%s\" )", m_szKeyPath).text(), lStatus, KSL_HERE,
                kClassName, wcsMethodName);
        ulFigure = dwFigure;
        return true;
    });
}

bool CKSLRegistryKey::getMaxSubKeyLength(unsigned long& ulMaxSubKeyLength)
{
    return queryInfo(ifMaxSubKeyLength, ulMaxSubKeyLength, L"getMaxSubKeyLength");
}

bool CKSLRegistryKey::getMaxValueLength(unsigned long& ulMaxValueLength)
{
    return queryInfo(ifMaxValueLength, ulMaxValueLength, L"getMaxValueLength");
}

bool CKSLRegistryKey::getMaxValueNameLength(unsigned long& ulMaxValueNameLength)
{
    return queryInfo(ifMaxValueNameLength, ulMaxValueNameLength, L"getMaxValueNameLength");
}

bool CKSLRegistryKey::getKeyName(CKSLWCharString& szName, bool bFullPath) const
{
    const wchar_t* wcsName = m_szKeyPath.getString();
    const wchar_t* wcsLastSeparator = bFullPath ? nullptr : std::wcsrchr(wcsName, L'\\');
    if (wcsLastSeparator != nullptr)
        wcsName = wcsLastSeparator + 1;
    szName = wcsName;
    return szName.getLength() == std::wcslen(wcsName);
}

// --- enumeration -----------------------------------------------------------------------------

bool CKSLRegistryKey::enumSubKey(CKSLRegistryKey& subKey, unsigned long ulIndex, LONG& lStatus)
{
    // A key that cannot be opened has nothing to enumerate; any failure after that is one.
    lStatus = ERROR_NO_MORE_ITEMS;
    return kslCatchTraced(false, KSL_HERE, [&] {
        unsigned long ulMaxLength = 0;
        if (!getMaxSubKeyLength(ulMaxLength) || !openIfClosed())
            return false;
        lStatus = ERROR_INVALID_FUNCTION;
        CKSLWCharBuffer name(ulMaxLength + 1);
        DWORD dwCapacity = ulMaxLength + 1;
        lStatus = RegEnumKeyExW(m_hKey.get(), ulIndex, name.getBuffer(), &dwCapacity, nullptr, nullptr, nullptr,
                                nullptr);
        if (lStatus == ERROR_NO_MORE_ITEMS)
            return false;
        if (lStatus != ERROR_SUCCESS)
            throw CKSLRegEnumKeyException(
                Message(L"Unable to enumerate subkeys from key ( \"%s\" )", m_szKeyPath).text(), lStatus, KSL_HERE,
                kEnumClassName, L"enumSubKeys");
        const CKSLRegistryKey child(m_hRootKey, childPath(m_szKeyPath, name.getBuffer()), m_samDesired, false,
                                    m_dwCreateOptions);
        return subKey.assign(child);
    });
}

bool CKSLRegistryKey::enumSubKeys(CKSLRegistryKey& subKey, unsigned long ulIndex)
{
    LONG lStatus = ERROR_SUCCESS;
    return enumSubKey(subKey, ulIndex, lStatus);
}

bool CKSLRegistryKey::getSubKeyNames(CKSLWCharStringList& names)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        names.clear();
        CloseOnExit closeOnExit(*this);
        CKSLRegistryKey subKey(m_hRootKey, CKSLWCharString(), m_samDesired, false, m_dwCreateOptions);
        LONG lStatus = ERROR_SUCCESS;
        unsigned long ulIndex = 0;
        for (; enumSubKey(subKey, ulIndex, lStatus); ++ulIndex) {
            CKSLWCharString szName;
            if (!subKey.getKeyName(szName, false) || szName.getLength() == 0 ||
                !names.add(szName, static_cast<long>(ulIndex + 1)))
                return false;
        }
        // A failed enumeration step (logged) leaves the list short: that is no success.
        return lStatus == ERROR_NO_MORE_ITEMS && ulIndex == names.getCount();
    });
}

bool CKSLRegistryKey::enumValueNames(CKSLWCharStringList& names)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        names.clear();
        unsigned long ulMaxLength = 0;
        if (!getMaxValueNameLength(ulMaxLength) || !open())
            return false;
        CloseOnExit closeOnExit(*this);
        CKSLWCharBuffer name(ulMaxLength + 1);
        for (DWORD dwIndex = 0;; ++dwIndex) {
            DWORD dwCapacity = ulMaxLength + 1;
            const LONG lStatus = RegEnumValueW(m_hKey.get(), dwIndex, name.getBuffer(), &dwCapacity, nullptr,
                                               nullptr, nullptr, nullptr);
            if (lStatus == ERROR_NO_MORE_ITEMS)
                break;
            if (lStatus != ERROR_SUCCESS)
                throw CKSLRegEnumValueException(
                    Message(L"Unable to enumerate values from key ( \"%s\" )", m_szKeyPath).text(), lStatus, KSL_HERE,
                    kEnumClassName, L"enumValueNames");
            if (dwCapacity != 0 && !names.add(CKSLWCharString(name.getBuffer()), static_cast<long>(dwIndex + 1)))
                return false;
        }
        return !names.isEmpty();
    });
}

bool CKSLRegistryKey::queryMultipleValues(CKSLRegValueEntryList& entries)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        CKSLWCharStringList names;
        unsigned long ulMaxData = 0;
        if (!enumValueNames(names) || !getMaxValueLength(ulMaxData))
            return false;
        CloseOnExit closeOnExit(*this);

        // The records point at the names of the list, which outlives the call: no name copies.
        const unsigned long ulCount = names.getCount();
        std::unique_ptr<VALENTW[]> pValent(new (std::nothrow) VALENTW[ulCount]());
        if (!pValent)
            throw CKSLMemAllocException(L"pValent", KSL_HERE);
        unsigned long ulRecord = 0;
        for (const CKSLNode<CKSLWCharString>* pNode = names.getFirstNode(); pNode != nullptr;
             pNode = pNode->getNext(), ++ulRecord)
            pValent[ulRecord].ve_valuename = const_cast<wchar_t*>(pNode->getPayload().getString());

        // One data buffer for all values, in bytes.
        const unsigned long long ullBytes = static_cast<unsigned long long>(ulCount) * (ulMaxData + 1ull) * 2u;
        if (ullBytes > 0x7FFFFFFFull)
            throw CKSLMemAllocException(L"lpValueBuf", KSL_HERE);
        CKSLByteBuffer data(static_cast<unsigned long>(ullBytes));
        DWORD dwTotalSize = data.getCount();
        if (!openIfClosed())
            return false;
        const LONG lStatus = RegQueryMultipleValuesW(m_hKey.get(), pValent.get(), ulCount,
                                                     reinterpret_cast<LPWSTR>(data.getBuffer()), &dwTotalSize);
        if (lStatus != ERROR_SUCCESS)
            throw CKSLRegQueryMultipleValuesException(
                Message(L"Unable to query multiple values from registry key ( \"%s\" )", m_szKeyPath).text(), lStatus,
                KSL_HERE, kClassName, L"queryMultipleValues");

        entries.clear();
        for (unsigned long ul = 0; ul < ulCount; ++ul) {
            const VALENTW& valent = pValent[ul];
            const CKSLRegValueEntry entry(valent.ve_valuename, reinterpret_cast<const BYTE*>(valent.ve_valueptr),
                                          valent.ve_valuelen, valent.ve_type);
            if (!entries.add(entry, static_cast<long>(ul + 1)))
                return false;
        }
        return true;
    });
}
