// The status line of the quick back-up-now link.
#pragma once

#include <cstdint>

#include "skp_hub.h"

int32_t SKFillStatus(LP_STATUS_INFO& status);
