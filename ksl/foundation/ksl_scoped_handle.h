// Scoped owners of Windows handles: every return path releases what was opened.
#pragma once

#include <windows.h>

#include <utility>

template <class THandle, class TTraits>
class CKSLScoped {
public:
    CKSLScoped() = default;
    explicit CKSLScoped(THandle h) : m_h(h) {}
    ~CKSLScoped() { reset(); }
    CKSLScoped(const CKSLScoped&) = delete;
    CKSLScoped& operator=(const CKSLScoped&) = delete;
    CKSLScoped(CKSLScoped&& other) noexcept : m_h(other.release()) {}
    CKSLScoped& operator=(CKSLScoped&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    THandle get() const { return m_h; }
    bool valid() const { return m_h != TTraits::invalid(); }
    explicit operator bool() const { return valid(); }
    // For functions that return the handle through an out pointer; releases any old one first.
    THandle* receive()
    {
        reset();
        return &m_h;
    }
    THandle release() { return std::exchange(m_h, TTraits::invalid()); }
    // Closes the handle now; answers whether the close succeeded (true when there was none). The
    // thread's last error is kept, so a handle released on the way out of a failed call does not
    // hide the error that made it fail; only a close that fails leaves its own error there.
    bool reset(THandle h = TTraits::invalid())
    {
        bool ok = true;
        if (valid()) {
            const DWORD dwError = GetLastError();
            ok = TTraits::close(m_h);
            if (ok)
                SetLastError(dwError);
        }
        m_h = h;
        return ok;
    }

private:
    THandle m_h = TTraits::invalid();
};

struct CKSLKernelHandleTraits {
    static HANDLE invalid() { return nullptr; }
    static bool close(HANDLE h) { return CloseHandle(h) != FALSE; }
};
struct CKSLFileHandleTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static bool close(HANDLE h) { return CloseHandle(h) != FALSE; }
};
struct CKSLRegKeyTraits {
    static HKEY invalid() { return nullptr; }
    static bool close(HKEY h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};
struct CKSLModuleTraits {
    static HMODULE invalid() { return nullptr; }
    static bool close(HMODULE h) { return FreeLibrary(h) != FALSE; }
};
struct CKSLFindTraits {
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static bool close(HANDLE h) { return FindClose(h) != FALSE; }
};

// Processes, threads, events, tokens, pipes: null when not open.
using CKSLScopedHandle = CKSLScoped<HANDLE, CKSLKernelHandleTraits>;
// CreateFileW results: INVALID_HANDLE_VALUE when not open.
using CKSLScopedFile = CKSLScoped<HANDLE, CKSLFileHandleTraits>;
using CKSLScopedKey = CKSLScoped<HKEY, CKSLRegKeyTraits>;
using CKSLScopedModule = CKSLScoped<HMODULE, CKSLModuleTraits>;
using CKSLScopedFind = CKSLScoped<HANDLE, CKSLFindTraits>;
