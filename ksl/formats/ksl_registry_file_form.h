// The rules of the registry text form that its export (ksl_registry_file) and its import
// (ksl_registry_file_import) share: the root names of the sections, what a section name must be,
// the blanks the profile functions trim, and how a refusal is logged.
#pragma once

#include <windows.h>

#include <cstddef>

#include "ksl_wchar_string.h"

namespace ksl_registry_form {

// Class name of every record of the text form.
extern const wchar_t kClass[];

// The root name a section starts with; null for a root the form has no name for.
const wchar_t* rootName(HKEY hRoot);

// Why a section name ("ROOT\path", the text between the brackets) names no key the form can
// carry, or null; gives the root and the key path (empty for the root itself) when it does.
// Root names match without regard to case, as the registry matches names.
const wchar_t* parseSectionName(const wchar_t* pName, size_t nLength, HKEY& hRoot, CKSLWCharString& szKeyPath);

// The blanks the profile functions cut from both ends of a line, around an entry's '=' and
// from the ends of a section name they are handed.
bool isProfileBlank(wchar_t wc);

// The first nLength characters of a text (an empty string for 0).
CKSLWCharString slice(const wchar_t* pText, size_t nLength);

// A name or line as it goes into a log record: characters that could break the record's line or
// mislead a reader (control characters, line and paragraph separators, direction marks, halves of
// a character) become '?', and a text longer than a record holds is cut with "...".
CKSLWCharString shown(const wchar_t* pText, size_t nLength);
CKSLWCharString shown(const CKSLWCharString& szText);

// Writes one record at EXCEPTION_BAD under "CKSLRegistryFile" and the method; the operation goes
// on. The format is filled as kslFormat fills it.
void logRefusal(const wchar_t* wcsMethodName, const wchar_t* wcsFormat, ...);

} // namespace ksl_registry_form
