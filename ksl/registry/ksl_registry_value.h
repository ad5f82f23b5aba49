// CKSLRegistryValueBase: one named value of one registry key, with a cached copy of it.
//
// The value classes (plain, expandable and multi-string, binary, DWORD) derive from it. Each read
// and write opens the key on demand and closes it before returning; no handle is kept between
// calls. Reads never check the stored type, so any value whose bytes fit reads through any
// class (a REG_EXPAND_SZ through the plain string, four REG_BINARY bytes through the DWORD).
// A missing or unreadable value is a normal "not found": false, nothing logged. With
// create-if-missing set, reading a missing value writes the class's empty default instead.
//
// The cache is valid only after a successful write, or a successful read of a multi-string,
// binary or DWORD value; getValue with use-cache answers from it only then.
#pragma once

#include <windows.h>

#include "ksl_registry_key.h"

// A value name with its value, as readKeyValues returns them.
template <class TValue>
class CKSLRegValuePair {
public:
    CKSLRegValuePair() : m_value() {}
    CKSLRegValuePair(const CKSLRegValuePair& other);
    CKSLRegValuePair& operator=(const CKSLRegValuePair& other);

    CKSLWCharString m_szValueName;
    TValue m_value;
};

namespace ksl_detail {

// Copies of the cached value kinds that report whether the copy was made.
inline bool copyValue(unsigned long& ulTarget, unsigned long ulSource)
{
    ulTarget = ulSource;
    return true;
}
template <class T>
bool copyValue(CKSLBuffer<T>& target, const CKSLBuffer<T>& source)
{
    target = source; // a failed copy is logged and leaves the target as it was
    return target.getCount() == source.getCount();
}
inline bool copyValue(CKSLWCharStringList& target, const CKSLWCharStringList& source)
{
    return target = source;
}

} // namespace ksl_detail

template <class TValue>
CKSLRegValuePair<TValue>::CKSLRegValuePair(const CKSLRegValuePair& other)
    : m_szValueName(other.m_szValueName), m_value()
{
    ksl_detail::copyValue(m_value, other.m_value);
}

template <class TValue>
CKSLRegValuePair<TValue>& CKSLRegValuePair<TValue>::operator=(const CKSLRegValuePair& other)
{
    if (this != &other) {
        m_szValueName = other.m_szValueName;
        ksl_detail::copyValue(m_value, other.m_value);
    }
    return *this;
}

class CKSLRegistryValueBase : public CKSLRegistryKey {
public:
    // Every value class is constructed this way. A value name that cannot be copied is logged;
    // the object is still made.
    CKSLRegistryValueBase(HKEY hRootKey, const CKSLWCharString& szKeyPath, const CKSLWCharString& szValueName,
                          REGSAM samDesired = KEY_READ, bool bCreateIfMissing = false, DWORD dwCreateOptions = 0);

    // Reads the stored value into the cache.
    virtual bool readRegistry() = 0;
    // Writes the cache to the registry.
    virtual bool writeRegistry() = 0;

    // Empty for the key's default value.
    const CKSLWCharString& getValueName() const { return m_szValueName; }
    bool isCacheValid() const { return m_bCacheValid; }

    // What the last query of this value reported about the stored data, whether the read took it
    // or not: a value was there (also one too large for the read's buffer), its registry type and
    // its size in bytes. Nothing there (or no query yet): false, REG_NONE, 0. The policy settings
    // decide from these whether the data can be read as the setting's type.
    bool isValuePresent() const { return m_bValuePresent; }
    DWORD getStoredType() const { return m_dwStoredType; }
    DWORD getStoredBytes() const { return m_dwStoredBytes; }

    // Removes the value from its key (opened, and closed again, with the object's access mask,
    // which must include KEY_SET_VALUE). A value that is not there counts as removed; a missing
    // key or a refused removal is false (the refusal logged).
    bool deleteValue();

protected:
    template <class TValue>
    using PairList = CKSLDblList<CKSLObjNode<CKSLRegValuePair<TValue>>>;

    // The frame of every read and write: the key is opened when it is not open (false when it
    // cannot be) and closed again whatever the work's outcome.
    template <class F>
    bool inOpenKey(F&& work)
    {
        forgetStoredValue();
        if (!openIfClosed())
            return false;
        CloseOnExit closeOnExit(*this);
        return work();
    }

    // RegQueryValueExW of this value on the open key. The type and size that come back are kept
    // (isValuePresent and its neighbours); the reads themselves never look at the type.
    LONG queryOpenValue(BYTE* pData, DWORD& dwBytes);
    // Whether a read status means "missing, write the default".
    bool wantsDefault(LONG lStatus) const { return lStatus == ERROR_FILE_NOT_FOUND && isCreateIfMissing(); }
    // Writes the bytes with the type (opening and closing the key as needed); a refused write is
    // logged as CKSLRegValueSetException naming the class. Success makes the cache valid.
    bool writeValue(DWORD dwType, const void* pData, DWORD dwBytes, const wchar_t* wcsClassName);

    // getValue: the cache when asked for and valid, otherwise a fresh read.
    template <class TValue>
    bool giveValue(TValue& target, const TValue& cache, bool bUseCache)
    {
        if (!(bUseCache && m_bCacheValid) && !readRegistry())
            return false;
        return ksl_detail::copyValue(target, cache);
    }

    // setValue: the value goes into the cache; then either the cache-only answer or the write.
    template <class TValue>
    bool storeValue(TValue& cache, const TValue& value, bool bCacheOnly, bool bCacheOnlyResult)
    {
        if (&cache != &value && !ksl_detail::copyValue(cache, value))
            return false;
        return bCacheOnly ? bCacheOnlyResult : writeRegistry();
    }

    // readKeyValues: every value of the key with the registry type, its bytes converted by
    // convert(const CKSLByteBuffer&, TValue&) -> bool.
    template <class TValue, class FConvert>
    bool collectValues(PairList<TValue>& pairs, DWORD dwType, FConvert&& convert);

    CKSLWCharString m_szValueName;
    bool m_bCacheValid;

private:
    void forgetStoredValue()
    {
        m_bValuePresent = false;
        m_dwStoredType = REG_NONE;
        m_dwStoredBytes = 0;
    }

    bool m_bValuePresent = false;
    DWORD m_dwStoredType = REG_NONE;
    DWORD m_dwStoredBytes = 0;
};

template <class TValue, class FConvert>
bool CKSLRegistryValueBase::collectValues(PairList<TValue>& pairs, DWORD dwType, FConvert&& convert)
{
    return kslCatch(false, KSL_HERE, [&] {
        pairs.clear();
        CKSLRegValueEntryList entries;
        if (!queryMultipleValues(entries))
            return false;
        for (const CKSLNode<CKSLRegValueEntry>* pNode = entries.getFirstNode(); pNode != nullptr;
             pNode = pNode->getNext()) {
            const CKSLRegValueEntry& entry = pNode->getPayload();
            if (entry.getType() != dwType)
                continue;
            CKSLRegValuePair<TValue> pair;
            pair.m_szValueName = entry.getValueName();
            if (!convert(entry.getData(), pair.m_value) || !pairs.add(pair))
                return false;
        }
        return true;
    });
}
