// The machine the export benchmarks run on (inside their scratch registry): the product
// installed in a folder without its programs (the actions do their set-up and start nothing), a
// backup to this computer recorded, and the stand-in resource library beside hubhost.exe.
#pragma once

#include <windows.h>

#include <string>

#include "scratch_registry.h"
#include "test_paths.h"

inline void setUpInstalledProduct()
{
    const std::wstring product = L"Software\\Tessil\\Safekeep";
    setRegString(HKEY_LOCAL_MACHINE, product, L"Version", L"4.0.12.3");
    setRegString(HKEY_LOCAL_MACHINE, product, L"InstallPath", L"C:\\SafekeepBenchMissing");
    setRegDword(HKEY_LOCAL_MACHINE, product + L"\\Settings\\Usage", L"LastBackupTimeHigh", 0x01dd8687);
    setRegDword(HKEY_LOCAL_MACHINE, product + L"\\Settings\\Usage", L"LastBackupTimeLow", 0x27f41f00);
    setRegDword(HKEY_LOCAL_MACHINE, product + L"\\Settings\\Backup", L"BackupLocal", 1);
    SetEnvironmentVariableW(L"KSLCOMMON", testBinDir().substr(0, testBinDir().size() - 1).c_str());
}
