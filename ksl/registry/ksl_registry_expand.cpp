#include "ksl_registry_expand.h"

#include "ksl_catch.h"

namespace {

const wchar_t kClassName[] = L"CKSLRegistryStringExpand";

unsigned long countPercentSigns(const CKSLWCharString& szText)
{
    unsigned long ulCount = 0;
    for (const wchar_t* pChar = szText.getString(); *pChar != L'\0'; ++pChar)
        ulCount += *pChar == L'%' ? 1 : 0;
    return ulCount;
}

} // namespace

bool CKSLRegistryStringExpand::getValue(CKSLWCharString& szValue, bool bUseCache, bool bExpand)
{
    if (!bExpand)
        return CKSLRegistryValue::getValue(szValue, bUseCache);
    CKSLWCharString szRaw;
    return CKSLRegistryValue::getValue(szRaw, bUseCache) && expandText(szRaw, szValue);
}

bool CKSLRegistryStringExpand::writeRegistry()
{
    return kslCatch(false, KSL_HERE, [&] {
        return inOpenKey([&] {
            // A variable reference needs a pair of percent signs.
            const unsigned long ulPercentSigns = countPercentSigns(m_szRegStringCache);
            if (ulPercentSigns == 0 || ulPercentSigns % 2 != 0)
                throw CKSLBadArgException(L"m_szRegStringCache",
                                          L"value doesn't represent an expandable value which is required", KSL_HERE);
            return writeText(REG_EXPAND_SZ, kClassName);
        });
    });
}

// The bytes in hand are expanded, not read again through a value object: that read stops at 259
// characters and would leave a longer value unexpanded.
bool CKSLRegistryStringExpand::readKeyValues(ValueList& values, bool bExpand)
{
    return collectValues(values, REG_EXPAND_SZ, [&](const CKSLByteBuffer& data, CKSLWCharString& szText) {
        if (!bytesToText(data, szText))
            return false;
        CKSLWCharString szExpanded;
        if (bExpand && expandText(szText, szExpanded))
            szText = szExpanded;
        return true;
    });
}

bool CKSLRegistryStringExpand::expandText(const CKSLWCharString& szRaw, CKSLWCharString& szExpanded)
{
    return kslCatch(false, KSL_HERE, [&] {
        // The size asked first includes the terminator.
        const DWORD dwNeeded = ExpandEnvironmentStringsW(szRaw.getString(), nullptr, 0);
        if (dwNeeded == 0)
            return false;
        CKSLWCharBuffer expanded(dwNeeded + 1);
        if (ExpandEnvironmentStringsW(szRaw.getString(), expanded.getBuffer(), dwNeeded) != dwNeeded)
            return false;
        szExpanded = expanded.getBuffer();
        return true;
    });
}
