#include "test_paths.h"

#include <windows.h>

#include <cstdio>

std::wstring testScratchDir()
{
    static std::wstring s_dir;
    if (s_dir.empty()) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        wchar_t dir[MAX_PATH + 32];
        swprintf(dir, MAX_PATH + 32, L"%lsskp_test_%lu\\", temp, GetCurrentProcessId());
        removeTree(dir);
        CreateDirectoryW(dir, nullptr);
        s_dir = dir;
    }
    return s_dir;
}

std::wstring testScratchPath(const std::wstring& name)
{
    static unsigned s_counter = 0;
    return testScratchDir() + std::to_wstring(++s_counter) + L"_" + name;
}

std::wstring testBinDir()
{
    return std::wstring(KSL_TEST_BIN_DIR) + L"\\";
}

std::wstring testSourceDir()
{
    return std::wstring(KSL_TEST_SOURCE_DIR) + L"\\";
}

std::wstring testExeFolder()
{
    wchar_t exe[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const std::wstring path(exe, n < MAX_PATH ? n : 0);
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

LocalResourceLibrary::LocalResourceLibrary()
    : PlantedCopy(testBinDir() + L"sk_res.dll", testExeFolder() + L"sk_res.dll")
{
}

std::string readFileBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(h);
    return bytes;
}

bool fileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void removeTree(const std::wstring& path)
{
    std::wstring dir = path;
    if (!dir.empty() && dir.back() != L'\\')
        dir += L'\\';
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(dir + name);
            else
                DeleteFileW((dir + name).c_str());
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
}

PlantedCopy::PlantedCopy(const std::wstring& source, const std::wstring& destination)
    : m_path(destination), m_bPlanted(CopyFileW(source.c_str(), destination.c_str(), FALSE) != FALSE)
{
}

PlantedCopy::~PlantedCopy()
{
    DeleteFileW(m_path.c_str());
}
