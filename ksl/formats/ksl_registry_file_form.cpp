#include "ksl_registry_file_form.h"

#include <cstdarg>
#include <cwchar>

#include "ksl_catch.h"
#include "ksl_exceptions.h"
#include "ksl_format.h"

namespace ksl_registry_form {

const wchar_t kClass[] = L"CKSLRegistryFile";

namespace {

struct RootName {
    HKEY hRoot;
    const wchar_t* wcsName;
};

// The five roots a file can name, and only these: a key under any other root is not exported, and
// a section naming another root is not imported.
const RootName kRoots[] = {
    {HKEY_CLASSES_ROOT, L"HKEY_CLASSES_ROOT"},   {HKEY_LOCAL_MACHINE, L"HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, L"HKEY_USERS"},                 {HKEY_CURRENT_CONFIG, L"HKEY_CURRENT_CONFIG"},
    {HKEY_CURRENT_USER, L"HKEY_CURRENT_USER"},
};

// Root names are ASCII: only the letters fold, so no look-alike from another script matches.
wchar_t foldAscii(wchar_t wc)
{
    return wc >= L'a' && wc <= L'z' ? static_cast<wchar_t>(wc - L'a' + L'A') : wc;
}

bool sameRootName(const wchar_t* pName, size_t nLength, const wchar_t* wcsRoot)
{
    if (std::wcslen(wcsRoot) != nLength)
        return false;
    for (size_t n = 0; n < nLength; ++n)
        if (foldAscii(pName[n]) != wcsRoot[n])
            return false;
    return true;
}

// A key path names a key when no component of it is empty (an empty path names the root).
bool namesKey(const wchar_t* pPath, size_t nLength)
{
    if (nLength == 0)
        return true;
    if (pPath[0] == L'\\' || pPath[nLength - 1] == L'\\')
        return false;
    for (size_t n = 1; n < nLength; ++n)
        if (pPath[n] == L'\\' && pPath[n - 1] == L'\\')
            return false;
    return true;
}

bool isHighSurrogate(wchar_t wc) { return wc >= 0xD800 && wc <= 0xDBFF; }
bool isLowSurrogate(wchar_t wc) { return wc >= 0xDC00 && wc <= 0xDFFF; }

// Characters a log line does not show as they are: control characters, line and paragraph
// separators, the byte-order mark and the marks that turn the direction of the text around.
bool isHidden(wchar_t wc)
{
    return wc < 0x20 || (wc >= 0x7F && wc <= 0x9F) || wc == 0x200E || wc == 0x200F || wc == 0x2028 ||
           wc == 0x2029 || (wc >= 0x202A && wc <= 0x202E) || (wc >= 0x2066 && wc <= 0x2069) || wc == 0xFEFF;
}

// Characters of a name shown in a record; two names and a reason stay well inside its 1024.
const size_t kShownChars = 200;

} // namespace

const wchar_t* rootName(HKEY hRoot)
{
    for (const RootName& root : kRoots)
        if (root.hRoot == hRoot)
            return root.wcsName;
    return nullptr;
}

const wchar_t* parseSectionName(const wchar_t* pName, size_t nLength, HKEY& hRoot, CKSLWCharString& szKeyPath)
{
    if (nLength == 0)
        return L"an empty section name";
    if (std::wmemchr(pName, L'[', nLength) != nullptr || std::wmemchr(pName, L']', nLength) != nullptr)
        return L"a '[' or ']' inside the section name";
    const wchar_t* pSeparator = std::wmemchr(pName, L'\\', nLength);
    if (pSeparator == nullptr)
        return L"it names no registry key";
    const size_t nRoot = static_cast<size_t>(pSeparator - pName);
    const size_t nPath = nLength - nRoot - 1;
    const RootName* pRoot = nullptr;
    for (const RootName& root : kRoots)
        if (sameRootName(pName, nRoot, root.wcsName))
            pRoot = &root;
    if (pRoot == nullptr)
        return L"the root is none of HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS and "
               L"HKEY_CURRENT_CONFIG";
    if (!namesKey(pSeparator + 1, nPath))
        return L"it names no registry key";
    hRoot = pRoot->hRoot;
    szKeyPath = slice(pSeparator + 1, nPath);
    return nullptr;
}

bool isProfileBlank(wchar_t wc)
{
    // Tab, line feed, vertical tab, form feed, carriage return, the old end-of-file mark, space.
    return (wc >= 0x09 && wc <= 0x0D) || wc == 0x1A || wc == L' ';
}

CKSLWCharString slice(const wchar_t* pText, size_t nLength)
{
    CKSLWCharString szSlice;
    if (nLength != 0)
        szSlice = CKSLWCharBuffer(pText, static_cast<unsigned long>(nLength));
    return szSlice;
}

CKSLWCharString shown(const wchar_t* pText, size_t nLength)
{
    if (nLength == 0)
        return CKSLWCharString();
    const bool bCut = nLength > kShownChars;
    size_t nKept = bCut ? kShownChars : nLength;
    if (bCut && isHighSurrogate(pText[nKept - 1]) && isLowSurrogate(pText[nKept]))
        --nKept; // never half a character
    CKSLWCharBuffer chars(static_cast<unsigned long>(nKept + (bCut ? 3 : 0)));
    wchar_t* pShown = chars.getBuffer();
    for (size_t n = 0; n < nKept; ++n) {
        const wchar_t wc = pText[n];
        const bool bPairStart = isHighSurrogate(wc) && n + 1 < nKept && isLowSurrogate(pText[n + 1]);
        const bool bPairEnd = isLowSurrogate(wc) && n > 0 && isHighSurrogate(pText[n - 1]);
        const bool bLoneHalf = (isHighSurrogate(wc) && !bPairStart) || (isLowSurrogate(wc) && !bPairEnd);
        pShown[n] = isHidden(wc) || bLoneHalf ? L'?' : wc;
    }
    if (bCut)
        std::wmemcpy(pShown + nKept, L"...", 3);
    CKSLWCharString szShown;
    szShown = chars;
    return szShown;
}

CKSLWCharString shown(const CKSLWCharString& szText)
{
    return shown(szText.getString(), szText.getLength());
}

void logRefusal(const wchar_t* wcsMethodName, const wchar_t* wcsFormat, ...)
{
    wchar_t wcsMessage[1025];
    va_list args;
    va_start(args, wcsFormat);
    kslFormatV(wcsMessage, 1025, wcsFormat, args);
    va_end(args);
    CKSLLogException1 error(KSL_LOG_EXCEPTION_BAD, wcsMessage, 0, KSL_RESULT_ERROR_CODE, kClass, wcsMethodName,
                            KSL_HERE, true, false); // written when built
}

} // namespace ksl_registry_form
