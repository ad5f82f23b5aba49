#include "ksl_product.h"

#include "ksl_catch.h"
#include "ksl_format.h"
#include "ksl_method_trace.h"
#include "ksl_registry_string.h"

namespace {
const wchar_t kClass[] = L"CKSLProduct";
const int kVersionParts = 4;
} // namespace

bool CKSLProduct::readMachineString(const CKSLWCharString& keyPath, const CKSLWCharString& valueName,
                                    CKSLWCharString& out)
{
    CKSLRegistryValue value(HKEY_LOCAL_MACHINE, keyPath, valueName, KEY_READ, false, 0);
    return value.getValue(out, false);
}

bool CKSLProduct::getVersionParts(long& lMajorVer, long& lMinorVer, long& lBuildVer, long& lPatchVer)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        CKSLWCharString version;
        return getProductVersion(version) && convertVersion(version, lMajorVer, lMinorVer, lBuildVer, lPatchVer);
    });
}

CKSLProduct::CKSLProduct(const CKSLWCharString& vendorName, const CKSLWCharString& productName)
    : m_vendorName(vendorName), m_productName(productName)
{
}

CKSLProduct::~CKSLProduct() = default;

void CKSLProduct::addLocation(CKSLProductRegistryInfo* pLocation)
{
    m_locations.add(pLocation);
}

CKSLWCharString CKSLProduct::getVendorName() const
{
    CKSLMethodTrace trace(kClass, L"getVendorName", KSL_HERE);
    return m_vendorName;
}

CKSLWCharString CKSLProduct::getProductName() const
{
    CKSLMethodTrace trace(kClass, L"getProductName", KSL_HERE);
    return m_productName;
}

bool CKSLProduct::checkParms(const long* lVersions)
{
    CKSLMethodTrace trace(kClass, L"checkParms", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        if (!lVersions)
            throw CKSLBadArgException(L"lVersions", L"Cannot have NULL value", KSL_HERE);
        for (int i = 0; i < kVersionParts - 1; ++i) {
            if (lVersions[i] != KSL_DONT_CARE)
                continue;
            for (int j = i + 1; j < kVersionParts; ++j) {
                if (lVersions[j] == KSL_DONT_CARE)
                    continue;
                wchar_t wcsArgument[32];
                kslFormat(wcsArgument, L"lVersions[%d]", j);
                throw CKSLBadArgException(wcsArgument, L"Cannot be real value, KSL_DONT_CAREs prior", KSL_HERE);
            }
        }
        return true;
    }));
}

bool CKSLProduct::isVersionInstalled(const long* lRequired, const long* lInstalled)
{
    CKSLMethodTrace trace(kClass, L"isVersionInstalled", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        if (!lRequired || !lInstalled)
            throw CKSLBadArgException(L"lVersions", L"Cannot have NULL value", KSL_HERE);
        // Part by part, major first; a wildcard (-1) is below every real part, so it ends the
        // comparison in favour of the installed version.
        for (int i = 0; i < kVersionParts; ++i) {
            if (lRequired[i] < lInstalled[i])
                return true;
            if (lRequired[i] > lInstalled[i])
                return false;
        }
        return true;
    }));
}

bool CKSLProduct::convertVersion(const CKSLWCharString& version, long& lMajorVer, long& lMinorVer, long& lBuildVer,
                                 long& lPatchVer)
{
    CKSLMethodTrace trace(kClass, L"convertVersion", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        long* const parts[kVersionParts] = {&lMajorVer, &lMinorVer, &lBuildVer, &lPatchVer};
        const CKSLFlags sides(CKSLWCharString::sideBoth);
        const CKSLFlags whiteSpace(CKSLWCharString::wsAll);
        for (int n = 0; n < kVersionParts; ++n) {
            CKSLWCharString field;
            if (!version.getField(field, L".", static_cast<unsigned long>(n + 1), CKSLWCharString::pmFromStart,
                                  sides, whiteSpace))
                continue;
            unsigned long ulValue = 0;
            if (field.getNumber(ulValue, CKSLWCharString::nsDec))
                *parts[n] = static_cast<long>(ulValue);
        }
        return true;
    }));
}

bool CKSLProduct::getRegistryItem(unsigned long ulItem, CKSLWCharString& out)
{
    CKSLMethodTrace trace(kClass, L"getRegistryItem", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        if (!m_locations.moveFirst())
            return false;
        do {
            CKSLProductRegistryInfo* pLocation = nullptr;
            if (!m_locations.getCurrent(pLocation) || !pLocation)
                continue;
            const CKSLWCharString& valueName =
                ulItem == riVersion ? pLocation->getVersionValueName()
                : (ulItem == riRegistryLocation || ulItem == riInstallPath) ? pLocation->getInstallPathValueName()
                                                                            : CKSLWCharString();
            CKSLWCharString text;
            if (!readMachineString(pLocation->getKeyPath(), valueName, text))
                continue;
            out = ulItem == riRegistryLocation ? pLocation->getKeyPath() : text;
            return true;
        } while (m_locations.moveNext());
        return false;
    }));
}
