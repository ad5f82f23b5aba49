// CKSLRegistryFile: the text form of a registry key, an INI file with one section per key.
//
// A section is named by the root and the key path ("HKEY_LOCAL_MACHINE\SOFTWARE\Example"); each
// entry is one value, "name=TYPE:data" with the types REG_DWORD (0x and eight hex digits), REG_SZ
// and REG_SZ_EXPAND (the text between double quotes, unescaped), REG_SZ_MULTI (the byte codes of
// each string with its terminator, joined by commas) and REG_BINARY (byte codes, padded to an
// even count). Reached through CKSLRegistryKey::saveKey (format 8) and restoreKey (flags 16).
//
// A text that holds a line break cannot live on one INI line: it is not exported (logged), so
// that its second line can never come back as an entry of its own. A new file is started as
// UTF-16 so that texts outside the ANSI code page survive.
#pragma once

#include <windows.h>

#include "ksl_wchar_string.h"

class CKSLRegistryFile {
public:
    // Writes the key and every key below it to the file, merging into an existing file unless
    // bDeleteFirst. False when a value could not be written (the rest is still exported).
    static bool exportKey(const CKSLWCharString& szFileName, HKEY hRootKey, const CKSLWCharString& szKeyPath,
                          bool bDeleteFirst);
    // Writes every section of the file back to the key it names, creating missing keys. A
    // missing file imports nothing and succeeds; single values that cannot be written are
    // logged and skipped.
    static bool importFile(const CKSLWCharString& szFileName);
};
