// CKSLPolicySetting: one named configuration value of a product that an administrator may place
// in any of six registry locations. A location is named by one bit of a code:
//
//     1  HKEY_LOCAL_MACHINE  Software\Policies\<vendor>\<product>
//     2  HKEY_CURRENT_USER   Software\Policies\<vendor>\<product>
//     4  HKEY_LOCAL_MACHINE  Software\Policies\<vendor>\<product>\User Defaults
//     8  HKEY_LOCAL_MACHINE  Software\<vendor>\<product>
//    16  HKEY_CURRENT_USER   Software\<vendor>\<product>
//    32  HKEY_LOCAL_MACHINE  Software\<vendor>\<product>\User Defaults
//
// and the setting lives at its key path below that key, under its value name. A setting reads
// or writes one location at a time; which locations are tried, in which order, and the fallback
// to the default belong to the product policy (ksl_product_policy.h).
//
// The template holds what both forms share; CKSLPolicyDwordSetting and CKSLPolicyStringSetting
// read and write through their registry value classes. A value counts as found at a location
// only when its data can be read as the setting's type: a DWORD setting takes REG_DWORD data of
// four bytes (or one to four bytes of REG_BINARY), a string setting REG_SZ or REG_EXPAND_SZ.
// Anything else there (an administrator's REG_SZ "0" for a DWORD, REG_QWORD, REG_NONE, empty
// data) is unusable: not found, so the search goes on, and inspections report it. Nothing is
// thrown to the caller.
#pragma once

#include <windows.h>

#include "ksl_catch.h"
#include "ksl_dbllist.h"
#include "ksl_method_trace.h"
#include "ksl_product.h"
#include "ksl_registry_dword.h"
#include "ksl_wchar_string.h"

// Location codes (one bit each) and their mask.
const unsigned long KSL_POLICY_HKLM_POLICY = 1;
const unsigned long KSL_POLICY_HKCU_POLICY = 2;
const unsigned long KSL_POLICY_HKLM_POLICY_USER_DEFAULTS = 4;
const unsigned long KSL_POLICY_HKLM_PRODUCT = 8;
const unsigned long KSL_POLICY_HKCU_PRODUCT = 16;
const unsigned long KSL_POLICY_HKLM_PRODUCT_USER_DEFAULTS = 32;
const unsigned long KSL_POLICY_LOCATION_MASK = 63;

// Where settings come from; the registry is the only source there is.
const long KSL_POLICY_SOURCE_REGISTRY = 1;

// The value type, fixed by the form of the setting.
const long KSL_POLICY_TYPE_DWORD = 1;
const long KSL_POLICY_TYPE_STRING = 2;

// Registry access of a policy write: KEY_READ with KEY_SET_VALUE and KEY_CREATE_SUB_KEY.
const REGSAM KSL_POLICY_WRITE_ACCESS = 0x2001F;

typedef CKSLDblList<CKSLObjNode<CKSLWCharString>> CKSLPolicyNameValueList;

// What one location holds for a setting.
enum KSLPolicyFindingState {
    pfsMissing = 0,  // no value there (or not even the key)
    pfsFound = 1,    // a value the setting can read as its type
    pfsUnusable = 2, // a value of another type or size: never used
};

// One location of a setting as an inspection saw it.
template <class T>
struct CKSLPolicyFinding {
    unsigned long ulLocation = 0; // the location code
    HKEY hHive = nullptr;
    CKSLWCharString szKey; // below the hive
    KSLPolicyFindingState state = pfsMissing;
    DWORD dwType = REG_NONE; // registry type and size in bytes of what is there
    DWORD dwBytes = 0;
    T value = T(); // the value read, when found
};

