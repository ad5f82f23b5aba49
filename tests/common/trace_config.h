// Switches the plug-in's debug trace on for a source, inside the scratch registry.
#pragma once

#include <string>

#include "scratch_registry.h"

inline bool enableTrace(const wchar_t* source, const std::wstring& path)
{
    return setRegString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tessil\\Safekeep\\Debug", source, path);
}
