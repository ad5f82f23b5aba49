// CKSLProductPolicy: the settings of one product, collected under their IDs, and the search order
// along which each is looked up. A caller asks for a value by the setting's ID:
//
//     CKSLPolicyADSearchPolicy order;
//     CKSLProductPolicy policy(order);
//     policy.addPolicySetting(CKSLPolicyDwordSetting(product, 133, KSL_POLICY_SOURCE_REGISTRY, L"4.0",
//                                                    L"BackupCount", L"Settings\\Usage", 0));
//     unsigned long ulCount = 0;
//     policy.getPolicy(133, ulCount, false);   // first readable location, else the default
//
// The policy owns copies of its search order and settings. Every lookup reads the registry
// afresh. Nothing is thrown to the caller.
#pragma once

#include "ksl_dbllist.h"
#include "ksl_policy_dword_setting.h"
#include "ksl_policy_search_policy.h"
#include "ksl_policy_string_setting.h"

// Every location of the search order as one lookup saw it: what each holds, which one gives the
// value, and the value in force.
template <class T>
struct CKSLPolicyInspection {
    CKSLDblList<CKSLObjNode<CKSLPolicyFinding<T>>> findings; // in search order
    long lWinner = -1; // index of the finding whose value is in force; -1: the default applies
    T value = T();     // the value in force (the default when no location has one)
};

typedef CKSLDblList<CKSLStdNode<long>> CKSLPolicyIDList;

class CKSLProductPolicy {
public:
    explicit CKSLProductPolicy(const CKSLPolicySearchPolicy& searchPolicy);
    ~CKSLProductPolicy();
    CKSLProductPolicy(const CKSLProductPolicy&) = delete;
    CKSLProductPolicy& operator=(const CKSLProductPolicy&) = delete;

    // Append a copy keyed by the setting's ID. A duplicate ID is kept, but lookups find the
    // first setting with the ID.
    bool addPolicySetting(const CKSLPolicyDwordSetting& setting);
    bool addPolicySetting(const CKSLPolicyStringSetting& setting);

    // A copy of the setting with the ID, looked for among the settings of that form only; an
    // unknown ID is a warning record and false.
    bool getPolicySetting(long lID, CKSLPolicyDwordSetting& setting);
    bool getPolicySetting(long lID, CKSLPolicyStringSetting& setting);

    // The value of the setting with the ID from the first location of the search order that
    // holds it; else its default, or false (value unchanged) when bNoDefault is set. An unknown
    // ID leaves the value unchanged and answers false.
    bool getPolicy(long lID, unsigned long& ulValue, bool bNoDefault,
                   const CKSLWCharString& szNameValue = CKSLWCharString());
    bool getPolicy(long lID, CKSLWCharString& szValue, bool bNoDefault,
                   const CKSLWCharString& szNameValue = CKSLWCharString());

    // Every location of the search order read, not only up to the first that holds the value:
    // the value in force is the one getPolicy (without bNoDefault) answers, and the findings show
    // what it shadows and what cannot be used. An unknown ID is the warning record and false.
    bool inspectPolicy(long lID, CKSLPolicyInspection<unsigned long>& inspection,
                       const CKSLWCharString& szNameValue = CKSLWCharString());
    bool inspectPolicy(long lID, CKSLPolicyInspection<CKSLWCharString>& inspection,
                       const CKSLWCharString& szNameValue = CKSLWCharString());

    // The IDs of the settings of each form, in the order they were added.
    bool getDwordSettingIDs(CKSLPolicyIDList& ids) const;
    bool getStringSettingIDs(CKSLPolicyIDList& ids) const;

    const CKSLPolicySearchPolicy& getSearchPolicy() const { return m_searchPolicy; }

private:
    template <class TSetting, class TList>
    bool findSetting(TList& settings, long lID, TSetting& setting, const wchar_t* wcsFile, int nLine);
    template <class TSetting, class TValue>
    bool lookUp(long lID, TValue& value, bool bNoDefault, const CKSLWCharString& szNameValue);
    template <class TSetting, class TValue>
    bool inspect(long lID, CKSLPolicyInspection<TValue>& inspection, const CKSLWCharString& szNameValue);
    template <class TList>
    static bool collectIDs(const TList& settings, CKSLPolicyIDList& ids);

    CKSLPolicySearchPolicy m_searchPolicy;
    CKSLDblList<CKSLPtrNode<CKSLPolicyDwordSetting>> m_dwordSettings;
    CKSLDblList<CKSLPtrNode<CKSLPolicyStringSetting>> m_stringSettings;
};
