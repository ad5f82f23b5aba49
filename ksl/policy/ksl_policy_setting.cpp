// The parts of CKSLPolicySetting that do not depend on the value type: the location table, the
// filling of its key templates and the name-value texts.
#include "ksl_policy_setting.h"

#include <cwchar>

#include "ksl_flags.h"
#include "ksl_logging.h"

namespace {

struct PolicyLocation {
    HKEY hHive;
    const wchar_t* wcsKeyTemplate;
};

// By index, that is by the bit number of the location code.
const PolicyLocation kLocations[] = {
    {HKEY_LOCAL_MACHINE, L"Software\\Policies\\%VENDOR_NAME%\\%PRODUCT_NAME%"},
    {HKEY_CURRENT_USER, L"Software\\Policies\\%VENDOR_NAME%\\%PRODUCT_NAME%"},
    {HKEY_LOCAL_MACHINE, L"Software\\Policies\\%VENDOR_NAME%\\%PRODUCT_NAME%\\User Defaults"},
    {HKEY_LOCAL_MACHINE, L"Software\\%VENDOR_NAME%\\%PRODUCT_NAME%"},
    {HKEY_CURRENT_USER, L"Software\\%VENDOR_NAME%\\%PRODUCT_NAME%"},
    {HKEY_LOCAL_MACHINE, L"Software\\%VENDOR_NAME%\\%PRODUCT_NAME%\\User Defaults"},
};

const wchar_t kVendorPlaceholder[] = L"%VENDOR_NAME%";
const wchar_t kProductPlaceholder[] = L"%PRODUCT_NAME%";

const PolicyLocation& locationOf(unsigned long ulLocation)
{
    return kLocations[ksl_policy::locationIndex(ulLocation)];
}

// The location with the first occurrence of NAME replaced by VALUE; a text naming the value name
// placeholder changes nothing here (it chooses a value name, see valueNameFrom).
void applyNameValue(const CKSLWCharString& szNameValue, CKSLWCharString& szLocation)
{
    CKSLWCharString szName;
    CKSLWCharString szValue;
    if (!ksl_policy::splitNameValue(szNameValue, szName, szValue) || szName == ksl_policy::s_wcsValueNamePlaceholder)
        return;
    // A NAME that is not in the location leaves it as it is.
    szLocation.replace(szName, szValue, 1, CKSLWCharString::ssmOccur);
}

} // namespace

namespace ksl_policy {

const wchar_t s_wcsValueNamePlaceholder[] = L"%VALUE_NAME%";

unsigned long locationIndex(unsigned long ulLocation)
{
    const CKSLFlags allLocations(KSL_POLICY_LOCATION_MASK);
    unsigned long ulIndex = 0;
    if (!allLocations.getIndex(ulLocation & KSL_POLICY_LOCATION_MASK, ulIndex))
        return 0;
    return ulIndex;
}

HKEY locationHive(unsigned long ulLocation)
{
    return locationOf(ulLocation).hHive;
}

bool buildLocation(unsigned long ulLocation, const CKSLWCharString& szVendorName,
                   const CKSLWCharString& szProductName, const CKSLWCharString& szKeyPath,
                   const CKSLWCharString& szNameValue, CKSLWCharString& szLocation)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        szLocation = locationOf(ulLocation).wcsKeyTemplate;
        if (!szLocation.replace(kVendorPlaceholder, szVendorName, 1, CKSLWCharString::ssmOccur) ||
            !szLocation.replace(kProductPlaceholder, szProductName, 1, CKSLWCharString::ssmOccur))
            return false;
        if (szKeyPath.getLength() != 0) {
            if (szKeyPath.getString()[0] != L'\\')
                szLocation += L'\\';
            szLocation += szKeyPath;
        }
        applyNameValue(szNameValue, szLocation);
        return true;
    });
}

bool splitNameValue(const CKSLWCharString& szText, CKSLWCharString& szName, CKSLWCharString& szValue)
{
    const wchar_t* wcsText = szText.getString();
    const wchar_t* wcsFirst = std::wcschr(wcsText, L'=');
    if (wcsFirst == nullptr)
        return false;
    const unsigned long ulLength = szText.getLength();
    const unsigned long ulNameLength = static_cast<unsigned long>(wcsFirst - wcsText);
    const unsigned long ulValueStart = static_cast<unsigned long>(std::wcsrchr(wcsText, L'=') - wcsText) + 1;
    if (ulNameLength == 0 || ulValueStart >= ulLength)
        return false;
    szName = szText.withoutLast(ulLength - ulNameLength);
    szValue = szText.withoutFirst(ulValueStart);
    return szName.getLength() != 0 && szValue.getLength() != 0;
}

CKSLWCharString valueNameFrom(const CKSLPolicyNameValueList& nameValues, const CKSLWCharString& szOwnName)
{
    for (const CKSLNode<CKSLWCharString>* pNode = nameValues.getFirstNode(); pNode != nullptr;
         pNode = pNode->getNext()) {
        CKSLWCharString szName;
        CKSLWCharString szValue;
        if (splitNameValue(pNode->getPayload(), szName, szValue) && szName == s_wcsValueNamePlaceholder)
            return szValue;
    }
    return szOwnName;
}

bool isDwordData(DWORD dwType, DWORD dwBytes)
{
    // Binary data of one to four bytes reads into the low bytes, as the DWORD value class reads it.
    return (dwType == REG_DWORD && dwBytes == sizeof(DWORD)) ||
           (dwType == REG_BINARY && dwBytes >= 1 && dwBytes <= sizeof(DWORD));
}

bool isStringData(DWORD dwType)
{
    return dwType == REG_SZ || dwType == REG_EXPAND_SZ;
}

void logUnsupportedSource(const wchar_t* wcsClassName, const wchar_t* wcsMethodName, const wchar_t* wcsFile,
                          int nLine)
{
    CKSLLogException1 record(KSL_LOG_EXCEPTION_BAD, L"Policy source is not supported.", 0, KSL_RESULT_ERROR_CODE,
                             wcsClassName, wcsMethodName, wcsFile, nLine, true, false);
}

} // namespace ksl_policy
