#include "ksl_product_policy.h"

#include "ksl_catch.h"
#include "ksl_format.h"
#include "ksl_logging.h"
#include "ksl_method_trace.h"

namespace {
const wchar_t kClass[] = L"CKSLProductPolicy";

// The warning of a lookup by an ID that no setting of the asked form has (logged, not thrown).
void logUnknownID(long lID, const wchar_t* wcsFile, int nLine)
{
    wchar_t wcsMessage[64];
    kslFormat(wcsMessage, L"Could not find policy setting with ID ( %d )", static_cast<int>(lID));
    CKSLLogWarning warning(KSL_LOG_WARNING, wcsMessage, 0, KSL_RESULT_ERROR_CODE, kClass, L"getPolicySetting",
                           wcsFile, nLine, true, false);
}
} // namespace

CKSLProductPolicy::CKSLProductPolicy(const CKSLPolicySearchPolicy& searchPolicy) : m_searchPolicy(searchPolicy)
{
    CKSLMethodTrace trace(kClass, kClass, KSL_HERE);
}

CKSLProductPolicy::~CKSLProductPolicy()
{
    CKSLMethodTrace trace(kClass, L"~CKSLProductPolicy", KSL_HERE);
    m_dwordSettings.clear();
    m_stringSettings.clear();
}

bool CKSLProductPolicy::addPolicySetting(const CKSLPolicyDwordSetting& setting)
{
    CKSLMethodTrace trace(kClass, L"addPolicySetting", KSL_HERE);
    return trace.boolean(m_dwordSettings.add(setting, setting.getID()));
}

bool CKSLProductPolicy::addPolicySetting(const CKSLPolicyStringSetting& setting)
{
    CKSLMethodTrace trace(kClass, L"addPolicySetting", KSL_HERE);
    return trace.boolean(m_stringSettings.add(setting, setting.getID()));
}

template <class TSetting, class TList>
bool CKSLProductPolicy::findSetting(TList& settings, long lID, TSetting& setting, const wchar_t* wcsFile, int nLine)
{
    return kslCatchTraced(false, wcsFile, nLine, [&] {
        if (!settings.findKey(lID)) {
            logUnknownID(lID, wcsFile, nLine);
            return false;
        }
        return settings.getCurrent(setting);
    });
}

bool CKSLProductPolicy::getPolicySetting(long lID, CKSLPolicyDwordSetting& setting)
{
    CKSLMethodTrace trace(kClass, L"getPolicySetting", KSL_HERE);
    return trace.boolean(findSetting(m_dwordSettings, lID, setting, KSL_HERE));
}

bool CKSLProductPolicy::getPolicySetting(long lID, CKSLPolicyStringSetting& setting)
{
    CKSLMethodTrace trace(kClass, L"getPolicySetting", KSL_HERE);
    return trace.boolean(findSetting(m_stringSettings, lID, setting, KSL_HERE));
}

template <class TSetting, class TValue>
bool CKSLProductPolicy::lookUp(long lID, TValue& value, bool bNoDefault, const CKSLWCharString& szNameValue)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        TSetting setting;
        if (!getPolicySetting(lID, setting))
            return false;
        // A copy read with the held value unused: every lookup asks the registry afresh.
        const unsigned long ulCount = m_searchPolicy.getCount();
        for (unsigned long i = 0; i < ulCount; ++i) {
            if (setting.getPolicy(m_searchPolicy.getPolicyLocation(i), value, false, szNameValue))
                return true;
        }
        if (bNoDefault)
            return false;
        value = setting.getDefault();
        return true;
    });
}

bool CKSLProductPolicy::getPolicy(long lID, unsigned long& ulValue, bool bNoDefault,
                                  const CKSLWCharString& szNameValue)
{
    CKSLMethodTrace trace(kClass, L"getPolicy", KSL_HERE);
    return trace.boolean(lookUp<CKSLPolicyDwordSetting>(lID, ulValue, bNoDefault, szNameValue));
}

bool CKSLProductPolicy::getPolicy(long lID, CKSLWCharString& szValue, bool bNoDefault,
                                  const CKSLWCharString& szNameValue)
{
    CKSLMethodTrace trace(kClass, L"getPolicy", KSL_HERE);
    return trace.boolean(lookUp<CKSLPolicyStringSetting>(lID, szValue, bNoDefault, szNameValue));
}

template <class TSetting, class TValue>
bool CKSLProductPolicy::inspect(long lID, CKSLPolicyInspection<TValue>& inspection, const CKSLWCharString& szNameValue)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        TSetting setting;
        if (!getPolicySetting(lID, setting))
            return false;
        inspection.findings.clear();
        inspection.lWinner = -1;
        inspection.value = setting.getDefault();
        const unsigned long ulCount = m_searchPolicy.getCount();
        for (unsigned long i = 0; i < ulCount; ++i) {
            // A location that cannot be inspected (a source other than the registry) holds nothing.
            CKSLPolicyFinding<TValue> finding;
            setting.inspectPolicy(m_searchPolicy.getPolicyLocation(i), finding, szNameValue);
            if (finding.state == pfsFound && inspection.lWinner < 0) {
                inspection.lWinner = static_cast<long>(i);
                inspection.value = finding.value;
            }
            if (!inspection.findings.add(finding))
                return false;
        }
        return true;
    });
}

bool CKSLProductPolicy::inspectPolicy(long lID, CKSLPolicyInspection<unsigned long>& inspection,
                                      const CKSLWCharString& szNameValue)
{
    CKSLMethodTrace trace(kClass, L"inspectPolicy", KSL_HERE);
    return trace.boolean(inspect<CKSLPolicyDwordSetting>(lID, inspection, szNameValue));
}

bool CKSLProductPolicy::inspectPolicy(long lID, CKSLPolicyInspection<CKSLWCharString>& inspection,
                                      const CKSLWCharString& szNameValue)
{
    CKSLMethodTrace trace(kClass, L"inspectPolicy", KSL_HERE);
    return trace.boolean(inspect<CKSLPolicyStringSetting>(lID, inspection, szNameValue));
}

template <class TList>
bool CKSLProductPolicy::collectIDs(const TList& settings, CKSLPolicyIDList& ids)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        ids.clear();
        for (auto pNode = settings.getFirstNode(); pNode != nullptr; pNode = pNode->getNext()) {
            const long lID = pNode->getPayload().getID();
            if (!ids.add(lID, lID))
                return false;
        }
        return true;
    });
}

bool CKSLProductPolicy::getDwordSettingIDs(CKSLPolicyIDList& ids) const
{
    CKSLMethodTrace trace(kClass, L"getDwordSettingIDs", KSL_HERE);
    return trace.boolean(collectIDs(m_dwordSettings, ids));
}

bool CKSLProductPolicy::getStringSettingIDs(CKSLPolicyIDList& ids) const
{
    CKSLMethodTrace trace(kClass, L"getStringSettingIDs", KSL_HERE);
    return trace.boolean(collectIDs(m_stringSettings, ids));
}
