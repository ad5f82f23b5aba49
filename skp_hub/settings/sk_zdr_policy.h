// CSKZdrPolicy: the network-drive product's settings for one client product: the share, the
// account and a reference below the client's key, and the debug switch and time-out shared by all
// clients.
#pragma once

#include "ksl_product_policy.h"
#include "ksl_wchar_string.h"

class CSKZdrPolicy : public CKSLProductPolicy {
public:
    explicit CSKZdrPolicy(const CKSLWCharString& szClientName);

    const CKSLWCharString& getClientName() const { return m_szClientName; }

private:
    // One setting of the network-drive product.
    bool addDwordSetting(long lID, const wchar_t* wcsValueName, const CKSLWCharString& szKeyPath,
                         unsigned long ulDefault);
    bool addStringSetting(long lID, const wchar_t* wcsValueName, const CKSLWCharString& szKeyPath);

    CKSLWCharString m_szClientName;
};
