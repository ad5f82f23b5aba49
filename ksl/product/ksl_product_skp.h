// The Safekeep backup product: its current installation key first, then that of older releases.
#pragma once

#include "ksl_product.h"

class CKSLProduct_SKP : public CKSLProduct {
public:
    CKSLProduct_SKP();
    ~CKSLProduct_SKP();

    bool isInstalled(long lMajorVer, long lMinorVer, long lBuildVer, long lPatchVer) override;
    bool getProductVersion(long& lMajorVer, long& lMinorVer, long& lBuildVer, long& lPatchVer) override;
    bool getProductVersion(CKSLWCharString& version) override;
    bool getRegistryLocation(CKSLWCharString& location);
    // The "CommonFiles" value under the registry location.
    bool getCommonPath(CKSLWCharString& path);
};
