#include "ksl_policy_ad_search_policy.h"

#include "ksl_method_trace.h"
#include "ksl_policy_setting.h"

namespace {
const wchar_t kClass[] = L"CKSLPolicyADSearchPolicy";

// Machine policy, user policy, policy "User Defaults", then the product's own branches.
const unsigned long kSearchOrder[] = {
    KSL_POLICY_HKLM_POLICY,  KSL_POLICY_HKCU_POLICY,  KSL_POLICY_HKLM_POLICY_USER_DEFAULTS,
    KSL_POLICY_HKLM_PRODUCT, KSL_POLICY_HKCU_PRODUCT, KSL_POLICY_HKLM_PRODUCT_USER_DEFAULTS,
};
} // namespace

CKSLPolicyADSearchPolicy::CKSLPolicyADSearchPolicy()
{
    CKSLMethodTrace trace(kClass, kClass, KSL_HERE);
    for (unsigned long ulLocation : kSearchOrder)
        addPolicy(ulLocation);
}

CKSLPolicyADSearchPolicy::~CKSLPolicyADSearchPolicy()
{
    CKSLMethodTrace trace(kClass, L"~CKSLPolicyADSearchPolicy", KSL_HERE);
}
