// The first catalogue or status query and what it leaves for the life of the library: the two
// status events, and the answer whether the product is installed (the function identifiers of
// sk_function_ids.h assigned when it is). Made exactly once, also when several threads make their
// first query at the same moment.
#pragma once

#include <cstdint>

// 1 when the product is installed in any version, else 0; traces the version found.
int32_t probeInstallation();
// The one-time initialisation: the status events are made (each once; one that could not be made
// is tried again at the next query) and the installation is probed at the first query only. True
// when the product counts as installed.
bool ensureInitialized();
// At unload, when no call runs any more: closes the two event handles (the events live on while
// others hold them).
void closeStatusEvents();
