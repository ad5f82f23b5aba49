#include "ksl_registry_value.h"

#include "ksl_catch.h"

CKSLRegistryValueBase::CKSLRegistryValueBase(HKEY hRootKey, const CKSLWCharString& szKeyPath,
                                             const CKSLWCharString& szValueName, REGSAM samDesired,
                                             bool bCreateIfMissing, DWORD dwCreateOptions)
    : CKSLRegistryKey(hRootKey, szKeyPath, samDesired, bCreateIfMissing, dwCreateOptions), m_bCacheValid(false)
{
    m_szValueName = szValueName; // a failed copy is logged by the string and does not leave here
}

LONG CKSLRegistryValueBase::queryOpenValue(BYTE* pData, DWORD& dwBytes) const
{
    return RegQueryValueExW(getHandle(), m_szValueName.getString(), nullptr, nullptr, pData, &dwBytes);
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
