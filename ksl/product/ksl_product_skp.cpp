#include "ksl_product_skp.h"

#include "ksl_catch.h"
#include "ksl_method_trace.h"

namespace {
const wchar_t kClass[] = L"CKSLProduct_SKP";
} // namespace

CKSLProduct_SKP::CKSLProduct_SKP() : CKSLProduct(L"Tessil", L"Safekeep")
{
    CKSLMethodTrace trace(kClass, L"CKSLProduct_SKP", KSL_HERE);
    addLocation(new CKSLProductRegistryInfoEx(L"Software\\Tessil\\Safekeep", L"Version", L"InstallPath",
                                              L"VAULTINSTALLED"));
    addLocation(new CKSLProductRegistryInfoEx(L"Software\\Altmark Brightwell\\Safekeep", L"Version",
                                              L"InstallPath", L"VAULTINSTALLED"));
}

CKSLProduct_SKP::~CKSLProduct_SKP()
{
    CKSLMethodTrace trace(kClass, L"~CKSLProduct_SKP", KSL_HERE);
}

bool CKSLProduct_SKP::isInstalled(long lMajorVer, long lMinorVer, long lBuildVer, long lPatchVer)
{
    CKSLMethodTrace trace(kClass, L"isInstalled", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        const long lRequired[4] = {lMajorVer, lMinorVer, lBuildVer, lPatchVer};
        if (!checkParms(lRequired))
            throw CKSLBadArgException(L"lMinorVer, lBuildVer, or lPatchVer", L"Cannot have value after KSL_DONT_CARE",
                                      KSL_HERE);
        long lInstalled[4] = {0, 0, 0, 0};
        if (!getProductVersion(lInstalled[0], lInstalled[1], lInstalled[2], lInstalled[3]))
            return false;
        return isVersionInstalled(lRequired, lInstalled);
    }));
}

bool CKSLProduct_SKP::getProductVersion(long& lMajorVer, long& lMinorVer, long& lBuildVer, long& lPatchVer)
{
    CKSLMethodTrace trace(kClass, L"getProductVersion", KSL_HERE);
    return trace.boolean(getVersionParts(lMajorVer, lMinorVer, lBuildVer, lPatchVer));
}

bool CKSLProduct_SKP::getProductVersion(CKSLWCharString& version)
{
    CKSLMethodTrace trace(kClass, L"getProductVersion", KSL_HERE);
    return trace.boolean(getRegistryItem(riVersion, version));
}

bool CKSLProduct_SKP::getRegistryLocation(CKSLWCharString& location)
{
    CKSLMethodTrace trace(kClass, L"getRegistryLocation", KSL_HERE);
    return trace.boolean(getRegistryItem(riRegistryLocation, location));
}

bool CKSLProduct_SKP::getCommonPath(CKSLWCharString& path)
{
    CKSLMethodTrace trace(kClass, L"getCommonPath", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        CKSLWCharString location;
        return getRegistryLocation(location) && readMachineString(location, L"CommonFiles", path);
    }));
}
