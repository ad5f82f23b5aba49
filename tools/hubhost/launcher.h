// What a launcher does with the plug-in, as hubhost does it: load it, read its catalogue and
// status records, start an entry the way its exec interface says, and watch the status events.
// Everything runs on the calling thread: the plug-in is called from one thread at a time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ksl_scoped_handle.h"
#include "skp_hub.h"

// The function ids a launcher asks about, in the order it lists them.
extern const int32_t kHubFunctionIds[6];

// The plug-in and its five exports, looked up by name.
struct CHubPlugin {
    CKSLScopedModule hModule;
    PFN_LP_GetCapability getCapability = nullptr;
    PFN_LP_GetFunctionInfo getFunctionInfo = nullptr;
    PFN_LP_GetStatus getStatus = nullptr;
    PFN_LP_Action backupNow = nullptr;
    PFN_LP_Action rejuvenate = nullptr;

    // Loads the library from a full path; prints why not and answers false.
    bool load(const std::wstring& wcsPath);
};

// The record protocol: a size query first, then the record with the size the plug-in gave. With
// bShowCalls each call and its answer is printed. Answers whether the record was filled.
bool queryFunctionInfo(const CHubPlugin& plugin, int32_t nFunctionId, LP_FUNCTION_INFO& info, bool bShowCalls);
bool queryStatus(const CHubPlugin& plugin, int32_t nFunctionId, LP_STATUS_INFO& status, bool bShowCalls);

// The two parts of an exec interface of type 2, "<library>, <export>": split at the last comma
// (a folder name may hold one, an export name never does), blanks around each part removed.
// Answers false when either part is empty.
bool splitLibraryExport(const std::wstring& wcsExec, std::wstring& wcsLibrary, std::wstring& wcsExport);

// What starting an entry did.
struct CHubRunResult {
    bool bStarted = false;
    std::wstring wcsCalledModule; // type 2: the full path of the library whose export ran
    DWORD dwResult = 0;           // the export's result, or the program's exit code
};

// Starts the entry the way its exec interface says and waits until it has ended: type 2 loads
// the library named there (its own copy, not the caller's) and calls the export with no
// arguments; type 0 passes the whole command line to CreateProcessW with no application name, so
// that it is parsed as Windows parses it. Prints what it does.
bool runEntry(const LP_FUNCTION_INFO& info, CHubRunResult& result);

struct CHubWatchOptions {
    unsigned long ulChanges = 0;  // stop after this many changes; 0: no limit
    DWORD dwTimeoutMs = INFINITE; // give up when no change came for this long
    std::wstring wcsStopEvent;    // a named event that stops the watch when set, or empty
};

// Opens the status event of every entry with a status, prints the status line, and each time an
// event is set resets it (the launcher owns it) and prints the line queried anew. Answers 0 when
// the changes were seen or the stop event was set, 1 when the time ran out, 2 when there was
// nothing to watch.
int watchStatus(const CHubPlugin& plugin, const CHubWatchOptions& options);