namespace ksl_policy {

// The name in a name-value text that stands for the setting's value name.
extern const wchar_t s_wcsValueNamePlaceholder[];

// Table index of a location code: the highest set bit inside the mask; 0 for code 0 or a code
// with no bit inside the mask.
unsigned long locationIndex(unsigned long ulLocation);
HKEY locationHive(unsigned long ulLocation);

// The key of a location: the template with the vendor and product filled in, the key path
// appended and the name-value text applied. False (with the partly filled template in out) when
// a placeholder could not be filled.
bool buildLocation(unsigned long ulLocation, const CKSLWCharString& szVendorName,
                   const CKSLWCharString& szProductName, const CKSLWCharString& szKeyPath,
                   const CKSLWCharString& szNameValue, CKSLWCharString& szLocation);

// A name-value text split at its first and last '=': NAME before the first, VALUE after the last.
// False when the text has no '=' or either part is empty.
bool splitNameValue(const CKSLWCharString& szText, CKSLWCharString& szName, CKSLWCharString& szValue);

// The VALUE of the first "%VALUE_NAME%=VALUE" entry of the list; szOwnName when none has one.
CKSLWCharString valueNameFrom(const CKSLPolicyNameValueList& nameValues, const CKSLWCharString& szOwnName);

// Whether stored data of this registry type and size reads as a DWORD setting's value, or as a
// string setting's.
bool isDwordData(DWORD dwType, DWORD dwBytes);
bool isStringData(DWORD dwType);

// The error record of a setting whose source is not the registry (logged, not thrown).
void logUnsupportedSource(const wchar_t* wcsClassName, const wchar_t* wcsMethodName, const wchar_t* wcsFile,
                          int nLine);

} // namespace ksl_policy

template <class T>
class CKSLPolicySetting {
public:
    // --- the virtual operations, in slot order ----------------------------------------------
    virtual const T& getDefault() const;
    // Reads the value at one location into out. With bUseHeld and a value held, answers the held
    // value without registry access. A failed read leaves out and the held value as they were;
    // the default is never given out here.
    virtual bool getPolicy(unsigned long ulLocation, T& out, bool bUseHeld, const CKSLWCharString& szNameValue) = 0;
    virtual const CKSLWCharString& getKeyPath() const;
    // The value name a list of name-value texts asks for ("%VALUE_NAME%=Other"), else this
    // setting's own.
    virtual CKSLWCharString getValueLocation(const CKSLPolicyNameValueList& nameValues);
    virtual const CKSLWCharString& getValueName() const;
    virtual bool setDefault(const T& defaultValue);
    // Writes the value at one location at once; ulCreateIfMissing creates the key when it is
    // missing, byCreateOptions (0 or 1) is passed to the key's creation.
    virtual bool setPolicy(unsigned long ulLocation, const T& value, unsigned long ulCreateIfMissing,
                           const CKSLWCharString& szNameValue, BYTE byCreateOptions) = 0;
    virtual bool setKeyPath(const CKSLWCharString& szKeyPath);
    virtual bool setValueName(const CKSLWCharString& szValueName);

    // Removes the value at one location (the key stays). A value that is not there counts as
    // removed; a missing key is false.
    bool clearPolicy(unsigned long ulLocation, const CKSLWCharString& szNameValue);

    // The key of a location (relative to its hive) with the names filled in; an empty string
    // when the source is not the registry.
    CKSLWCharString getValueLocation(unsigned long ulLocation, const CKSLWCharString& szNameValue);

    long getID() const { return m_lID; }
    long getPolicySource() const { return m_lPolicySource; }
    long getValueType() const { return m_lValueType; }
    const CKSLWCharString& getVendorName() const { return m_szVendorName; }
    const CKSLWCharString& getProductName() const { return m_szProductName; }
    const CKSLWCharString& getVersion() const { return m_szVersion; }
    // Whether a value has been read or written through this object, and that value.
    bool isHeld() const { return m_bHeld != 0; }
    const T& getHeldValue() const { return m_heldValue; }

    // Equal identity, place and default; what is held does not count.
    bool operator==(const CKSLPolicySetting& other) const;
    bool operator!=(const CKSLPolicySetting& other) const;
    // Order by ID.
    bool operator<(const CKSLPolicySetting& other) const;
    bool operator>(const CKSLPolicySetting& other) const;

protected:
    explicit CKSLPolicySetting(long lValueType);
    CKSLPolicySetting(long lValueType, const CKSLProduct& product, long lID, long lPolicySource,
                      const CKSLWCharString& szVersion, const CKSLWCharString& szValueName,
                      const CKSLWCharString& szKeyPath, const T& defaultValue);
    CKSLPolicySetting(long lValueType, const CKSLWCharString& szVendorName, const CKSLWCharString& szProductName,
                      long lID, long lPolicySource, const CKSLWCharString& szVersion,
                      const CKSLWCharString& szValueName, const CKSLWCharString& szKeyPath, const T& defaultValue);
    CKSLPolicySetting(const CKSLPolicySetting& other) = default;
    // Copies everything, the held value included, so that a copy that holds a value answers
    // that value and not its default.
    CKSLPolicySetting& operator=(const CKSLPolicySetting& other);
    // Settings are kept and deleted as their concrete forms.
    ~CKSLPolicySetting() = default;

