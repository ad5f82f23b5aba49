#include "ksl_product_registryinfo.h"

CKSLProductRegistryInfo::CKSLProductRegistryInfo(const CKSLWCharString& keyPath,
                                                 const CKSLWCharString& versionValueName,
                                                 const CKSLWCharString& installPathValueName)
    : m_keyPath(keyPath), m_versionValueName(versionValueName), m_installPathValueName(installPathValueName)
{
}

CKSLProductRegistryInfo& CKSLProductRegistryInfo::operator=(const CKSLProductRegistryInfo& other)
{
    if (this != &other) {
        m_keyPath = other.m_keyPath;
        m_versionValueName = other.m_versionValueName;
        m_installPathValueName = other.m_installPathValueName;
    }
    return *this;
}

CKSLProductRegistryInfo& CKSLProductRegistryInfo::operator=(const CKSLProductRegistryInfo* pOther)
{
    return pOther ? (*this = *pOther) : *this;
}

bool CKSLProductRegistryInfo::operator==(const CKSLProductRegistryInfo& other) const
{
    return m_installPathValueName == other.m_installPathValueName && m_keyPath == other.m_keyPath &&
           m_versionValueName == other.m_versionValueName;
}

CKSLProductRegistryInfoEx::CKSLProductRegistryInfoEx(const CKSLWCharString& keyPath,
                                                     const CKSLWCharString& versionValueName,
                                                     const CKSLWCharString& installPathValueName,
                                                     const CKSLWCharString& vaultValueName)
    : CKSLProductRegistryInfo(keyPath, versionValueName, installPathValueName), m_vaultValueName(vaultValueName)
{
}
