#include "sk_module_objects.h"

#include <windows.h>

#include <memory>
#include <new>

#include "sk_product_policy.h"
#include "sk_shared_product_policy.h"
#include "sk_startup_probes.h"
#include "sk_zdr_policy.h"

namespace {

// Built in this order, released in reverse; a failure part-way releases what was built.
struct SKModuleObjects {
    std::unique_ptr<CSKProductPolicy> productPolicy{new CSKProductPolicy()};
    CSKStartupProbes* pStartupProbes = nullptr; // in g_probesStorage, never destroyed
    std::unique_ptr<CSKZdrPolicy> zdrPolicy;
};

INIT_ONCE g_buildOnce = INIT_ONCE_STATIC_INIT;
SKModuleObjects* g_pModuleObjects = nullptr;

// The start-up probes own no memory but their library references, so they live in static
// storage and are never destroyed: at unload their libraries stay loaded.
alignas(CSKStartupProbes) unsigned char g_probesStorage[sizeof(CSKStartupProbes)];

BOOL CALLBACK buildModuleObjects(PINIT_ONCE, PVOID, PVOID*)
{
    try {
        std::unique_ptr<SKModuleObjects> objects(new SKModuleObjects());
        objects->pStartupProbes = new (g_probesStorage) CSKStartupProbes();
        objects->zdrPolicy.reset(new CSKZdrPolicy(L"Safekeep"));
        g_pModuleObjects = objects.release();
        SKShareProductPolicy(g_pModuleObjects->productPolicy.get());
        return TRUE;
    } catch (...) {
        return FALSE; // left unbuilt: a later call tries again
    }
}

} // namespace

void SKEnsureModuleObjects()
{
    InitOnceExecuteOnce(&g_buildOnce, buildModuleObjects, nullptr, nullptr);
}

void SKReleaseModuleObjects()
{
    SKShareProductPolicy(nullptr);
    if (g_pModuleObjects != nullptr) {
        g_pModuleObjects->zdrPolicy.reset();
        g_pModuleObjects->productPolicy.reset();
    }
    delete g_pModuleObjects;
    g_pModuleObjects = nullptr;
    InitOnceInitialize(&g_buildOnce);
}
