#include "ksl_policy_string_setting.h"

#include "ksl_registry_expand.h"
#include "ksl_registry_string.h"

namespace {
const wchar_t kClass[] = L"CKSLPolicyStringSetting";
} // namespace

CKSLPolicyStringSetting::CKSLPolicyStringSetting() : CKSLPolicySetting(KSL_POLICY_TYPE_STRING), m_bExpand(0)
{
    CKSLMethodTrace trace(kClass, kClass, KSL_HERE);
}

CKSLPolicyStringSetting::CKSLPolicyStringSetting(const CKSLProduct& product, long lID, long lPolicySource,
                                                 const CKSLWCharString& szVersion,
                                                 const CKSLWCharString& szValueName,
                                                 const CKSLWCharString& szKeyPath, const CKSLWCharString& szDefault,
                                                 bool bExpand)
    : CKSLPolicySetting(KSL_POLICY_TYPE_STRING, product, lID, lPolicySource, szVersion, szValueName, szKeyPath,
                        szDefault),
      m_bExpand(bExpand ? 1 : 0)
{
    CKSLMethodTrace trace(kClass, kClass, KSL_HERE);
}

CKSLPolicyStringSetting::CKSLPolicyStringSetting(const CKSLWCharString& szVendorName,
                                                 const CKSLWCharString& szProductName, long lID, long lPolicySource,
                                                 const CKSLWCharString& szVersion,
                                                 const CKSLWCharString& szValueName,
                                                 const CKSLWCharString& szKeyPath, const CKSLWCharString& szDefault,
                                                 bool bExpand)
    : CKSLPolicySetting(KSL_POLICY_TYPE_STRING, szVendorName, szProductName, lID, lPolicySource, szVersion,
                        szValueName, szKeyPath, szDefault),
      m_bExpand(bExpand ? 1 : 0)
{
    CKSLMethodTrace trace(kClass, kClass, KSL_HERE);
}

CKSLPolicyStringSetting& CKSLPolicyStringSetting::operator=(const CKSLPolicyStringSetting& other)
{
    CKSLMethodTrace trace(kClass, L"operator=", KSL_HERE);
    CKSLPolicySetting::operator=(other);
    m_bExpand = other.m_bExpand;
    return *this;
}

bool CKSLPolicyStringSetting::getPolicy(unsigned long ulLocation, CKSLWCharString& szValue, bool bUseHeld,
                                        const CKSLWCharString& szNameValue)
{
    CKSLMethodTrace trace(kClass, L"getPolicy", KSL_HERE);
    return trace.boolean(
        readPolicy(ulLocation, szValue, bUseHeld, szNameValue, kClass,
                   [this](HKEY hHive, const CKSLWCharString& szKey, CKSLPolicyFinding<CKSLWCharString>& finding) {
                       readAt(hHive, szKey, finding);
                   }));
}

bool CKSLPolicyStringSetting::inspectPolicy(unsigned long ulLocation, CKSLPolicyFinding<CKSLWCharString>& finding,
                                            const CKSLWCharString& szNameValue)
{
    CKSLMethodTrace trace(kClass, L"inspectPolicy", KSL_HERE);
    return trace.boolean(
        inspectLocation(ulLocation, finding, szNameValue, kClass,
                        [this](HKEY hHive, const CKSLWCharString& szKey, CKSLPolicyFinding<CKSLWCharString>& found) {
                            readAt(hHive, szKey, found);
                        }));
}

void CKSLPolicyStringSetting::readAt(HKEY hHive, const CKSLWCharString& szKey,
                                     CKSLPolicyFinding<CKSLWCharString>& finding) const
{
    CKSLWCharString szRead;
    if (m_bExpand) {
        CKSLRegistryStringExpand value(hHive, szKey, m_szValueName, KEY_READ, false, 0);
        const bool bRead = value.getValue(szRead, false, true);
        noteStored(value, bRead && ksl_policy::isStringData(value.getStoredType()), finding);
    } else {
        CKSLRegistryValue value(hHive, szKey, m_szValueName, KEY_READ, false, 0);
        const bool bRead = value.getValue(szRead, false);
        noteStored(value, bRead && ksl_policy::isStringData(value.getStoredType()), finding);
    }
    if (finding.state == pfsFound)
        finding.value = szRead;
}

void CKSLPolicyStringSetting::inspectData(DWORD dwType, const BYTE* pData, DWORD dwBytes,
                                          CKSLPolicyFinding<CKSLWCharString>& finding) const
{
    CKSLMethodTrace trace(kClass, L"inspectData", KSL_HERE);
    finding.dwType = dwType;
    finding.dwBytes = dwBytes;
    finding.value = CKSLWCharString();
    // As readAt's read: at most the read buffer's bytes, the text up to the first zero (a last odd
    // byte is the low byte of a character), expanded for an expandable setting.
    bool bRead = dwBytes <= CKSLRegistryValue::s_dwMaxReadBytes;
    CKSLWCharString szText;
    for (DWORD i = 0; bRead && i < dwBytes; i += 2) {
        const wchar_t c = static_cast<wchar_t>(pData[i] | (i + 1 < dwBytes ? pData[i + 1] << 8 : 0));
        if (c == L'\0')
            break;
        szText += c;
    }
    if (bRead && m_bExpand) {
        CKSLWCharString szExpanded;
        bRead = CKSLRegistryStringExpand::expandText(szText, szExpanded);
        szText = szExpanded;
    }
    finding.state = bRead && ksl_policy::isStringData(dwType) ? pfsFound : pfsUnusable;
    if (finding.state == pfsFound)
        finding.value = szText;
}

bool CKSLPolicyStringSetting::setPolicy(unsigned long ulLocation, const CKSLWCharString& szValue,
                                        unsigned long ulCreateIfMissing, const CKSLWCharString& szNameValue,
                                        BYTE byCreateOptions)
{
    CKSLMethodTrace trace(kClass, L"setPolicy", KSL_HERE);
    if (m_bExpand)
        return trace.boolean(writePolicy<CKSLRegistryStringExpand>(ulLocation, szValue, ulCreateIfMissing,
                                                                   szNameValue, byCreateOptions, kClass));
    return trace.boolean(
        writePolicy<CKSLRegistryValue>(ulLocation, szValue, ulCreateIfMissing, szNameValue, byCreateOptions, kClass));
}
