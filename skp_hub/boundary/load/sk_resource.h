// Display texts of the product's resource library "sk_res.dll".
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Loads string id from sk_res.dll: beside the launcher's executable, else (outside the
// pre-installation environment) in the folder named by "KSLCOMMON" when that names one that fits
// with the file name; otherwise only the copy beside the launcher is tried. Within an exported
// call the library is found and mapped once, at the first string, and released when the call
// ends. Language 0 is the system's default lookup. text is emptied first. Answers 1 when this
// lookup loaded the string, 0 when it did not, or the last-error code when the library could not
// be loaded or the language block is missing.
int SKULoadString(UINT uId, std::wstring& text, WORD wLanguage = 0);

// The text of a resource string, empty when it cannot be loaded.
std::wstring SKLoadText(UINT uId);

