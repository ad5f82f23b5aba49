#include "sk_zdr_policy.h"

#include "ksl_policy_ad_search_policy.h"
#include "ksl_product_zdr.h"

namespace {
const wchar_t kVersion[] = L"4.0";
const long kRegistry = 1;
} // namespace

CSKZdrPolicy::CSKZdrPolicy(const CKSLWCharString& szClientName)
    : CKSLProductPolicy(CKSLPolicyADSearchPolicy()), m_szClientName(szClientName)
{
    const wchar_t* const kClientValues[] = {L"UNC", L"NetPath", L"User", L"Pwd", L"Ref"};
    long lID = 0;
    for (const wchar_t* wcsValueName : kClientValues)
        addStringSetting(lID++, wcsValueName, m_szClientName);
    // Shared by every client: directly under the product's keys.
    addDwordSetting(5, L"debug", CKSLWCharString(), 0);
    addDwordSetting(6, L"timeout", CKSLWCharString(), 30);
}

bool CSKZdrPolicy::addDwordSetting(long lID, const wchar_t* wcsValueName, const CKSLWCharString& szKeyPath,
                                   unsigned long ulDefault)
{
    const CKSLProduct_ZDR product;
    return addPolicySetting(
        CKSLPolicyDwordSetting(product, lID, kRegistry, kVersion, wcsValueName, szKeyPath, ulDefault));
}

bool CSKZdrPolicy::addStringSetting(long lID, const wchar_t* wcsValueName, const CKSLWCharString& szKeyPath)
{
    const CKSLProduct_ZDR product;
    return addPolicySetting(
        CKSLPolicyStringSetting(product, lID, kRegistry, kVersion, wcsValueName, szKeyPath, CKSLWCharString(), false));
}
