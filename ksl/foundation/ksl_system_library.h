// Libraries that Windows provides are loaded by full path from the system folder, never by bare
// name: a bare name is looked for beside the program first, and a look-alike planted there by
// anyone who can write to that folder would run its entry point inside this process.
#pragma once

#include <windows.h>

#include <cwchar>

// Loads wcsName from wcsFolder, or from the system folder when wcsFolder is null. The library's
// own imports are then looked for beside it first (LOAD_WITH_ALTERED_SEARCH_PATH), not beside the
// program. Null with the thread's last error set when the folder cannot be had or the path does
// not fit; no allocation, nothing thrown.
inline HMODULE kslLoadLibraryIn(const wchar_t* wcsFolder, const wchar_t* wcsName)
{
    wchar_t path[MAX_PATH];
    size_t nFolder = 0;
    if (wcsFolder) {
        nFolder = wcslen(wcsFolder);
        if (nFolder < MAX_PATH)
            wmemcpy(path, wcsFolder, nFolder);
    } else {
        nFolder = GetSystemDirectoryW(path, MAX_PATH);
        if (nFolder == 0)
            return nullptr;
    }
    const size_t nName = wcslen(wcsName);
    if (nFolder + 1 + nName >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    if (nFolder > 0 && path[nFolder - 1] != L'\\')
        path[nFolder++] = L'\\';
    wmemcpy(path + nFolder, wcsName, nName + 1);
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

inline HMODULE kslLoadSystemLibrary(const wchar_t* wcsName)
{
    return kslLoadLibraryIn(nullptr, wcsName);
}
