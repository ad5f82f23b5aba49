// CKSLPolicySearchPolicy: the ordered list of location codes (ksl_policy_setting.h) in which a
// product policy looks for each setting, the first code first.
#pragma once

#include "ksl_dbllist.h"

class CKSLPolicySearchPolicy {
public:
    CKSLPolicySearchPolicy();
    CKSLPolicySearchPolicy(const CKSLPolicySearchPolicy& other);
    CKSLPolicySearchPolicy& operator=(const CKSLPolicySearchPolicy& other);
    ~CKSLPolicySearchPolicy();

    // Appends a location code.
    bool addPolicy(unsigned long ulLocation);
    // The code at the position, 0 being the first; past the end the machine policy branch (1),
    // with an error record.
    unsigned long getPolicyLocation(unsigned long ulIndex);
    unsigned long getCount() const { return m_locations.getCount(); }
    // This order becomes a copy of the other's codes, in order.
    bool copy(const CKSLPolicySearchPolicy& other);

private:
    CKSLDblList<CKSLStdNode<unsigned long>> m_locations;
};
