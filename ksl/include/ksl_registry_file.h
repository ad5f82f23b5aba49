// CKSLRegistryFile: the text form of a registry key, an INI file with one section per key.
//
// A section is named by the root and the key path ("HKEY_LOCAL_MACHINE\SOFTWARE\Example"); each
// entry is one value, "name=TYPE:data" with the types REG_DWORD (0x and eight hex digits), REG_SZ
// and REG_SZ_EXPAND (the text between double quotes, unescaped), REG_SZ_MULTI (the byte codes of
// each string with its terminator, joined by commas) and REG_BINARY (byte codes, padded to an
// even count). Reached through CKSLRegistryKey::saveKey (format 8) and restoreKey (flags 16).
//
// The file gives back only what it can hold as written. The export refuses (logs, and answers
// false) a text with a line break, a value or subkey name with a line break, a leading '[' or
// ';', leading or trailing blanks, a value name with '=' (and the unnamed default value), a
// subkey name with ']' (the subkey is left out with everything below it) and values of other
// registry types; everything else is still exported. Values of any size are read, one at a time
// when the multiple-value query cannot be had. The import writes only to the keys its sections
// name and only values it could parse completely; every line it could not import is logged and
// makes it answer false, while the rest is still written. A new file is started as UTF-16 so that
// texts outside the ANSI code page survive.
#pragma once

#include <windows.h>

#include "ksl_wchar_string.h"

class CKSLRegistryFile {
public:
    // Writes the key and every key below it to the file, merging into an existing file unless
    // bDeleteFirst. False when a value or subkey was refused or could not be written (the rest
    // is still exported).
    static bool exportKey(const CKSLWCharString& szFileName, HKEY hRootKey, const CKSLWCharString& szKeyPath,
                          bool bDeleteFirst);
    // Writes every section of the file back to the key it names, creating missing keys. A
    // missing file imports nothing and succeeds; a section that names no key and an entry that
    // cannot be parsed or written are logged and skipped, and make the answer false.
    static bool importFile(const CKSLWCharString& szFileName);
};
