// The product's install folder as its installer recorded it.
#pragma once

// Reads the string value under HKEY_LOCAL_MACHINE\wcsKeyPath into one module-wide 260-character
// buffer (each call overwrites it; callers use the result at once) and drops one trailing
// backslash. Empty when the key or the value is missing.
const wchar_t* getInstallPath(const wchar_t* wcsKeyPath, const wchar_t* wcsValueName);
