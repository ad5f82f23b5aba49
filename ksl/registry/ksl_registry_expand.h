// CKSLRegistryStringExpand: a string value written as REG_EXPAND_SZ. Its text must reference
// environment variables (an even, non-zero number of percent signs) to be written; reads can
// expand the references with the process's environment.
#pragma once

#include "ksl_registry_string.h"

class CKSLRegistryStringExpand : public CKSLRegistryValue {
public:
    using CKSLRegistryValue::CKSLRegistryValue;

    // The raw text as CKSLRegistryValue::getValue gives it; expanded when bExpand is set.
    bool getValue(CKSLWCharString& szValue, bool bUseCache, bool bExpand);

    // Refuses (logged bad argument, nothing written) a text that is not expandable.
    bool writeRegistry() override;

    // Name and text of every REG_EXPAND_SZ value of the key, expanded when bExpand is set (a
    // text that cannot be expanded stays raw).
    bool readKeyValues(ValueList& values, bool bExpand = false);

    // The text with its environment variable references expanded (ExpandEnvironmentStringsW).
    static bool expandText(const CKSLWCharString& szRaw, CKSLWCharString& szExpanded);
};
