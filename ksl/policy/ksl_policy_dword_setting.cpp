#include "ksl_policy_dword_setting.h"

#include "ksl_registry_dword.h"

namespace {
const wchar_t kClass[] = L"CKSLPolicyDwordSetting";
} // namespace

CKSLPolicyDwordSetting::CKSLPolicyDwordSetting() : CKSLPolicySetting(KSL_POLICY_TYPE_DWORD)
{
    CKSLMethodTrace trace(kClass, kClass, KSL_HERE);
}

CKSLPolicyDwordSetting::CKSLPolicyDwordSetting(const CKSLProduct& product, long lID, long lPolicySource,
                                               const CKSLWCharString& szVersion, const CKSLWCharString& szValueName,
                                               const CKSLWCharString& szKeyPath, unsigned long ulDefault)
    : CKSLPolicySetting(KSL_POLICY_TYPE_DWORD, product, lID, lPolicySource, szVersion, szValueName, szKeyPath,
                        ulDefault)
{
    CKSLMethodTrace trace(kClass, kClass, KSL_HERE);
}

CKSLPolicyDwordSetting::CKSLPolicyDwordSetting(const CKSLWCharString& szVendorName,
                                               const CKSLWCharString& szProductName, long lID, long lPolicySource,
                                               const CKSLWCharString& szVersion, const CKSLWCharString& szValueName,
                                               const CKSLWCharString& szKeyPath, unsigned long ulDefault)
    : CKSLPolicySetting(KSL_POLICY_TYPE_DWORD, szVendorName, szProductName, lID, lPolicySource, szVersion,
                        szValueName, szKeyPath, ulDefault)
{
    CKSLMethodTrace trace(kClass, kClass, KSL_HERE);
}

CKSLPolicyDwordSetting& CKSLPolicyDwordSetting::operator=(const CKSLPolicyDwordSetting& other)
{
    CKSLMethodTrace trace(kClass, L"operator=", KSL_HERE);
    CKSLPolicySetting::operator=(other);
    return *this;
}

bool CKSLPolicyDwordSetting::getPolicy(unsigned long ulLocation, unsigned long& ulValue, bool bUseHeld,
                                       const CKSLWCharString& szNameValue)
{
    CKSLMethodTrace trace(kClass, L"getPolicy", KSL_HERE);
    return trace.boolean(
        readPolicy(ulLocation, ulValue, bUseHeld, szNameValue, kClass,
                   [this](HKEY hHive, const CKSLWCharString& szKey, CKSLPolicyFinding<unsigned long>& finding) {
                       readAt(hHive, szKey, finding);
                   }));
}

bool CKSLPolicyDwordSetting::inspectPolicy(unsigned long ulLocation, CKSLPolicyFinding<unsigned long>& finding,
                                           const CKSLWCharString& szNameValue)
{
    CKSLMethodTrace trace(kClass, L"inspectPolicy", KSL_HERE);
    return trace.boolean(
        inspectLocation(ulLocation, finding, szNameValue, kClass,
                        [this](HKEY hHive, const CKSLWCharString& szKey, CKSLPolicyFinding<unsigned long>& found) {
                            readAt(hHive, szKey, found);
                        }));
}

void CKSLPolicyDwordSetting::readAt(HKEY hHive, const CKSLWCharString& szKey,
                                    CKSLPolicyFinding<unsigned long>& finding) const
{
    // One read, as CKSLRegistryDword makes it; the type and size it saw decide whether it counts.
    CKSLRegistryDword value(hHive, szKey, m_szValueName, KEY_READ, false, 0);
    unsigned long ulRead = 0;
    const bool bRead = value.getValue(ulRead, false);
    noteStored(value, bRead && ksl_policy::isDwordData(value.getStoredType(), value.getStoredBytes()), finding);
    if (finding.state == pfsFound)
        finding.value = ulRead;
}

void CKSLPolicyDwordSetting::inspectData(DWORD dwType, const BYTE* pData, DWORD dwBytes,
                                         CKSLPolicyFinding<unsigned long>& finding) const
{
    CKSLMethodTrace trace(kClass, L"inspectData", KSL_HERE);
    finding.dwType = dwType;
    finding.dwBytes = dwBytes;
    finding.state = ksl_policy::isDwordData(dwType, dwBytes) ? pfsFound : pfsUnusable;
    // As readAt's read: the bytes fill the number from its low byte up.
    finding.value = 0;
    for (DWORD i = 0; finding.state == pfsFound && i < dwBytes; ++i)
        finding.value |= static_cast<unsigned long>(pData[i]) << (8 * i);
}

bool CKSLPolicyDwordSetting::setPolicy(unsigned long ulLocation, const unsigned long& ulValue,
                                       unsigned long ulCreateIfMissing, const CKSLWCharString& szNameValue,
                                       BYTE byCreateOptions)
{
    CKSLMethodTrace trace(kClass, L"setPolicy", KSL_HERE);
    return trace.boolean(
        writePolicy<CKSLRegistryDword>(ulLocation, ulValue, ulCreateIfMissing, szNameValue, byCreateOptions, kClass));
}
