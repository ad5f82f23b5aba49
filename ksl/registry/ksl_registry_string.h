// CKSLRegistryValue: a string value (written as REG_SZ) with its cached text.
//
// Reads take at most 259 characters and their terminator (a 520-byte buffer): a longer value
// does not read. A successful read refreshes the cache but does not make it valid; only a write
// does, so getValue with use-cache keeps reading the registry until the object has written once.
#pragma once

#include "ksl_registry_value.h"

class CKSLRegistryValue : public CKSLRegistryValueBase {
public:
    using ValueList = PairList<CKSLWCharString>;

    using CKSLRegistryValueBase::CKSLRegistryValueBase;

    // The cached text when bUseCache is set and the cache is valid; otherwise a fresh read.
    bool getValue(CKSLWCharString& szValue, bool bUseCache);
    // Stores the text in the cache; then true (cache only) or the result of the write.
    bool setValue(const CKSLWCharString& szValue, bool bCacheOnly);

    bool readRegistry() override;
    bool writeRegistry() override;

    // Name and text of every REG_SZ value of the key.
    bool readKeyValues(ValueList& values);

    // Registry bytes as text: the characters up to the first zero (or the end of the data).
    static bool bytesToText(const CKSLByteBuffer& data, CKSLWCharString& szText);

    // The most bytes of stored data a read takes: 259 characters and the terminator.
    static const DWORD s_dwMaxReadBytes = 260 * sizeof(wchar_t);

protected:
    // Writes the cached text with the registry type; write errors name wcsClassName.
    bool writeText(DWORD dwType, const wchar_t* wcsClassName);

    CKSLWCharString m_szRegStringCache;
};
