// CKSLRegistryMultiString: a REG_MULTI_SZ value with its cached list of strings.
//
// Stored form: every string followed by its zero character, then one more zero; an empty list is
// stored as zero bytes. A read sizes its buffer by the key's longest value.
#pragma once

#include "ksl_registry_value.h"

class CKSLRegistryMultiString : public CKSLRegistryValueBase {
public:
    using ValueList = PairList<CKSLWCharStringList>;

    using CKSLRegistryValueBase::CKSLRegistryValueBase;

    // The cached list when bUseCache is set and the cache is valid; otherwise a fresh read.
    bool getValue(CKSLWCharStringList& strings, bool bUseCache);
    // Stores the list in the cache; cache only answers false (nothing written), otherwise the
    // result of the write.
    bool setValue(const CKSLWCharStringList& strings, bool bCacheOnly);

    bool readRegistry() override;
    bool writeRegistry() override;

    // Name and strings of every REG_MULTI_SZ value of the key.
    bool readKeyValues(ValueList& values);

    // Splits stored bytes into strings: each zero character ends one; two zeros in a row, or
    // the end of the data, end the list. Zero bytes give an empty list; data starting with two
    // zeros gives one empty string. A last string without its zero is kept.
    static bool parse(const BYTE* pData, unsigned long ulBytes, CKSLWCharStringList& strings);

private:
    CKSLWCharStringList m_listRegMultiStringCache;
};