    // The frame of getPolicy: held value, source check, location; read(hive, key, finding) makes
    // the registry read and notes in the finding what it found.
    template <class FRead>
    bool readPolicy(unsigned long ulLocation, T& out, bool bUseHeld, const CKSLWCharString& szNameValue,
                    const wchar_t* wcsClassName, FRead&& read);
    // The frame of inspectPolicy: what one location holds, found or not, nothing held changed.
    // False only for a source other than the registry.
    template <class FRead>
    bool inspectLocation(unsigned long ulLocation, CKSLPolicyFinding<T>& finding, const CKSLWCharString& szNameValue,
                         const wchar_t* wcsClassName, FRead&& read);
    // What a read through the registry value object found: bUsable says whether its data is of
    // the setting's type; the value itself is the caller's to set.
    static void noteStored(const CKSLRegistryValueBase& registryValue, bool bUsable, CKSLPolicyFinding<T>& finding);
    // setPolicy through the registry value class TRegistryValue: source check, location, then the
    // value written at once with the write access.
    template <class TRegistryValue>
    bool writePolicy(unsigned long ulLocation, const T& value, unsigned long ulCreateIfMissing,
                     const CKSLWCharString& szNameValue, BYTE byCreateOptions, const wchar_t* wcsClassName);

    long m_lPolicySource;
    long m_lValueType;
    CKSLWCharString m_szVendorName;
    CKSLWCharString m_szProductName;
    CKSLWCharString m_szVersion;
    CKSLWCharString m_szValueName;
    CKSLWCharString m_szKeyPath;
    T m_defaultValue;
    long m_lID;
    BYTE m_bHeld;
    T m_heldValue;
};

// --- implementation --------------------------------------------------------------------------

namespace ksl_policy {
const wchar_t s_wcsSettingClass[] = L"CKSLPolicySetting";
} // namespace ksl_policy

template <class T>
CKSLPolicySetting<T>::CKSLPolicySetting(long lValueType)
    : m_lPolicySource(KSL_POLICY_SOURCE_REGISTRY),
      m_lValueType(lValueType),
      m_defaultValue(),
      m_lID(0),
      m_bHeld(0),
      m_heldValue()
{
}

template <class T>
CKSLPolicySetting<T>::CKSLPolicySetting(long lValueType, const CKSLProduct& product, long lID, long lPolicySource,
                                        const CKSLWCharString& szVersion, const CKSLWCharString& szValueName,
                                        const CKSLWCharString& szKeyPath, const T& defaultValue)
    : CKSLPolicySetting(lValueType, product.getVendorName(), product.getProductName(), lID, lPolicySource,
                        szVersion, szValueName, szKeyPath, defaultValue)
{
}

template <class T>
CKSLPolicySetting<T>::CKSLPolicySetting(long lValueType, const CKSLWCharString& szVendorName,
                                        const CKSLWCharString& szProductName, long lID, long lPolicySource,
                                        const CKSLWCharString& szVersion, const CKSLWCharString& szValueName,
                                        const CKSLWCharString& szKeyPath, const T& defaultValue)
    : m_lPolicySource(lPolicySource),
      m_lValueType(lValueType),
      m_szVendorName(szVendorName),
      m_szProductName(szProductName),
      m_szVersion(szVersion),
      m_szValueName(szValueName),
      m_szKeyPath(szKeyPath),
      m_defaultValue(defaultValue),
      m_lID(lID),
      m_bHeld(0),
      m_heldValue(defaultValue)
{
}

template <class T>
CKSLPolicySetting<T>& CKSLPolicySetting<T>::operator=(const CKSLPolicySetting& other)
{
    CKSLMethodTrace trace(ksl_policy::s_wcsSettingClass, L"operator=", KSL_HERE);
    if (this != &other) {
        m_lPolicySource = other.m_lPolicySource;
        m_lValueType = other.m_lValueType;
        m_szVendorName = other.m_szVendorName;
        m_szProductName = other.m_szProductName;
        m_szVersion = other.m_szVersion;
        m_szValueName = other.m_szValueName;
        m_szKeyPath = other.m_szKeyPath;
        m_defaultValue = other.m_defaultValue;
        m_lID = other.m_lID;
        m_bHeld = other.m_bHeld;
        m_heldValue = other.m_heldValue;
    }
    trace.boolean(true);
    return *this;
}

