// The maker's network-drive product ZDR.
#pragma once

#include "ksl_product.h"

class CKSLProduct_ZDR : public CKSLProduct {
public:
    CKSLProduct_ZDR();
    ~CKSLProduct_ZDR();

    // Always true: the product's location is fixed, not looked up.
    bool isInstalled(long lMajorVer, long lMinorVer, long lBuildVer, long lPatchVer) override;
    bool getProductVersion(long& lMajorVer, long& lMinorVer, long& lBuildVer, long& lPatchVer) override;
    bool getProductVersion(CKSLWCharString& version) override;
    bool getRegistryLocation(CKSLWCharString& location);
};
