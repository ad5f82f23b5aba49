// CKSLRegistryBinary: a REG_BINARY value with its cached bytes. A read asks for the size first
// and reads into a buffer of exactly that size.
#pragma once

#include "ksl_registry_value.h"

class CKSLRegistryBinary : public CKSLRegistryValueBase {
public:
    using ValueList = PairList<CKSLByteBuffer>;

    using CKSLRegistryValueBase::CKSLRegistryValueBase;

    // The cached bytes when bUseCache is set and the cache is valid; otherwise a fresh read.
    bool getValue(CKSLByteBuffer& data, bool bUseCache);
    // Stores the bytes in the cache; then true (cache only) or the result of the write.
    bool setValue(const CKSLByteBuffer& data, bool bCacheOnly);

    bool readRegistry() override;
    bool writeRegistry() override;

    // Name and bytes of every REG_BINARY value of the key.
    bool readKeyValues(ValueList& values);

private:
    CKSLByteBuffer m_regBinaryCache;
};
