// CKSLRegistryFile: the text form of a registry key, an INI file with one section per key.
//
// A section is named by the root and the key path ("HKEY_LOCAL_MACHINE\SOFTWARE\Example"); each
// entry is one value, "name=TYPE:data" with the types REG_DWORD (0x and eight hex digits), REG_SZ
// and REG_SZ_EXPAND (the text between double quotes, unescaped), REG_SZ_MULTI (the byte codes of
// each string with its terminator, joined by commas; an empty string is "00 00") and REG_BINARY
// (byte codes in whole characters, or "3:01 02 03": an odd number of bytes after its count). A
// key without values is an empty section. Reached through CKSLRegistryKey::saveKey (format 8)
// and restoreKey (flags 16).
//
// The export writes only what the import reads back exactly. It refuses (logs, and answers
// false) a text with a line break, a value or subkey name with a line break, a leading '[' or
// ';', leading or trailing blanks, a value name with '=' (and the unnamed default value), a
// subkey name with '[' or ']' (the subkey is left out with everything below it), a DWORD whose
// data is not four bytes, a text with data after its terminating zero, an expandable text
// without a pair of '%', multi-string data that is no list of terminated strings, values of
// other registry types, and a key under a root the file has no name for; everything else is
// still exported. A new file is started as UTF-16 so that texts outside the ANSI code page
// survive.
//
// The import reads the file as the profile functions do (UTF-16 after its byte-order mark, or
// ANSI text) and accounts for every line: a section line, an entry, a blank or a comment line
// (';'), or a fault that is logged with its line number and makes it answer false. It refuses
// whole, writing nothing, a file those functions would misread: a UTF-8 or big-endian UTF-16
// byte-order mark, a NUL character (UTF-16 text without its mark), a carriage return inside a
// line, or text that ends inside a character. Faults: an entry before the first section, a
// section line with text after its ']' or a bracket inside its name, a root other than the five
// (matched without regard to case), a section of a key that was named before (the later one is
// not written), an entry without '=', name or type, a value named twice in a section (the later
// one is not written), and data that does not parse completely (an odd number of binary codes
// without a count, a multi-string item with a zero inside or without its terminator). A faulty
// section writes none of its entries; the other lines are still imported.
#pragma once

#include <windows.h>

#include "ksl_wchar_string.h"

class CKSLRegistryFile {
public:
    // Writes the key and every key below it to the file, merging into an existing file unless
    // bDeleteFirst. False when a value or subkey was refused or could not be written (the rest
    // is still exported), and when the key itself cannot be exported (then nothing is written).
    static bool exportKey(const CKSLWCharString& szFileName, HKEY hRootKey, const CKSLWCharString& szKeyPath,
                          bool bDeleteFirst);
    // Writes every section of the file back to the key it names, creating missing keys. A
    // missing file imports nothing and succeeds; every faulty line and every value that cannot be
    // written is logged and makes the answer false, while the rest is still written.
    static bool importFile(const CKSLWCharString& szFileName);
};
