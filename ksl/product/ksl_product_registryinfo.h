// One candidate registry location of a product's installation record (under HKEY_LOCAL_MACHINE).
#pragma once

#include "ksl_wchar_string.h"

class CKSLProductRegistryInfo {
public:
    CKSLProductRegistryInfo(const CKSLWCharString& keyPath, const CKSLWCharString& versionValueName,
                            const CKSLWCharString& installPathValueName);
    CKSLProductRegistryInfo(const CKSLProductRegistryInfo& other) = default;
    virtual ~CKSLProductRegistryInfo() = default;
    // Both assignments copy the three strings.
    virtual CKSLProductRegistryInfo& operator=(const CKSLProductRegistryInfo& other);
    virtual CKSLProductRegistryInfo& operator=(const CKSLProductRegistryInfo* pOther);

    bool operator==(const CKSLProductRegistryInfo& other) const;
    bool operator!=(const CKSLProductRegistryInfo& other) const { return !(*this == other); }

    const CKSLWCharString& getKeyPath() const { return m_keyPath; }
    const CKSLWCharString& getVersionValueName() const { return m_versionValueName; }
    const CKSLWCharString& getInstallPathValueName() const { return m_installPathValueName; }

private:
    CKSLWCharString m_keyPath;
    CKSLWCharString m_versionValueName;
    CKSLWCharString m_installPathValueName;
};

// A Safekeep location: also names the value that flags the installed Vault recovery area.
class CKSLProductRegistryInfoEx : public CKSLProductRegistryInfo {
public:
    CKSLProductRegistryInfoEx(const CKSLWCharString& keyPath, const CKSLWCharString& versionValueName,
                              const CKSLWCharString& installPathValueName, const CKSLWCharString& vaultValueName);
    using CKSLProductRegistryInfo::operator=;
    const CKSLWCharString& getVaultValueName() const { return m_vaultValueName; }

private:
    CKSLWCharString m_vaultValueName;
};
