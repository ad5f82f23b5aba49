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
    return trace.boolean(readPolicy(ulLocation, szValue, bUseHeld, szNameValue, kClass,
                                    [&](HKEY hHive, const CKSLWCharString& szKey, CKSLWCharString& szRead) {
                                        if (m_bExpand) {
                                            CKSLRegistryStringExpand value(hHive, szKey, m_szValueName, KEY_READ,
                                                                           false, 0);
                                            return value.getValue(szRead, false, true);
                                        }
                                        CKSLRegistryValue value(hHive, szKey, m_szValueName, KEY_READ, false, 0);
                                        return value.getValue(szRead, false);
                                    }));
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
