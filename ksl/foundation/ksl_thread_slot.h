// One pointer per thread (a TLS index) for the state of the call in progress on that thread (the
// log configuration it read, the plug-in's call state), taken at first use and returned when the
// module that owns the slot is unloaded or the program ends. Unlike a thread_local of this
// toolchain it holds no runtime lock or key that outlives the module. Reading or writing it keeps
// the thread's last Windows error.
//
// A wait that dispatches window messages lets other calls run on the same thread before it
// returns (the launcher answers a timer by asking for the status anew). CAside puts the values of
// every slot of this module aside for the wait, so that such a call starts with empty slots, as a
// call made outside any other, and gives them back when the wait is over.
#pragma once

#include <windows.h>

class CKSLThreadSlot {
    static const int kMaxSlots = 8; // the module's slots; one past these is not put aside

public:
    constexpr CKSLThreadSlot() = default;
    ~CKSLThreadSlot()
    {
        if (m_dwIndex == TLS_OUT_OF_INDEXES)
            return;
        for (CKSLThreadSlot*& pSlot : s_slots)
            InterlockedCompareExchangePointer(reinterpret_cast<PVOID*>(&pSlot), nullptr, this);
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

    // The current thread's values of every slot, put aside for one scope and given back at its end.
    class CAside {
    public:
        CAside()
        {
            for (int i = 0; i < kMaxSlots; ++i) {
                m_pSlots[i] = s_slots[i];
                m_pValues[i] = m_pSlots[i] != nullptr ? m_pSlots[i]->get() : nullptr;
                if (m_pValues[i] != nullptr)
                    m_pSlots[i]->set(nullptr);
            }
        }
        ~CAside()
        {
            for (int i = 0; i < kMaxSlots; ++i) {
                if (m_pValues[i] != nullptr)
                    m_pSlots[i]->set(m_pValues[i]);
            }
        }
        CAside(const CAside&) = delete;
        CAside& operator=(const CAside&) = delete;

    private:
        CKSLThreadSlot* m_pSlots[kMaxSlots];
        void* m_pValues[kMaxSlots];
    };

private:
    static BOOL CALLBACK allocate(PINIT_ONCE, PVOID pSlot, PVOID*)
    {
        CKSLThreadSlot& slot = *static_cast<CKSLThreadSlot*>(pSlot);
        slot.m_dwIndex = TlsAlloc();
        for (CKSLThreadSlot*& pFree : s_slots) {
            if (slot.m_dwIndex != TLS_OUT_OF_INDEXES &&
                InterlockedCompareExchangePointer(reinterpret_cast<PVOID*>(&pFree), &slot, nullptr) == nullptr)
                break;
        }
        return TRUE;
    }
    DWORD index() const
    {
        InitOnceExecuteOnce(&m_once, allocate, const_cast<CKSLThreadSlot*>(this), nullptr);
        return m_dwIndex;
    }

    static inline CKSLThreadSlot* s_slots[kMaxSlots] = {};

    mutable INIT_ONCE m_once = INIT_ONCE_STATIC_INIT;
    mutable DWORD m_dwIndex = TLS_OUT_OF_INDEXES;
};
