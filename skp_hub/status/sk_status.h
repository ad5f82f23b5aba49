// The status line of the quick back-up-now link: when and where the last backup went.
#pragma once

#include <cstddef>
#include <cstdint>

#include "skp_hub.h"

// Fills the status record of the quick back-up-now link.
int32_t SKFillStatus(LP_STATUS_INFO& status);
// Writes "<string 559> <location> <date> <time>", or string 562 when there has been no backup,
// into a buffer of nCapacity characters. The buffer is emptied when the time cannot be converted.
void buildStatusText(wchar_t* wcsBuffer, size_t nCapacity);
