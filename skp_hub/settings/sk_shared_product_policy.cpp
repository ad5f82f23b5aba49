#include "sk_shared_product_policy.h"

#include "sk_slim_lock.h"

namespace {
CSKProductPolicy* g_pShared = nullptr;
SRWLOCK g_policyLock = SRWLOCK_INIT;
} // namespace

void SKShareProductPolicy(CSKProductPolicy* pPolicy)
{
    g_pShared = pPolicy;
}

CSKSharedProductPolicy::CSKSharedProductPolicy()
{
    if (g_pShared == nullptr)
        m_own.reset(new CSKProductPolicy());
}

CSKSharedProductPolicy::~CSKSharedProductPolicy() = default;

template <class Lookup>
auto CSKSharedProductPolicy::withPolicy(Lookup lookup) -> decltype(lookup(*static_cast<CSKProductPolicy*>(nullptr)))
{
    if (m_own)
        return lookup(*m_own);
    CSKExclusiveLock lock(g_policyLock);
    return lookup(*g_pShared);
}

bool CSKSharedProductPolicy::getDwordSetting(int32_t nID, uint32_t& ulValue)
{
    return withPolicy([&](CSKProductPolicy& policy) { return policy.getDwordSetting(nID, ulValue); });
}

int32_t CSKSharedProductPolicy::getBackupLocations()
{
    return withPolicy([](CSKProductPolicy& policy) { return policy.getBackupLocations(); });
}
