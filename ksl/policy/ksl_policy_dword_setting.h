// CKSLPolicyDwordSetting: a policy setting whose value is a DWORD, read and written as a
// REG_DWORD through CKSLRegistryDword. Found only where the data is REG_DWORD of four bytes or
// REG_BINARY of one to four.
#pragma once

#include "ksl_policy_setting.h"

class CKSLPolicyDwordSetting final : public CKSLPolicySetting<unsigned long> {
public:
    // Only serves as the target of an assignment.
    CKSLPolicyDwordSetting();
    // The vendor and product names come from the product description.
    CKSLPolicyDwordSetting(const CKSLProduct& product, long lID, long lPolicySource, const CKSLWCharString& szVersion,
                           const CKSLWCharString& szValueName, const CKSLWCharString& szKeyPath,
                           unsigned long ulDefault);
    CKSLPolicyDwordSetting(const CKSLWCharString& szVendorName, const CKSLWCharString& szProductName, long lID,
                           long lPolicySource, const CKSLWCharString& szVersion, const CKSLWCharString& szValueName,
                           const CKSLWCharString& szKeyPath, unsigned long ulDefault);
    CKSLPolicyDwordSetting(const CKSLPolicyDwordSetting& other) = default;
    CKSLPolicyDwordSetting& operator=(const CKSLPolicyDwordSetting& other);
    ~CKSLPolicyDwordSetting() = default;

    bool getPolicy(unsigned long ulLocation, unsigned long& ulValue, bool bUseHeld,
                   const CKSLWCharString& szNameValue) override;
    bool setPolicy(unsigned long ulLocation, const unsigned long& ulValue, unsigned long ulCreateIfMissing,
                   const CKSLWCharString& szNameValue, BYTE byCreateOptions) override;

    // What one location holds, with the same read as getPolicy; nothing held changes.
    bool inspectPolicy(unsigned long ulLocation, CKSLPolicyFinding<unsigned long>& finding,
                       const CKSLWCharString& szNameValue);
    // What inspectPolicy would find at a location whose value held these bytes of this type: how a
    // value that is not (yet) in the registry would read, for example one a policy file brings.
    // Fills the finding's state, type, size and value; its location stays as it was.
    void inspectData(DWORD dwType, const BYTE* pData, DWORD dwBytes, CKSLPolicyFinding<unsigned long>& finding) const;

private:
    void readAt(HKEY hHive, const CKSLWCharString& szKey, CKSLPolicyFinding<unsigned long>& finding) const;
};
