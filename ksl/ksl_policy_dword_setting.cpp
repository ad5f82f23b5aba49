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
    return trace.boolean(readPolicy(ulLocation, ulValue, bUseHeld, szNameValue, kClass,
                                    [&](HKEY hHive, const CKSLWCharString& szKey, unsigned long& ulRead) {
                                        CKSLRegistryDword value(hHive, szKey, m_szValueName, KEY_READ, false, 0);
                                        return value.getValue(ulRead, false);
                                    }));
}

bool CKSLPolicyDwordSetting::setPolicy(unsigned long ulLocation, const unsigned long& ulValue,
                                       unsigned long ulCreateIfMissing, const CKSLWCharString& szNameValue,
                                       BYTE byCreateOptions)
{
    CKSLMethodTrace trace(kClass, L"setPolicy", KSL_HERE);
    return trace.boolean(
        writePolicy<CKSLRegistryDword>(ulLocation, ulValue, ulCreateIfMissing, szNameValue, byCreateOptions, kClass));
}
