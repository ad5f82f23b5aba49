// What a policy lookup costs: one DWORD setting found in the first, in the last, or in none of
// the six locations, through the product policy. Prints figures; asserts nothing.
#include <windows.h>

#include <cstdio>

#include "ksl_policy_ad_search_policy.h"
#include "ksl_product_policy.h"
#include "scratch_registry.h"

namespace {

const long kID = 133;
const int kRounds = 200;
const wchar_t kFirst[] = L"Software\\Policies\\Tessil\\Safekeep\\Settings\\Usage";
const wchar_t kLast[] = L"Software\\Tessil\\Safekeep\\User Defaults\\Settings\\Usage";

double microsecondsPerLookup(CKSLProductPolicy& policy)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    unsigned long ulValue = 0;
    for (int i = 0; i < kRounds; ++i)
        policy.getPolicy(kID, ulValue, false);
    QueryPerformanceCounter(&end);
    return 1e6 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart) /
           kRounds;
}

} // namespace

int main()
{
    ScratchRegistry scratch;
    CKSLPolicyADSearchPolicy order;
    CKSLProductPolicy policy(order);
    policy.addPolicySetting(CKSLPolicyDwordSetting(L"Tessil", L"Safekeep", kID, KSL_POLICY_SOURCE_REGISTRY, L"4.0",
                                                   L"BackupCount", L"Settings\\Usage", 0));

    std::printf("policy lookup, %d rounds each\n", kRounds);
    std::printf("  default (no location): %8.1f us\n", microsecondsPerLookup(policy));
    setRegDword(HKEY_LOCAL_MACHINE, kLast, L"BackupCount", 1);
    std::printf("  last location only:    %8.1f us\n", microsecondsPerLookup(policy));
    setRegDword(HKEY_LOCAL_MACHINE, kFirst, L"BackupCount", 1);
    std::printf("  first location:        %8.1f us\n", microsecondsPerLookup(policy));
    return 0;
}
