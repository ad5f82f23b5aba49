#include "sk_product_policy.h"

#include "ksl_policy_ad_search_policy.h"
#include "ksl_product_skp.h"
#include "sk_settings_table.h"

namespace {

// The product policy's search order: machine policy, user policy, policy "User Defaults", then
// the product's own machine, user and "User Defaults" branches.
CKSLPolicyADSearchPolicy searchOrder()
{
    return CKSLPolicyADSearchPolicy();
}

void addDwordSettings(CKSLProductPolicy& policy)
{
    for (const SKDwordSettingRecord* p = SK_DWORD_SETTINGS; p->nID != SK_SETTINGS_END; ++p) {
        const CKSLProduct_SKP product;
        const CKSLPolicyDwordSetting setting(product, p->nID, static_cast<long>(p->ulPolicySource), p->wcsVersion,
                                             p->wcsValueName, p->wcsKeyPath, p->ulDefault);
        policy.addPolicySetting(setting);
    }
}

// Every product string setting is read as a plain string, whatever the table's expand column says.
void addStringSettings(CKSLProductPolicy& policy)
{
    for (const SKStringSettingRecord* p = SK_STRING_SETTINGS; p->nID != SK_SETTINGS_END; ++p) {
        const CKSLProduct_SKP product;
        const CKSLPolicyStringSetting setting(product, p->nID, static_cast<long>(p->ulPolicySource), p->wcsVersion,
                                              p->wcsValueName, p->wcsKeyPath, p->wcsDefault, false);
        policy.addPolicySetting(setting);
    }
}

} // namespace

CSKProductPolicy::CSKProductPolicy() : CKSLProductPolicy(searchOrder())
{
    addDwordSettings(*this);
    addStringSettings(*this);
}

bool CSKProductPolicy::getDwordSetting(int32_t nID, uint32_t& ulValue)
{
    unsigned long ulFound = 0;
    if (!getPolicy(nID, ulFound, false))
        return false;
    ulValue = static_cast<uint32_t>(ulFound);
    return true;
}

int32_t CSKProductPolicy::getBackupLocations()
{
    struct Destination {
        int32_t nID;
        int32_t nFlag;
    };
    static const Destination kDestinations[] = {
        {63, SK_BACKUP_LOCAL}, {64, SK_BACKUP_SECOND_DISK}, {65, SK_BACKUP_USB}, {66, SK_BACKUP_NETWORK}};
    int32_t nFlags = 0;
    for (const Destination& d : kDestinations) {
        uint32_t ulValue = 0;
        if (getDwordSetting(d.nID, ulValue) && ulValue != 0)
            nFlags |= d.nFlag;
    }
    return nFlags;
}
