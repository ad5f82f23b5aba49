#include "sk_catalog.h"

#include <windows.h>

#include "ksl_format.h"
#include "sk_copy.h"
#include "sk_function_ids.h"
#include "sk_install_path.h"
#include "sk_record_field.h"
#include "sk_resource.h"
#include "sk_trace.h"

namespace {

const wchar_t kProductKey[] = L"SOFTWARE\\Tessil\\Safekeep";
const wchar_t kGuiProgram[] = L"skp_gui.exe";
const size_t kNameChars = sizeof(LP_FUNCTION_INFO::szName) / sizeof(LP_WCHAR);
const size_t kEventChars = sizeof(LP_FUNCTION_INFO::szEventForStatusChange) / sizeof(LP_WCHAR);
const size_t kExecChars = sizeof(LP_FUNCTION_INFO::szExecInterface) / sizeof(LP_WCHAR);

enum class CSKExecSource { QuickLink, InstallFolder };

// One catalogue entry: what the launcher lists for a function id.
struct CSKCatalogEntry {
    const int32_t* pSlot;          // the function-identifier slot it answers
    int32_t nCatalogId;
    int32_t bStatusAvailable;
    UINT uNameString;              // resource string of the display name
    const wchar_t* wcsEvent;       // status event, or empty
    int32_t nExecType;
    CSKExecSource execSource;
    const wchar_t* wcsExecText;  // the export (quick links), or a format with the install path
    const wchar_t* wcsCategoryTrace; // traced before filling (category entries only)
    const wchar_t* wcsCatalogTrace;  // traced with nCatalogId after filling, or null
};

// In the order the ids are matched.
const CSKCatalogEntry kEntries[] = {
    {&SKP_QUICK_BackUpNow, 51100, 1, 560, L"BackupStatusEvent", LP_EXEC_LIBRARY_EXPORT, CSKExecSource::QuickLink,
     L"LP_BackupNow", nullptr, L"LP_BACKUP_QUICKLINK, catalog id = %d "},
    {&LP_QUICK_Rejuvenate, 11500, 0, 593, L"RejuvenateStatusEvent", LP_EXEC_LIBRARY_EXPORT,
     CSKExecSource::QuickLink, L"LP_Rejuvenate", nullptr,
     L"LP_QUICK_Rejuvenate, catalog id = %d "},
    {&SKP_RC_DataProtectAndRecovery_Backup, 50100, 0, 561, L"", LP_EXEC_COMMAND_LINE, CSKExecSource::InstallFolder,
     L"%s\\%s /hub", L"SKP_RC_DataProtectAndRecovery_Backup ",
     L"SKP_RC_DataProtectAndRecovery_Backup, catalog id = %d "},
    {&SKP_RC_DataProtectAndRecovery_Restore, 50300, 0, 565, L"", LP_EXEC_COMMAND_LINE, CSKExecSource::InstallFolder,
     L"%s\\RestoreNow.exe", L"SKP_RC_DataProtectAndRecovery_Restore", nullptr},
    {&SKP_RC_Maintenance_Rejuvenate, 10800, 0, 593, L"", LP_EXEC_COMMAND_LINE, CSKExecSource::InstallFolder,
     L"%s\\rejuvenate_gui.exe", L" REJUVENATE RESOURCE LINK", L"SKP_RC_Maintenance_Rejuvenate, catalog id = %d "},
    {&SKP_RC_Brightwell_SKP, 60800, 0, 380, L"", LP_EXEC_COMMAND_LINE, CSKExecSource::InstallFolder, L"%s\\%s",
     L" Brightwell Safekeep", L"SKP_RC_Brightwell_SKP, catalog id = %d "},
};

const CSKCatalogEntry* findEntry(int32_t nFunctionId)
{
    for (const CSKCatalogEntry& entry : kEntries)
        if (*entry.pSlot == nFunctionId)
            return &entry;
    return nullptr;
}

// "<ProgramFiles>\Tessil\skp_hub.dll, <export>"; false when ProgramFiles is unset, empty, or too
// long for the field, where the text would name a library relative to the drive's root or a cut
// path.
bool formatInstalledLibrary(const wchar_t* wcsExport, wchar_t (&wcsExec)[kExecChars])
{
    wchar_t programFiles[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return false;
    wchar_t wcsWork[2 * kExecChars];
    const int nChars =
        kslFormat(wcsWork, 2 * kExecChars, L"%s\\%s\\skp_hub.dll, %s", programFiles, L"Tessil", wcsExport);
    return static_cast<size_t>(nChars) < kExecChars && SK_tcscpy(wcsExec, sizeof wcsExec, wcsWork) == S_OK;
}

// "<this library's own full path>, <export>"; empty when that path cannot be had whole.
void formatOwnLibrary(HMODULE hLibrary, const wchar_t* wcsExport, wchar_t (&wcsExec)[kExecChars])
{
    wchar_t wcsOwnPath[MAX_PATH];
    const DWORD n = GetModuleFileNameW(hLibrary, wcsOwnPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        wcsExec[0] = L'\0';
    else
        kslFormat(wcsExec, kExecChars, L"%s, %s", wcsOwnPath, wcsExport);
}

// The quick links point back at this library in the "Tessil" folder under ProgramFiles (or, when
// that folder cannot be named, at this library where it was loaded from); the category entries
// start the product's programs from its install folder.
void formatExecInterface(const CSKCatalogEntry& entry, HMODULE hLibrary, wchar_t (&wcsExec)[kExecChars])
{
    if (entry.execSource == CSKExecSource::QuickLink) {
        if (!formatInstalledLibrary(entry.wcsExecText, wcsExec))
            formatOwnLibrary(hLibrary, entry.wcsExecText, wcsExec);
        return;
    }
    const wchar_t* installPath = getInstallPath(kProductKey, L"InstallPath");
    kslFormat(wcsExec, kExecChars, entry.wcsExecText, installPath, kGuiProgram);
}

void fillEntry(const CSKCatalogEntry& entry, HMODULE hLibrary, LP_FUNCTION_INFO& info)
{
    info.nCatalogId = entry.nCatalogId;
    info.bStatusAvailable = entry.bStatusAvailable;
    kslFormat(field(info.szName), kNameChars, L"%s", SKLoadText(entry.uNameString).c_str());
    SK_tcscpy(field(info.szEventForStatusChange), sizeof info.szEventForStatusChange, entry.wcsEvent);
    info.nExecType = entry.nExecType;
    wchar_t wcsExec[kExecChars] = {};
    formatExecInterface(entry, hLibrary, wcsExec);
    SK_tcscpy(field(info.szExecInterface), sizeof info.szExecInterface, wcsExec);
}

} // namespace

int32_t SKFillCatalogEntry(LP_FUNCTION_INFO& info, HMODULE hLibrary)
{
    const CSKCatalogEntry* pEntry = findEntry(info.nFunctionId);
    if (!pEntry) {
        // The request carries no category; 0 stands in for it.
        SKTrace(SK_TRACE_HUB, L"Function ID = %d, category = %d", info.nFunctionId, 0);
        return LP_ERR_BAD_ARG;
    }
    if (pEntry->wcsCategoryTrace)
        SKTrace(SK_TRACE_HUB, L"%s", pEntry->wcsCategoryTrace);
    fillEntry(*pEntry, hLibrary, info);
    if (pEntry->wcsCatalogTrace)
        SKTrace(SK_TRACE_HUB, pEntry->wcsCatalogTrace, info.nCatalogId);
    SKTrace(SK_TRACE_HUB, L"szEventForStatusChange = %s", field(info.szEventForStatusChange));
    SKTrace(SK_TRACE_HUB, L"szExecInterface = %s", field(info.szExecInterface));
    return LP_OK;
}
