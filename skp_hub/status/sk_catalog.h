// The catalogue entries the launcher lists for the Safekeep functions.
#pragma once

#include <windows.h>

#include <cstdint>

#include "skp_hub.h"

// Fills the entry for info.nFunctionId; 2 for an id that is not one of the plug-in's. hLibrary is
// this library, which the quick links name where the launcher's "ProgramFiles" cannot.
int32_t SKFillCatalogEntry(LP_FUNCTION_INFO& info, HMODULE hLibrary);
