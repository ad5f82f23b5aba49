#include "ksl_registry_dword.h"

#include <cstring>

#include "ksl_catch.h"

bool CKSLRegistryDword::getValue(unsigned long& ulValue, bool bUseCache)
{
    return giveValue(ulValue, m_ulRegDwordCache, bUseCache);
}

bool CKSLRegistryDword::setValue(unsigned long ulValue, bool bCacheOnly)
{
    return storeValue(m_ulRegDwordCache, ulValue, bCacheOnly, true);
}

bool CKSLRegistryDword::readRegistry()
{
    return kslCatch(false, KSL_HERE, [&] {
        return inOpenKey([&] {
            DWORD dwValue = 0;
            DWORD dwBytes = sizeof dwValue;
            const LONG lStatus = queryOpenValue(reinterpret_cast<BYTE*>(&dwValue), dwBytes);
            if (lStatus == ERROR_SUCCESS) {
                m_ulRegDwordCache = dwValue;
                m_bCacheValid = true;
                return true;
            }
            return wantsDefault(lStatus) && setValue(0, false);
        });
    });
}

bool CKSLRegistryDword::writeRegistry()
{
    const DWORD dwValue = m_ulRegDwordCache;
    return writeValue(REG_DWORD, &dwValue, sizeof dwValue, L"CKSLRegistryDword");
}

bool CKSLRegistryDword::readKeyValues(ValueList& values)
{
    return collectValues(values, REG_DWORD, [](const CKSLByteBuffer& data, unsigned long& ulValue) {
        // The first four bytes; fewer fill the low bytes.
        DWORD dwValue = 0;
        if (data.isValid())
            std::memcpy(&dwValue, data.getBuffer(), data.getCount() < sizeof dwValue ? data.getCount() : sizeof dwValue);
        ulValue = dwValue;
        return true;
    });
}
