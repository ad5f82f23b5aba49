#include "sk_module_objects.h"

#include <windows.h>

#include <new>

#include "sk_product_policy.h"
#include "sk_slim_lock.h"
#include "sk_startup_probes.h"
#include "sk_zdr_policy.h"

namespace {

INIT_ONCE g_buildOnce = INIT_ONCE_STATIC_INIT;
SKModuleObjects* g_pModuleObjects = nullptr;
SRWLOCK g_policyLock = SRWLOCK_INIT;

// The start-up probes own no memory but their library references, so they live in static
// storage and are never destroyed: at unload their libraries stay loaded.
alignas(CSKStartupProbes) unsigned char g_probesStorage[sizeof(CSKStartupProbes)];

BOOL CALLBACK buildModuleObjects(PINIT_ONCE, PVOID, PVOID*)
{
    try {
        g_pModuleObjects = new SKModuleObjects();
        return TRUE;
    } catch (...) {
        return FALSE; // left unbuilt: a later call tries again
    }
}

} // namespace

SKModuleObjects::SKModuleObjects() : pProductPolicy(nullptr), pStartupProbes(nullptr), pZdrPolicy(nullptr)
{
    // Built in this order; a failure part-way releases what was built (the probes keep their
    // libraries, as at unload).
    std::unique_ptr<CSKProductPolicy> productPolicy(new CSKProductPolicy());
    CSKStartupProbes* pProbes = new (g_probesStorage) CSKStartupProbes();
    std::unique_ptr<CSKZdrPolicy> zdrPolicy(new CSKZdrPolicy(L"Safekeep"));
    pProductPolicy = productPolicy.release();
    pStartupProbes = pProbes;
    pZdrPolicy = zdrPolicy.release();
}

SKModuleObjects::~SKModuleObjects()
{
    delete pZdrPolicy;
    delete pProductPolicy;
}

void SKEnsureModuleObjects()
{
    InitOnceExecuteOnce(&g_buildOnce, buildModuleObjects, nullptr, nullptr);
}

void SKReleaseModuleObjects()
{
    delete g_pModuleObjects;
    g_pModuleObjects = nullptr;
    InitOnceInitialize(&g_buildOnce);
}

const SKModuleObjects* SKGetModuleObjects()
{
    return g_pModuleObjects;
}

CSKSharedProductPolicy::CSKSharedProductPolicy()
{
    if (g_pModuleObjects == nullptr)
        m_own.reset(new CSKProductPolicy());
}

CSKSharedProductPolicy::~CSKSharedProductPolicy() = default;

template <class Lookup>
auto CSKSharedProductPolicy::withPolicy(Lookup lookup) -> decltype(lookup(*static_cast<CSKProductPolicy*>(nullptr)))
{
    if (m_own)
        return lookup(*m_own);
    CSKExclusiveLock lock(g_policyLock);
    return lookup(*g_pModuleObjects->pProductPolicy);
}

bool CSKSharedProductPolicy::getDwordSetting(int32_t nID, uint32_t& ulValue)
{
    return withPolicy([&](CSKProductPolicy& policy) { return policy.getDwordSetting(nID, ulValue); });
}

int32_t CSKSharedProductPolicy::getBackupLocations()
{
    return withPolicy([](CSKProductPolicy& policy) { return policy.getBackupLocations(); });
}
