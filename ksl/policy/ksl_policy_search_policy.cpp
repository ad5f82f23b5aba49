#include "ksl_policy_search_policy.h"

#include "ksl_catch.h"
#include "ksl_method_trace.h"
#include "ksl_policy_setting.h"

namespace {
const wchar_t kClass[] = L"CKSLPolicySearchPolicy";
} // namespace

CKSLPolicySearchPolicy::CKSLPolicySearchPolicy()
{
    CKSLMethodTrace trace(kClass, kClass, KSL_HERE);
}

CKSLPolicySearchPolicy::CKSLPolicySearchPolicy(const CKSLPolicySearchPolicy& other)
{
    CKSLMethodTrace trace(kClass, kClass, KSL_HERE);
    trace.boolean(m_locations = other.m_locations);
}

CKSLPolicySearchPolicy& CKSLPolicySearchPolicy::operator=(const CKSLPolicySearchPolicy& other)
{
    copy(other);
    return *this;
}

CKSLPolicySearchPolicy::~CKSLPolicySearchPolicy()
{
    CKSLMethodTrace trace(kClass, L"~CKSLPolicySearchPolicy", KSL_HERE);
    m_locations.clear();
}

bool CKSLPolicySearchPolicy::addPolicy(unsigned long ulLocation)
{
    CKSLMethodTrace trace(kClass, L"addPolicy", KSL_HERE);
    return trace.boolean(m_locations.add(ulLocation));
}

unsigned long CKSLPolicySearchPolicy::getPolicyLocation(unsigned long ulIndex)
{
    CKSLMethodTrace trace(kClass, L"getPolicyLocation", KSL_HERE);
    const unsigned long ulLocation = kslCatchTraced(KSL_POLICY_HKLM_POLICY, KSL_HERE, [&] {
        if (ulIndex >= m_locations.getCount())
            throw CKSLIndexOutOfBoundsException(KSL_HERE);
        m_locations.moveFirst();
        for (unsigned long i = 0; i < ulIndex; ++i)
            m_locations.moveNext();
        unsigned long ulCode = KSL_POLICY_HKLM_POLICY;
        m_locations.getCurrent(ulCode);
        return ulCode;
    });
    trace.setResult(KSL_RESULT_ERROR_CODE, static_cast<long>(ulLocation));
    return ulLocation;
}

bool CKSLPolicySearchPolicy::copy(const CKSLPolicySearchPolicy& other)
{
    CKSLMethodTrace trace(kClass, L"copy", KSL_HERE);
    return trace.boolean(m_locations = other.m_locations);
}