template <class T>
const T& CKSLPolicySetting<T>::getDefault() const
{
    CKSLMethodTrace trace(ksl_policy::s_wcsSettingClass, L"getDefault", KSL_HERE);
    return m_defaultValue;
}

template <class T>
const CKSLWCharString& CKSLPolicySetting<T>::getKeyPath() const
{
    CKSLMethodTrace trace(ksl_policy::s_wcsSettingClass, L"getKeyPath", KSL_HERE);
    return m_szKeyPath;
}

template <class T>
const CKSLWCharString& CKSLPolicySetting<T>::getValueName() const
{
    CKSLMethodTrace trace(ksl_policy::s_wcsSettingClass, L"getValueName", KSL_HERE);
    return m_szValueName;
}

template <class T>
CKSLWCharString CKSLPolicySetting<T>::getValueLocation(const CKSLPolicyNameValueList& nameValues)
{
    CKSLMethodTrace trace(ksl_policy::s_wcsSettingClass, L"getValueLocation", KSL_HERE);
    return ksl_policy::valueNameFrom(nameValues, m_szValueName);
}

template <class T>
CKSLWCharString CKSLPolicySetting<T>::getValueLocation(unsigned long ulLocation, const CKSLWCharString& szNameValue)
{
    CKSLMethodTrace trace(ksl_policy::s_wcsSettingClass, L"getValueLocation", KSL_HERE);
    CKSLWCharString szLocation;
    if (m_lPolicySource != KSL_POLICY_SOURCE_REGISTRY) {
        ksl_policy::logUnsupportedSource(ksl_policy::s_wcsSettingClass, L"getValueLocation", KSL_HERE);
        trace.boolean(false);
        return szLocation;
    }
    trace.boolean(ksl_policy::buildLocation(ulLocation, m_szVendorName, m_szProductName, m_szKeyPath, szNameValue,
                                            szLocation));
    return szLocation;
}

template <class T>
bool CKSLPolicySetting<T>::setDefault(const T& defaultValue)
{
    CKSLMethodTrace trace(ksl_policy::s_wcsSettingClass, L"setDefault", KSL_HERE);
    m_defaultValue = defaultValue;
    return trace.boolean(true);
}

template <class T>
bool CKSLPolicySetting<T>::setKeyPath(const CKSLWCharString& szKeyPath)
{
    CKSLMethodTrace trace(ksl_policy::s_wcsSettingClass, L"setKeyPath", KSL_HERE);
    m_szKeyPath = szKeyPath;
    return trace.boolean(m_szKeyPath == szKeyPath);
}

template <class T>
bool CKSLPolicySetting<T>::setValueName(const CKSLWCharString& szValueName)
{
    CKSLMethodTrace trace(ksl_policy::s_wcsSettingClass, L"setValueName", KSL_HERE);
    m_szValueName = szValueName;
    return trace.boolean(m_szValueName == szValueName);
}

template <class T>
bool CKSLPolicySetting<T>::operator==(const CKSLPolicySetting& other) const
{
    CKSLMethodTrace trace(ksl_policy::s_wcsSettingClass, L"operator==", KSL_HERE);
    return trace.logical(m_lID == other.m_lID && m_lPolicySource == other.m_lPolicySource &&
                         m_lValueType == other.m_lValueType && m_szVendorName == other.m_szVendorName &&
                         m_szProductName == other.m_szProductName && m_szVersion == other.m_szVersion &&
                         m_szValueName == other.m_szValueName && m_szKeyPath == other.m_szKeyPath &&
                         m_defaultValue == other.m_defaultValue);
}

template <class T>
bool CKSLPolicySetting<T>::operator!=(const CKSLPolicySetting& other) const
{
    CKSLMethodTrace trace(ksl_policy::s_wcsSettingClass, L"operator!=", KSL_HERE);
    return trace.logical(!(*this == other));
}

template <class T>
bool CKSLPolicySetting<T>::operator<(const CKSLPolicySetting& other) const
{
    CKSLMethodTrace trace(ksl_policy::s_wcsSettingClass, L"operator<", KSL_HERE);
    return trace.logical(m_lID < other.m_lID);
}

