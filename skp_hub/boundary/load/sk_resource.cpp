#include "sk_resource.h"

#include <memory>

#include "ksl_format.h"
#include "ksl_scoped_handle.h"
#include "sk_call_state.h"
#include "sk_preinstall.h"
#include "sk_trace.h"

namespace {

const wchar_t kResourceLibrary[] = L"sk_res.dll";
const int kStringChars = 8192;

// The library is mapped as a resource-only data file: its entry point never runs inside the
// launcher's process, whatever DLL sits at that path.
const DWORD kDataFileFlags = LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE;

bool fileFound(const std::wstring& path)
{
    WIN32_FIND_DATAW fd;
    CKSLScopedFind find(FindFirstFileW(path.c_str(), &fd));
    return find.valid();
}

// The second place for sk_res.dll: the folder "KSLCOMMON" names, when it is set and the whole
// path fits. Without it no other place is tried (an empty or cut folder would name the root of
// the current drive, or a file nobody meant).
bool commonLibraryPath(std::wstring& path)
{
    wchar_t common[MAX_PATH] = {};
    const DWORD len = GetEnvironmentVariableW(L"KSLCOMMON", common, MAX_PATH);
    if (len == 0 || len >= MAX_PATH)
        return false;
    wchar_t formatted[MAX_PATH];
    const size_t expected = len + 1 + (sizeof(kResourceLibrary) / sizeof(wchar_t) - 1);
    if (static_cast<size_t>(kslFormat(formatted, L"%s\\%s", common, kResourceLibrary)) != expected)
        return false;
    path = formatted;
    return true;
}

// Where sk_res.dll is looked for; false when the launcher's own path cannot be had.
bool resourceLibraryPath(std::wstring& path)
{
    wchar_t exe[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return false;
    path.assign(exe, n);
    path.erase(path.find_last_of(L'\\') + 1);
    path += kResourceLibrary;
    if (!fileFound(path) && !isPreinstallEnvironment())
        commonLibraryPath(path);
    return true;
}

// A data-file load reports a missing file as "file not found"; callers and the trace have always
// seen the loader's module-not-found code for it, so that is what they get.
DWORD loadError()
{
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_MOD_NOT_FOUND : error;
}

void mapLibrary(SKResourceMapping& mapping)
{
    mapping.bTried = true;
    mapping.bPathFound = resourceLibraryPath(mapping.path);
    if (!mapping.bPathFound) {
        mapping.dwLoadError = GetLastError();
        return;
    }
    mapping.hModule.reset(LoadLibraryExW(mapping.path.c_str(), nullptr, kDataFileFlags));
    mapping.dwLoadError = mapping.hModule ? 0 : loadError();
}

// The resource library for one lookup: the current call's mapping (made at its first string),
// or outside a call one of its own, released when the lookup is done.
class CSKResourceLibrary {
public:
    CSKResourceLibrary() : m_pMapping(&m_own)
    {
        if (SKCallState* pCall = SKCurrentCall())
            m_pMapping = &pCall->resource;
        if (!m_pMapping->bTried)
            mapLibrary(*m_pMapping);
    }
    CSKResourceLibrary(const CSKResourceLibrary&) = delete;
    CSKResourceLibrary& operator=(const CSKResourceLibrary&) = delete;

    bool pathFound() const { return m_pMapping->bPathFound; }
    const std::wstring& path() const { return m_pMapping->path; }
    HMODULE get() const { return m_pMapping->hModule.get(); }
    // Why the path or the library could not be had, made the thread's last error again.
    DWORD failure() const
    {
        SetLastError(m_pMapping->dwLoadError);
        return m_pMapping->dwLoadError;
    }

private:
    SKResourceMapping m_own;
    SKResourceMapping* m_pMapping;
};

int loadDefault(const CSKResourceLibrary& library, UINT uId, std::wstring& text)
{
    std::unique_ptr<wchar_t[]> buffer(new wchar_t[kStringChars]());
    const bool loaded = LoadStringW(library.get(), uId, buffer.get(), kStringChars) > 0;
    if (!loaded) {
        SKTrace(SK_TRACE_SAFEKEEP, L"SKULoadString - LoadString(%d, '%s') failed. Error %d", uId, library.path().c_str(),
                GetLastError());
        buffer[0] = L'\0';
    }
    text = buffer.get();
    return loaded ? 1 : 0;
}

// Walks the 16 entries of a string-table block to entry uId mod 16.
bool readBlockEntry(const WORD* pBlock, DWORD cbBlock, UINT uId, std::wstring& text)
{
    const WORD* const pEnd = pBlock + cbBlock / sizeof(WORD);
    const WORD* p = pBlock;
    for (UINT entry = 0; entry < 16 && p < pEnd; ++entry) {
        const WORD count = *p++;
        if (count == 0)
            continue;
        if (entry == uId % 16) {
            const size_t available = static_cast<size_t>(pEnd - p);
            const size_t chars = count < available ? count : available;
            text.assign(reinterpret_cast<const wchar_t*>(p), chars);
            return true;
        }
        p += count;
    }
    return false;
}

enum class CSKBlockLookup { Loaded, NotLoaded, BlockMissing };

// The string as stored in the string-table block of one language.
CSKBlockLookup loadFromLanguageBlock(const CSKResourceLibrary& library, UINT uId, WORD wLanguage,
                                     std::wstring& text)
{
    HRSRC hBlock = FindResourceExW(library.get(), RT_STRING, MAKEINTRESOURCEW(uId / 16 + 1), wLanguage);
    if (!hBlock) {
        SKTrace(SK_TRACE_SAFEKEEP, L"FindResourceEx failed. Error %d library='%s' stringID=%d lang=%d", GetLastError(),
                library.path().c_str(), uId, wLanguage);
        return CSKBlockLookup::BlockMissing;
    }
    const HGLOBAL hMem = LoadResource(library.get(), hBlock);
    const WORD* pBlock = hMem ? static_cast<const WORD*>(LockResource(hMem)) : nullptr;
    if (!pBlock) {
        SKTrace(SK_TRACE_SAFEKEEP, L"pwchMem is NULL");
        return CSKBlockLookup::NotLoaded;
    }
    const bool loaded = readBlockEntry(pBlock, SizeofResource(library.get(), hBlock), uId, text);
    return loaded ? CSKBlockLookup::Loaded : CSKBlockLookup::NotLoaded;
}

} // namespace

int SKULoadString(UINT uId, std::wstring& text, WORD wLanguage)
{
    text.clear();
    CSKBlockLookup lookup;
    {
        CSKResourceLibrary library;
        if (!library.pathFound()) {
            SKReportError(library.failure(), L"GetModuleFileName", L"SKULoadString");
            return 0;
        }
        if (!library.get()) {
            const DWORD error = library.failure();
            SKReportError(error, L"LoadLibrary", library.path().c_str());
            return static_cast<int>(error);
        }
        if (wLanguage == 0)
            return loadDefault(library, uId, text);
        lookup = loadFromLanguageBlock(library, uId, wLanguage, text);
    } // outside a call the library is released before any fallback
    if (lookup == CSKBlockLookup::BlockMissing) {
        SKULoadString(uId, text, 0);
        return static_cast<int>(GetLastError());
    }
    if (text.empty())
        SKULoadString(uId, text, 0);
    return lookup == CSKBlockLookup::Loaded ? 1 : 0;
}

std::wstring SKLoadText(UINT uId)
{
    std::wstring text;
    SKULoadString(uId, text, 0);
    return text;
}
