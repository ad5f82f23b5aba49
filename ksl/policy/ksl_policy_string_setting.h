// CKSLPolicyStringSetting: a policy setting whose value is a text, read and written as a plain
// string (CKSLRegistryValue) or, with the expand flag, as an expandable string whose environment
// variable references are expanded on reading (CKSLRegistryStringExpand). Found only where the
// data is REG_SZ or REG_EXPAND_SZ.
#pragma once

#include "ksl_policy_setting.h"

class CKSLPolicyStringSetting final : public CKSLPolicySetting<CKSLWCharString> {
public:
    // Only serves as the target of an assignment.
    CKSLPolicyStringSetting();
    // The vendor and product names come from the product description.
    CKSLPolicyStringSetting(const CKSLProduct& product, long lID, long lPolicySource,
                            const CKSLWCharString& szVersion, const CKSLWCharString& szValueName,
                            const CKSLWCharString& szKeyPath, const CKSLWCharString& szDefault,
                            bool bExpand = false);
    CKSLPolicyStringSetting(const CKSLWCharString& szVendorName, const CKSLWCharString& szProductName, long lID,
                            long lPolicySource, const CKSLWCharString& szVersion, const CKSLWCharString& szValueName,
                            const CKSLWCharString& szKeyPath, const CKSLWCharString& szDefault,
                            bool bExpand = false);
    CKSLPolicyStringSetting(const CKSLPolicyStringSetting& other) = default;
    CKSLPolicyStringSetting& operator=(const CKSLPolicyStringSetting& other);
    ~CKSLPolicyStringSetting() = default;

    bool getPolicy(unsigned long ulLocation, CKSLWCharString& szValue, bool bUseHeld,
                   const CKSLWCharString& szNameValue) override;
    bool setPolicy(unsigned long ulLocation, const CKSLWCharString& szValue, unsigned long ulCreateIfMissing,
                   const CKSLWCharString& szNameValue, BYTE byCreateOptions) override;

    // What one location holds, with the same read as getPolicy; nothing held changes.
    bool inspectPolicy(unsigned long ulLocation, CKSLPolicyFinding<CKSLWCharString>& finding,
                       const CKSLWCharString& szNameValue);
    // What inspectPolicy would find at a location whose value held these bytes of this type: how a
    // value that is not (yet) in the registry would read, for example one a policy file brings.
    // Fills the finding's state, type, size and value; its location stays as it was.
    void inspectData(DWORD dwType, const BYTE* pData, DWORD dwBytes, CKSLPolicyFinding<CKSLWCharString>& finding) const;

    bool isExpand() const { return m_bExpand != 0; }

private:
    void readAt(HKEY hHive, const CKSLWCharString& szKey, CKSLPolicyFinding<CKSLWCharString>& finding) const;

    BYTE m_bExpand;
};