template <class T>
bool CKSLPolicySetting<T>::operator>(const CKSLPolicySetting& other) const
{
    CKSLMethodTrace trace(ksl_policy::s_wcsSettingClass, L"operator>", KSL_HERE);
    return trace.logical(m_lID > other.m_lID);
}

template <class T>
void CKSLPolicySetting<T>::noteStored(const CKSLRegistryValueBase& registryValue, bool bUsable,
                                      CKSLPolicyFinding<T>& finding)
{
    finding.dwType = registryValue.getStoredType();
    finding.dwBytes = registryValue.getStoredBytes();
    if (!registryValue.isValuePresent())
        finding.state = pfsMissing;
    else
        finding.state = bUsable ? pfsFound : pfsUnusable;
}

template <class T>
template <class FRead>
bool CKSLPolicySetting<T>::inspectLocation(unsigned long ulLocation, CKSLPolicyFinding<T>& finding,
                                           const CKSLWCharString& szNameValue, const wchar_t* wcsClassName,
                                           FRead&& read)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        finding = CKSLPolicyFinding<T>();
        finding.ulLocation = ulLocation;
        if (m_lPolicySource != KSL_POLICY_SOURCE_REGISTRY) {
            ksl_policy::logUnsupportedSource(wcsClassName, L"inspectPolicy", KSL_HERE);
            return false;
        }
        finding.hHive = ksl_policy::locationHive(ulLocation);
        finding.szKey = getValueLocation(ulLocation, szNameValue);
        read(finding.hHive, finding.szKey, finding);
        return true;
    });
}

template <class T>
template <class FRead>
bool CKSLPolicySetting<T>::readPolicy(unsigned long ulLocation, T& out, bool bUseHeld,
                                      const CKSLWCharString& szNameValue, const wchar_t* wcsClassName, FRead&& read)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        if (bUseHeld && m_bHeld) {
            out = m_heldValue;
            return true;
        }
        if (m_lPolicySource != KSL_POLICY_SOURCE_REGISTRY) {
            ksl_policy::logUnsupportedSource(wcsClassName, L"getPolicy", KSL_HERE);
            return false;
        }
        CKSLPolicyFinding<T> finding;
        read(ksl_policy::locationHive(ulLocation), getValueLocation(ulLocation, szNameValue), finding);
        if (finding.state != pfsFound)
            return false;
        out = finding.value;
        m_heldValue = finding.value;
        m_bHeld = 1;
        return true;
    });
}

template <class T>
bool CKSLPolicySetting<T>::clearPolicy(unsigned long ulLocation, const CKSLWCharString& szNameValue)
{
    CKSLMethodTrace trace(ksl_policy::s_wcsSettingClass, L"clearPolicy", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        if (m_lPolicySource != KSL_POLICY_SOURCE_REGISTRY) {
            ksl_policy::logUnsupportedSource(ksl_policy::s_wcsSettingClass, L"clearPolicy", KSL_HERE);
            return false;
        }
        // Any value class names the value; the removal does not depend on its type.
        CKSLRegistryDword registryValue(ksl_policy::locationHive(ulLocation), getValueLocation(ulLocation, szNameValue),
                                        m_szValueName, KSL_POLICY_WRITE_ACCESS, false, 0);
        return registryValue.deleteValue();
    }));
}

template <class T>
template <class TRegistryValue>
bool CKSLPolicySetting<T>::writePolicy(unsigned long ulLocation, const T& value, unsigned long ulCreateIfMissing,
                                       const CKSLWCharString& szNameValue, BYTE byCreateOptions,
                                       const wchar_t* wcsClassName)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        if (m_lPolicySource != KSL_POLICY_SOURCE_REGISTRY) {
            ksl_policy::logUnsupportedSource(wcsClassName, L"setPolicy", KSL_HERE);
            return false;
        }
        const DWORD dwCreateOptions = byCreateOptions != 0 ? 1 : 0;
        TRegistryValue registryValue(ksl_policy::locationHive(ulLocation), getValueLocation(ulLocation, szNameValue),
                                     m_szValueName, KSL_POLICY_WRITE_ACCESS, ulCreateIfMissing != 0, dwCreateOptions);
        if (!registryValue.setValue(value, false))
            return false;
        m_heldValue = value;
        m_bHeld = 1;
        return true;
    });
}
