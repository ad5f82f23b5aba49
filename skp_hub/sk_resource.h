// Display texts of the product's resource library "sk_res.dll", and the error report of the
// product utility services.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Loads string id from sk_res.dll: beside the launcher's executable, else (outside the
// pre-installation environment) in the folder named by "KSLCOMMON" when that names one that fits
// with the file name; otherwise only the copy beside the launcher is tried. Within an exported
// call the library is found and mapped once, at the first string, and released when the call
// ends. Language 0 is the system's
// default lookup. text is emptied first. Answers 1 when this lookup loaded the string, 0 when it
// did not, or the last-error code when the library could not be loaded or the language block is
// missing.
int SKULoadString(UINT uId, std::wstring& text, WORD wLanguage = 0);

struct SKResourceMapping;
// Releases a mapping of the resource library made for one call; reports a failed release.
void SKReleaseResourceMapping(SKResourceMapping& mapping);

// The text of a resource string, empty when it cannot be loaded.
std::wstring SKLoadText(UINT uId);

// Guarded bounded copy into a buffer of cbDestination bytes: 0 when all was copied, 0x8007007A
// when cut (still terminated), 0x80070057 when not even one character fits, 1 for a null pointer.
HRESULT SK_tcscpy(wchar_t* wcsDestination, size_t cbDestination, const wchar_t* wcsSource);

// One trace line "<function>: Error <code> <context>" under "Safekeep"; code 0 means the calling
// thread's last error.
void SKReportError(DWORD dwCode, const wchar_t* wcsFunction, const wchar_t* wcsContext);

// 1 when the system runs the Windows Preinstallation Environment, else 0.
int isPreinstallEnvironment();
