// CKSLRegistryDword: a REG_DWORD value with its cached number. Any stored value of up to four
// bytes reads (a shorter one fills the low bytes).
#pragma once

#include "ksl_registry_value.h"

class CKSLRegistryDword : public CKSLRegistryValueBase {
public:
    using ValueList = PairList<unsigned long>;

    using CKSLRegistryValueBase::CKSLRegistryValueBase;

    // The cached number when bUseCache is set and the cache is valid; otherwise a fresh read.
    bool getValue(unsigned long& ulValue, bool bUseCache);
    // Stores the number in the cache; then true (cache only) or the result of the write.
    bool setValue(unsigned long ulValue, bool bCacheOnly);

    bool readRegistry() override;
    bool writeRegistry() override;

    // Name and number of every REG_DWORD value of the key.
    bool readKeyValues(ValueList& values);

private:
    unsigned long m_ulRegDwordCache = 0;
};
