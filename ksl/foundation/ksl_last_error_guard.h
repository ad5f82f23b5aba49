// Keeps the thread's last Windows error across a scope: logging must never change it.
#pragma once

#include <windows.h>

class CKSLLastErrorGuard {
public:
    CKSLLastErrorGuard() : m_dwError(GetLastError()) {}
    ~CKSLLastErrorGuard() { SetLastError(m_dwError); }
    CKSLLastErrorGuard(const CKSLLastErrorGuard&) = delete;
    CKSLLastErrorGuard& operator=(const CKSLLastErrorGuard&) = delete;

private:
    DWORD m_dwError;
};
