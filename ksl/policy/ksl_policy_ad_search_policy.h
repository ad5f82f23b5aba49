// CKSLPolicyADSearchPolicy: the search order over all six locations. Machine policy beats user
// policy, both beat the policy "User Defaults", and every policy location beats the product's
// own branches (machine, user, then "User Defaults").
#pragma once

#include "ksl_policy_search_policy.h"

class CKSLPolicyADSearchPolicy : public CKSLPolicySearchPolicy {
public:
    CKSLPolicyADSearchPolicy();
    ~CKSLPolicyADSearchPolicy();
};
