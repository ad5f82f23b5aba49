// The administrative templates of a product's settings for Group Policy: an ADMX file with the
// policy definitions and its en-US ADML file with the texts, both generated from the settings
// the product policy holds. The same settings always give the same bytes.
#pragma once

#include <string>

#include "ksl_product_policy.h"

namespace skpolicy {

struct Templates {
    std::wstring admx; // Safekeep.admx
    std::wstring adml; // en-US\Safekeep.adml
};

// Each setting becomes one policy of class Both (the machine and the user policy branch share
// the key Software\Policies\<vendor>\<product>\<key path>) and one machine policy for the
// policy "User Defaults" branch; policies are grouped in categories by key path.
bool buildTemplates(CKSLProductPolicy& policy, const std::wstring& vendor, const std::wstring& product,
                    Templates& templates);

} // namespace skpolicy
