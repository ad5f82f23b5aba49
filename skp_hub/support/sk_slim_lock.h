// An exclusive hold of a slim reader/writer lock for one block. Slim locks come from the system,
// not from the C++ runtime (the plug-in's runtime has no thread primitives of its own), and hold
// no handle, so a module-wide one needs nothing at unload.
#pragma once

#include <windows.h>

class CSKExclusiveLock {
public:
    explicit CSKExclusiveLock(SRWLOCK& lock) : m_pLock(&lock) { AcquireSRWLockExclusive(m_pLock); }
    // Takes the lock only when it is free; owns() tells whether it did.
    CSKExclusiveLock(SRWLOCK& lock, bool bTryOnly)
        : m_pLock(bTryOnly && !TryAcquireSRWLockExclusive(&lock) ? nullptr : &lock)
    {
        if (!bTryOnly)
            AcquireSRWLockExclusive(m_pLock);
    }
    ~CSKExclusiveLock()
    {
        if (m_pLock)
            ReleaseSRWLockExclusive(m_pLock);
    }
    CSKExclusiveLock(const CSKExclusiveLock&) = delete;
    CSKExclusiveLock& operator=(const CSKExclusiveLock&) = delete;

    bool owns() const { return m_pLock != nullptr; }

private:
    SRWLOCK* m_pLock;
};
