#include "sk_startup_probes.h"

// loadFunctions makes the pre-installation check itself and then loads nothing.
CSKStartupProbes::CSKStartupProbes() : m_dllFuncs(), m_nLoadResult(m_dllFuncs.loadFunctions()), m_driveTable() {}
