// A text field of the launcher's records (an LP_WCHAR array) as the wide string it holds.
#pragma once

#include "skp_hub.h"

static_assert(sizeof(LP_WCHAR) == sizeof(wchar_t), "the records hold UTF-16 code units");

inline wchar_t* field(LP_WCHAR* pField)
{
    return reinterpret_cast<wchar_t*>(pField);
}
