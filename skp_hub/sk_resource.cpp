#include "sk_resource.h"

#include <memory>

#include "ksl_scoped_handle.h"
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

// Where sk_res.dll is looked for; empty when the launcher's own path cannot be had.
bool resourceLibraryPath(std::wstring& path)
{
    wchar_t exe[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        SKReportError(0, L"GetModuleFileName", L"SKULoadString");
        return false;
    }
    path.assign(exe, n);
    path.erase(path.find_last_of(L'\\') + 1);
    path += kResourceLibrary;
    if (fileFound(path) || isPreinstallEnvironment())
        return true;
    wchar_t common[MAX_PATH] = {};
    const DWORD len = GetEnvironmentVariableW(L"KSLCOMMON", common, MAX_PATH);
    wchar_t formatted[MAX_PATH];
    SKFormat(formatted, MAX_PATH, L"%s\\sk_res.dll", len < MAX_PATH ? common : L"");
    path = formatted;
    return true;
}

// Releases the library, reporting a failed release.
class CSKResourceLibrary {
public:
    explicit CSKResourceLibrary(const std::wstring& path) : m_path(path)
    {
        m_hModule = LoadLibraryExW(path.c_str(), nullptr, kDataFileFlags);
    }
    ~CSKResourceLibrary()
    {
        if (m_hModule && !FreeLibrary(m_hModule))
            SKReportError(0, L"FreeLibrary", m_path.c_str());
    }
    CSKResourceLibrary(const CSKResourceLibrary&) = delete;
    CSKResourceLibrary& operator=(const CSKResourceLibrary&) = delete;
    HMODULE get() const { return m_hModule; }

private:
    std::wstring m_path;
    HMODULE m_hModule = nullptr;
};

// A data-file load reports a missing file as "file not found"; callers and the trace have always
// seen the loader's module-not-found code for it, so that is what they get.
DWORD loadError()
{
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        error = ERROR_MOD_NOT_FOUND;
        SetLastError(error);
    }
    return error;
}

int loadDefault(const CSKResourceLibrary& library, const std::wstring& path, UINT uId, std::wstring& text)
{
    std::unique_ptr<wchar_t[]> buffer(new wchar_t[kStringChars]());
    const bool loaded = LoadStringW(library.get(), uId, buffer.get(), kStringChars) > 0;
    if (!loaded) {
        SKTrace(SK_TRACE_SAFEKEEP, L"SKULoadString - LoadString(%d, '%s') failed. Error %d", uId, path.c_str(),
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
CSKBlockLookup loadFromLanguageBlock(const CSKResourceLibrary& library, const std::wstring& path, UINT uId,
                                     WORD wLanguage, std::wstring& text)
{
    HRSRC hBlock = FindResourceExW(library.get(), RT_STRING, MAKEINTRESOURCEW(uId / 16 + 1), wLanguage);
    if (!hBlock) {
        SKTrace(SK_TRACE_SAFEKEEP, L"FindResourceEx failed. Error %d library='%s' stringID=%d lang=%d", GetLastError(),
                path.c_str(), uId, wLanguage);
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
    std::wstring path;
    if (!resourceLibraryPath(path))
        return 0;
    CSKBlockLookup lookup;
    {
        CSKResourceLibrary library(path);
        if (!library.get()) {
            const DWORD error = loadError();
            SKReportError(error, L"LoadLibrary", path.c_str());
            return static_cast<int>(error);
        }
        if (wLanguage == 0)
            return loadDefault(library, path, uId, text);
        lookup = loadFromLanguageBlock(library, path, uId, wLanguage, text);
    } // the library is released before any fallback
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

HRESULT SK_tcscpy(wchar_t* wcsDestination, size_t cbDestination, const wchar_t* wcsSource)
{
    if (!wcsDestination)
        SKTrace(SK_TRACE_SAFEKEEP, L"SK_tcscpy() Destination is NULL");
    if (!wcsSource)
        SKTrace(SK_TRACE_SAFEKEEP, L"SK_tcscpy() Source is NULL");
    if (!wcsDestination || !wcsSource)
        return 1;
    const size_t capacity = cbDestination / sizeof(wchar_t);
    if (capacity == 0)
        return static_cast<HRESULT>(0x80070057);
    size_t i = 0;
    for (; i + 1 < capacity && wcsSource[i] != L'\0'; ++i)
        wcsDestination[i] = wcsSource[i];
    wcsDestination[i] = L'\0';
    return wcsSource[i] == L'\0' ? 0 : static_cast<HRESULT>(0x8007007A);
}

void SKReportError(DWORD dwCode, const wchar_t* wcsFunction, const wchar_t* wcsContext)
{
    if (dwCode == 0)
        dwCode = GetLastError();
    wchar_t line[1024];
    SKFormat(line, 1024, L"%s: Error %d %s%s", wcsFunction ? wcsFunction : L"", static_cast<int>(dwCode),
             wcsContext ? wcsContext : L"", L"");
    if (line[0] != L'\0')
        SKTrace(SK_TRACE_SAFEKEEP, L"%s", line);
}
