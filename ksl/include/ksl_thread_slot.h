// One pointer per thread (a TLS index), taken at first use and returned when the module that
// owns the slot is unloaded or the program ends. Unlike a thread_local of this toolchain it holds
// no runtime lock or key that outlives the module. Reading or writing it keeps the thread's last
// Windows error.
#pragma once

#include <windows.h>

class CKSLThreadSlot {
public:
    constexpr CKSLThreadSlot() = default;
    ~CKSLThreadSlot()
    {
        if (m_dwIndex != TLS_OUT_OF_INDEXES)
            TlsFree(m_dwIndex);
    }
    CKSLThreadSlot(const CKSLThreadSlot&) = delete;
    CKSLThreadSlot& operator=(const CKSLThreadSlot&) = delete;

    void* get() const
    {
        const DWORD dwError = GetLastError();
        const DWORD dwIndex = index();
        void* pValue = dwIndex != TLS_OUT_OF_INDEXES ? TlsGetValue(dwIndex) : nullptr;
        SetLastError(dwError);
        return pValue;
    }
    // False when the process has no TLS index left for the slot.
    bool set(void* pValue)
    {
        const DWORD dwError = GetLastError();
        const DWORD dwIndex = index();
        const bool bSet = dwIndex != TLS_OUT_OF_INDEXES && TlsSetValue(dwIndex, pValue);
        SetLastError(dwError);
        return bSet;
    }

private:
    static BOOL CALLBACK allocate(PINIT_ONCE, PVOID pIndex, PVOID*)
    {
        *static_cast<DWORD*>(pIndex) = TlsAlloc();
        return TRUE;
    }
    DWORD index() const
    {
        InitOnceExecuteOnce(&m_once, allocate, &m_dwIndex, nullptr);
        return m_dwIndex;
    }

    mutable INIT_ONCE m_once = INIT_ONCE_STATIC_INIT;
    mutable DWORD m_dwIndex = TLS_OUT_OF_INDEXES;
};
