// Serialises appends to a shared text file across threads and processes: every writer takes the
// same exclusive lock on a byte range far past any real end of file, so its seek to the end and
// its write are one step and no line overwrites another.
#pragma once

#include <windows.h>

class CKSLAppendLock {
public:
    explicit CKSLAppendLock(HANDLE hFile) : m_hFile(hFile)
    {
        OVERLAPPED range = lockRange();
        m_bLocked = LockFileEx(m_hFile, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range) != FALSE;
    }
    ~CKSLAppendLock()
    {
        OVERLAPPED range = lockRange();
        if (m_bLocked)
            UnlockFileEx(m_hFile, 0, 1, 0, &range);
    }
    CKSLAppendLock(const CKSLAppendLock&) = delete;
    CKSLAppendLock& operator=(const CKSLAppendLock&) = delete;

private:
    static OVERLAPPED lockRange()
    {
        OVERLAPPED o{};
        o.Offset = 0xFFFFFFFE;
        o.OffsetHigh = 0x7FFFFFFF;
        return o;
    }
    HANDLE m_hFile;
    bool m_bLocked = false;
};
