#include "ksl_registry_string.h"

#include <cwchar>

#include "ksl_catch.h"

namespace {

const DWORD kReadBufferChars = CKSLRegistryValue::s_dwMaxReadBytes / sizeof(wchar_t);

} // namespace

bool CKSLRegistryValue::getValue(CKSLWCharString& szValue, bool bUseCache)
{
    return giveValue<CKSLWCharBuffer>(szValue, m_szRegStringCache, bUseCache);
}

bool CKSLRegistryValue::setValue(const CKSLWCharString& szValue, bool bCacheOnly)
{
    return storeValue<CKSLWCharBuffer>(m_szRegStringCache, szValue, bCacheOnly, true);
}

bool CKSLRegistryValue::readRegistry()
{
    return kslCatch(false, KSL_HERE, [&] {
        return inOpenKey([&] {
            // One character more than the call may fill, so the text is always terminated,
            // also when the stored data has no terminator of its own.
            wchar_t wcsBuffer[kReadBufferChars + 1] = {};
            DWORD dwBytes = kReadBufferChars * sizeof(wchar_t);
            const LONG lStatus = queryOpenValue(reinterpret_cast<BYTE*>(wcsBuffer), dwBytes);
            if (lStatus == ERROR_SUCCESS) {
                m_szRegStringCache = wcsBuffer;
                return m_szRegStringCache.getLength() == std::wcslen(wcsBuffer);
            }
            return wantsDefault(lStatus) && setValue(CKSLWCharString(), false);
        });
    });
}

bool CKSLRegistryValue::writeRegistry()
{
    return writeText(REG_SZ, L"CKSLRegistryValue");
}

bool CKSLRegistryValue::writeText(DWORD dwType, const wchar_t* wcsClassName)
{
    // The characters and their terminator; the empty string has no buffer and writes no bytes.
    const DWORD dwChars = m_szRegStringCache.isValid() ? m_szRegStringCache.getLength() + 1 : 0;
    return writeValue(dwType, m_szRegStringCache.getBuffer(), dwChars * sizeof(wchar_t), wcsClassName);
}

bool CKSLRegistryValue::readKeyValues(ValueList& values)
{
    return collectValues(values, REG_SZ, bytesToText);
}

bool CKSLRegistryValue::bytesToText(const CKSLByteBuffer& data, CKSLWCharString& szText)
{
    const CKSLWCharBuffer chars = data.convertTo<wchar_t>();
    if (data.isValid() && !chars.isValid())
        return false; // the conversion failed (logged)
    szText = chars;
    return true;
}
