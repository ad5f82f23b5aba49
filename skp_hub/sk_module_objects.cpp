#include "sk_module_objects.h"

#include <memory>

#include "sk_product_policy.h"
#include "sk_startup_probes.h"
#include "sk_zdr_policy.h"

namespace {
SKModuleObjects* g_pModuleObjects = nullptr;
} // namespace

SKModuleObjects::SKModuleObjects() : pProductPolicy(nullptr), pStartupProbes(nullptr), pZdrPolicy(nullptr)
{
    // Built in this order; a failure part-way releases what was built.
    std::unique_ptr<CSKProductPolicy> productPolicy(new CSKProductPolicy());
    std::unique_ptr<CSKStartupProbes> startupProbes(new CSKStartupProbes());
    std::unique_ptr<CSKZdrPolicy> zdrPolicy(new CSKZdrPolicy(L"Safekeep"));
    pProductPolicy = productPolicy.release();
    pStartupProbes = startupProbes.release();
    pZdrPolicy = zdrPolicy.release();
}

SKModuleObjects::~SKModuleObjects()
{
    delete pZdrPolicy;
    delete pStartupProbes;
    delete pProductPolicy;
}

void SKEnsureModuleObjects()
{
    if (g_pModuleObjects)
        return;
    try {
        g_pModuleObjects = new SKModuleObjects();
    } catch (...) {
        // Nothing of this system reads them; a later call tries again.
        g_pModuleObjects = nullptr;
    }
}

void SKReleaseModuleObjects()
{
    delete g_pModuleObjects;
    g_pModuleObjects = nullptr;
}

const SKModuleObjects* SKGetModuleObjects()
{
    return g_pModuleObjects;
}
