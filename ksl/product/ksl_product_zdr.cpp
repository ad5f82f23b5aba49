#include "ksl_product_zdr.h"

#include "ksl_catch.h"
#include "ksl_method_trace.h"

namespace {
const wchar_t kClass[] = L"CKSLProduct_ZDR";
} // namespace

CKSLProduct_ZDR::CKSLProduct_ZDR() : CKSLProduct(L"Tessil", L"ZDR")
{
    CKSLMethodTrace trace(kClass, L"CKSLProduct_ZDR", KSL_HERE);
    // Both locations name the key's unnamed default value.
    addLocation(new CKSLProductRegistryInfo(L"Software\\Tessil\\ZDR", CKSLWCharString(), CKSLWCharString()));
    addLocation(new CKSLProductRegistryInfo(L"Software\\Tessil\\ZDR", CKSLWCharString(), CKSLWCharString()));
}

CKSLProduct_ZDR::~CKSLProduct_ZDR()
{
    CKSLMethodTrace trace(kClass, L"~CKSLProduct_ZDR", KSL_HERE);
}

bool CKSLProduct_ZDR::isInstalled(long, long, long, long)
{
    CKSLMethodTrace trace(kClass, L"isInstalled", KSL_HERE);
    CKSLWCharString location;
    return trace.boolean(getRegistryLocation(location));
}

bool CKSLProduct_ZDR::getProductVersion(long& lMajorVer, long& lMinorVer, long& lBuildVer, long& lPatchVer)
{
    CKSLMethodTrace trace(kClass, L"getProductVersion", KSL_HERE);
    return trace.boolean(getVersionParts(lMajorVer, lMinorVer, lBuildVer, lPatchVer));
}

bool CKSLProduct_ZDR::getProductVersion(CKSLWCharString& version)
{
    CKSLMethodTrace trace(kClass, L"getProductVersion", KSL_HERE);
    return trace.boolean(getRegistryItem(riVersion, version));
}

bool CKSLProduct_ZDR::getRegistryLocation(CKSLWCharString& location)
{
    CKSLMethodTrace trace(kClass, L"getRegistryLocation", KSL_HERE);
    // The network-drive product's key is fixed; nothing is looked up. Building the text can
    // still fail for want of memory, which must not leave the operation.
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        location = CKSLWCharString(L"Software\\Tessil") + L"\\ZDR";
        return true;
    }));
}
