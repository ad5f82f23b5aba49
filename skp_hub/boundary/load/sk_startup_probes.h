// The start-up probes of the plug-in: the optional system functions and the drive table, built
// in this order with the module-wide objects (sk_module_objects) and never destroyed: the system
// libraries they load stay loaded until the process ends.
#pragma once

#include "sk_dll_funcs.h"
#include "sk_drive_table.h"

class CSKStartupProbes {
public:
    // Loads the optional system functions (outside the pre-installation environment only), then
    // builds the drive table.
    CSKStartupProbes();
    CSKStartupProbes(const CSKStartupProbes&) = delete;
    CSKStartupProbes& operator=(const CSKStartupProbes&) = delete;

    const CSKDllFuncs& dllFuncs() const { return m_dllFuncs; }
    const CSKDriveTable& driveTable() const { return m_driveTable; }
    // What loadFunctions answered: 1 in the pre-installation environment, else 0.
    int loadResult() const { return m_nLoadResult; }

private:
    // Members are built in this order: the functions are loaded before the drive table probes.
    CSKDllFuncs m_dllFuncs;
    int m_nLoadResult;
    CSKDriveTable m_driveTable;
};
