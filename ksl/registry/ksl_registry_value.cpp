#include "ksl_registry_value.h"

#include "ksl_catch.h"

CKSLRegistryValueBase::CKSLRegistryValueBase(HKEY hRootKey, const CKSLWCharString& szKeyPath,
                                             const CKSLWCharString& szValueName, REGSAM samDesired,
                                             bool bCreateIfMissing, DWORD dwCreateOptions)
    : CKSLRegistryKey(hRootKey, szKeyPath, samDesired, bCreateIfMissing, dwCreateOptions), m_bCacheValid(false)
{
    m_szValueName = szValueName; // a failed copy is logged by the string and does not leave here
}

LONG CKSLRegistryValueBase::queryOpenValue(BYTE* pData, DWORD& dwBytes)
{
    // The type comes with the same call: knowing it costs no further round trip.
    DWORD dwType = REG_NONE;
    const LONG lStatus = RegQueryValueExW(getHandle(), m_szValueName.getString(), nullptr, &dwType, pData, &dwBytes);
    m_bValuePresent = lStatus == ERROR_SUCCESS || lStatus == ERROR_MORE_DATA;
    m_dwStoredType = m_bValuePresent ? dwType : REG_NONE;
    m_dwStoredBytes = m_bValuePresent ? dwBytes : 0;
    return lStatus;
}

bool CKSLRegistryValueBase::deleteValue()
{
    return kslCatch(false, KSL_HERE, [&] {
        return inOpenKey([&] {
            const LONG lStatus = RegDeleteValueW(getHandle(), m_szValueName.getString());
            if (lStatus != ERROR_SUCCESS && lStatus != ERROR_FILE_NOT_FOUND)
                throw CKSLRegValueSetException(
                    Message(L"Unable to Delete registry value ( \"%s\\%s\" )", getKeyPath(), m_szValueName).text(),
                    lStatus, KSL_HERE, L"CKSLRegistryValueBase", L"deleteValue");
            return true;
        });
    });
}

bool CKSLRegistryValueBase::writeValue(DWORD dwType, const void* pData, DWORD dwBytes, const wchar_t* wcsClassName)
{
    return kslCatch(false, KSL_HERE, [&] {
        return inOpenKey([&] {
            const LONG lStatus = RegSetValueExW(getHandle(), m_szValueName.getString(), 0, dwType,
                                                static_cast<const BYTE*>(pData), dwBytes);
            if (lStatus != ERROR_SUCCESS)
                throw CKSLRegValueSetException(
                    Message(L"Unable to Set registry value ( \"%s\\%s\" )", getKeyPath(), m_szValueName).text(),
                    lStatus, KSL_HERE, wcsClassName, L"writeRegistry");
            m_bCacheValid = true;
            return true;
        });
    });
}
