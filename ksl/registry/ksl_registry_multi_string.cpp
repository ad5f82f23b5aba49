#include "ksl_registry_multi_string.h"

#include <cwchar>

#include "ksl_catch.h"

namespace {

const wchar_t kClassName[] = L"CKSLRegistryMultiString";

// A string of ulLength characters that need not be terminated.
bool addString(CKSLWCharStringList& strings, const wchar_t* pChars, unsigned long ulLength)
{
    CKSLWCharString szString;
    if (ulLength != 0) {
        szString = CKSLWCharBuffer(pChars, ulLength);
        if (szString.getLength() != ulLength)
            return false;
    }
    return strings.add(szString, static_cast<long>(strings.getCount() + 1));
}

} // namespace

bool CKSLRegistryMultiString::getValue(CKSLWCharStringList& strings, bool bUseCache)
{
    return giveValue(strings, m_listRegMultiStringCache, bUseCache);
}

bool CKSLRegistryMultiString::setValue(const CKSLWCharStringList& strings, bool bCacheOnly)
{
    return storeValue(m_listRegMultiStringCache, strings, bCacheOnly, false);
}

bool CKSLRegistryMultiString::readRegistry()
{
    return kslCatch(false, KSL_HERE, [&] {
        unsigned long ulMaxBytes = 0;
        if (!getMaxValueLength(ulMaxBytes))
            return false;
        return inOpenKey([&] {
            CKSLByteBuffer data(ulMaxBytes);
            DWORD dwBytes = data.getCount();
            const LONG lStatus = queryOpenValue(data.getBuffer(), dwBytes);
            if (lStatus == ERROR_SUCCESS) {
                // Never more than the buffer holds, whatever size the call reports.
                const unsigned long ulRead = dwBytes < data.getCount() ? dwBytes : data.getCount();
                m_bCacheValid = parse(data.getBuffer(), ulRead, m_listRegMultiStringCache);
                return m_bCacheValid;
            }
            if (!wantsDefault(lStatus))
                return false;
            m_bCacheValid = setValue(CKSLWCharStringList(), false);
            return m_bCacheValid;
        });
    });
}

bool CKSLRegistryMultiString::writeRegistry()
{
    return kslCatch(false, KSL_HERE, [&] {
        // Each string with its zero, then the closing zero; an empty list writes no bytes.
        unsigned long ulChars = 0;
        for (const CKSLNode<CKSLWCharString>* pNode = m_listRegMultiStringCache.getFirstNode(); pNode != nullptr; pNode = pNode->getNext())
            ulChars += pNode->getPayload().getLength() + 1;
        if (ulChars != 0)
            ++ulChars;
        CKSLWCharBuffer data(ulChars);
        wchar_t* pWrite = data.getBuffer();
        for (const CKSLNode<CKSLWCharString>* pNode = m_listRegMultiStringCache.getFirstNode(); pNode != nullptr; pNode = pNode->getNext()) {
            const CKSLWCharString& szString = pNode->getPayload();
            std::wmemcpy(pWrite, szString.getString(), szString.getLength());
            pWrite += szString.getLength() + 1;
        }
        return writeValue(REG_MULTI_SZ, data.getBuffer(), data.getByteCount(), kClassName);
    });
}

bool CKSLRegistryMultiString::readKeyValues(ValueList& values)
{
    return collectValues(values, REG_MULTI_SZ, [](const CKSLByteBuffer& data, CKSLWCharStringList& strings) {
        return parse(data.getBuffer(), data.getCount(), strings);
    });
}

bool CKSLRegistryMultiString::parse(const BYTE* pData, unsigned long ulBytes, CKSLWCharStringList& strings)
{
    return kslCatch(false, KSL_HERE, [&] {
        strings.clear();
        const wchar_t* pChars = reinterpret_cast<const wchar_t*>(pData);
        const unsigned long ulChars = pData != nullptr ? ulBytes / sizeof(wchar_t) : 0;
        unsigned long ulStart = 0;
        for (unsigned long ul = 0; ul < ulChars; ++ul) {
            if (pChars[ul] != L'\0')
                continue;
            if (!addString(strings, pChars + ulStart, ul - ulStart))
                return false;
            if (ul + 1 == ulChars || pChars[ul + 1] == L'\0')
                return true;
            ulStart = ul + 1;
        }
        return ulStart == ulChars || addString(strings, pChars + ulStart, ulChars - ulStart);
    });
}
