// The plug-in's module-wide objects: Safekeep's product policy, the start-up probes (optional
// system functions, drive table) and the network-drive settings of the client "Safekeep".
//
// They are built at the first call of any export rather than while the loader runs the library's
// entry point: building them loads other libraries, which must not happen under the loader lock.
// They are released in reverse order when the library is unloaded.
#pragma once

class CSKProductPolicy;
class CSKStartupProbes;
class CSKZdrPolicy;

struct SKModuleObjects;

// Builds the objects once per load; later calls do nothing.
void SKEnsureModuleObjects();
// Releases them (reverse order); the next SKEnsureModuleObjects builds them again.
void SKReleaseModuleObjects();
// The objects, or null before the first export call.
const SKModuleObjects* SKGetModuleObjects();

struct SKModuleObjects {
    SKModuleObjects();
    ~SKModuleObjects();
    SKModuleObjects(const SKModuleObjects&) = delete;
    SKModuleObjects& operator=(const SKModuleObjects&) = delete;

    CSKProductPolicy* pProductPolicy;
    CSKStartupProbes* pStartupProbes;
    CSKZdrPolicy* pZdrPolicy;
};
