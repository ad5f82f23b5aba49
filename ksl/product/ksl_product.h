// CKSLProduct: where a product of the maker keeps its installation record, which version is
// installed, and whether that version is at least a required one.
#pragma once

#include "ksl_dbllist.h"
#include "ksl_product_registryinfo.h"
#include "ksl_wchar_string.h"

// A version part that matches any value; once one part is this, all later parts must be too.
const long KSL_DONT_CARE = -1;

class CKSLProduct {
public:
    // What getRegistryItem looks up in each location.
    enum RegistryItem : unsigned long { riRegistryLocation = 1, riVersion = 2, riInstallPath = 3 };

    CKSLProduct(const CKSLWCharString& vendorName, const CKSLWCharString& productName);
    CKSLProduct(const CKSLProduct&) = delete;
    CKSLProduct& operator=(const CKSLProduct&) = delete;

    virtual bool isInstalled(long lMajorVer, long lMinorVer, long lBuildVer, long lPatchVer) = 0;
    virtual bool getProductVersion(long& lMajorVer, long& lMinorVer, long& lBuildVer, long& lPatchVer) = 0;
    virtual bool getProductVersion(CKSLWCharString& version) = 0;

    CKSLWCharString getVendorName() const;
    CKSLWCharString getProductName() const;
    // A required version is valid when no real part follows a KSL_DONT_CARE.
    bool checkParms(const long* lVersions);
    // Whether the installed version is at least the required one (wildcards match anything).
    bool isVersionInstalled(const long* lRequired, const long* lInstalled);
    // Parses up to four dot-separated decimal fields; fields that do not parse leave their part.
    bool convertVersion(const CKSLWCharString& version, long& lMajorVer, long& lMinorVer, long& lBuildVer,
                        long& lPatchVer);
    // Searches the locations in order for the item's value; out unchanged when none has it.
    bool getRegistryItem(unsigned long ulItem, CKSLWCharString& out);

protected:
    ~CKSLProduct();
    void addLocation(CKSLProductRegistryInfo* pLocation);
    // The string variant of getProductVersion converted into four parts.
    bool getVersionParts(long& lMajorVer, long& lMinorVer, long& lBuildVer, long& lPatchVer);
    // One string value of a key under HKEY_LOCAL_MACHINE; false when key or value is missing.
    static bool readMachineString(const CKSLWCharString& keyPath, const CKSLWCharString& valueName,
                                  CKSLWCharString& out);

private:
    CKSLWCharString m_vendorName;
    CKSLWCharString m_productName;
    CKSLDblList<CKSLOwnedPtrNode<CKSLProductRegistryInfo>> m_locations;
};
