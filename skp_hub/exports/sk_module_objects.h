// The plug-in's module-wide objects: Safekeep's product policy (shared by the status and action
// calls, sk_shared_product_policy.h), the start-up probes (optional system functions, drive table)
// and the network-drive settings of the client "Safekeep".
//
// They are built at the first catalogue, status or action call rather than while the loader runs
// the library's entry point (building them loads other libraries, which must not happen under
// the loader lock), exactly once even when several threads make their first call at the same
// moment. The capability query never builds them.
#pragma once

// Builds the objects once per load; later calls do nothing. After a failed build (memory) a
// later call tries again.
void SKEnsureModuleObjects();
// At unload, under the loader lock: releases the memory of the policies and nothing else. The
// start-up probes are never destroyed: their system libraries stay loaded (they stay mapped in the
// process anyway; freeing a library under the loader lock is what must not happen). Call inside a
// silent CSKCallScope, so that the policies' destructors neither read the registry nor write a
// log record.
void SKReleaseModuleObjects();
