// CKSLBuffer: the library's owning, exactly sized array of fixed-size elements.
//
// A buffer holds precisely the number of elements last asked for (no spare capacity), every new
// block starts zero-filled, and every block is zero-filled again before it is released, so that
// secrets read from the registry do not linger in freed memory. Failures follow the library's
// catching convention: operations answer false and log; only the constructors and the element
// accessors (elementAt, valueAt) throw to their caller.
//
// Two instantiations are used: wide characters (the base of CKSLWCharString) and bytes (raw
// registry data, byte codes made from strings).
#pragma once

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#include "ksl_catch.h"
#include "ksl_exceptions.h"

namespace ksl_detail {

// The most elements a block may hold: the compiler's array new refuses (by throwing, even in its
// no-throw form) any block whose byte size does not stay below the largest signed size.
template <class T>
constexpr unsigned long long kslMaxElements()
{
    return static_cast<unsigned long long>(PTRDIFF_MAX) / sizeof(T) - 1;
}

// Block copy that tolerates overlap; the copy routine must hand back the destination, anything
// else counts as a failed copy.
template <class T>
void copyElements(T* pDest, const T* pSource, unsigned long ulCount)
{
    if (ulCount == 0)
        return;
    if (std::memmove(pDest, pSource, ulCount * sizeof(T)) != pDest)
        throw CKSLMemoryCopyException(errno, KSL_HERE);
}

} // namespace ksl_detail

template <class T>
class CKSLBuffer {
public:
    CKSLBuffer() noexcept : m_pBuffer(nullptr), m_ulCount(0) {}

    // A zero-filled buffer of ulCount elements; throws CKSLBufferInitException when it cannot be made.
    explicit CKSLBuffer(unsigned long ulCount) : CKSLBuffer()
    {
        if (!create(ulCount))
            throw CKSLBufferInitException(KSL_HERE);
    }

    // ulCount + ulOffset elements, the source's ulCount elements copied to position ulOffset and
    // the first ulOffset left zero; a null source gives ulCount zero elements.
    CKSLBuffer(const T* pSource, unsigned long ulCount, unsigned long ulOffset = 0) : CKSLBuffer()
    {
        initOrThrow(KSL_HERE, [&] {
            if (pSource == nullptr)
                return create(ulCount);
            adoptBlock(copyIntoNewBlock(pSource, ulCount, ulOffset), ulCount + ulOffset);
            return true;
        });
    }

    CKSLBuffer(const CKSLBuffer& other) : CKSLBuffer()
    {
        initOrThrow(KSL_HERE, [&] {
            adoptBlock(copyIntoNewBlock(other.m_pBuffer, other.m_ulCount, 0), other.m_ulCount);
            return true;
        });
    }

    CKSLBuffer(CKSLBuffer&& other) noexcept : m_pBuffer(other.m_pBuffer), m_ulCount(other.m_ulCount)
    {
        other.m_pBuffer = nullptr;
        other.m_ulCount = 0;
    }

    // Virtual so that a string or buffer is released properly whatever pointer deletes it.
    virtual ~CKSLBuffer() { releaseBlock(m_pBuffer, m_ulCount); }

    // Deep copy; on failure the failure is logged and the target keeps what it had.
    CKSLBuffer& operator=(const CKSLBuffer& other)
    {
        if (this != &other)
            kslCatch(false, KSL_HERE, [&] { return copyFrom(other.m_pBuffer, other.m_ulCount); });
        return *this;
    }

    CKSLBuffer& operator=(CKSLBuffer&& other) noexcept
    {
        if (this != &other) {
            adoptBlock(other.m_pBuffer, other.m_ulCount);
            other.m_pBuffer = nullptr;
            other.m_ulCount = 0;
        }
        return *this;
    }

    // A fresh zero-filled block of ulCount elements (0: no block). The old block is released first.
    virtual bool create(unsigned long ulCount)
    {
        if (!destroy())
            return false;
        if (ulCount == 0)
            return true;
        return kslCatch(false, KSL_HERE, [&] {
            adoptBlock(allocateBlock(ulCount), ulCount);
            return true;
        });
    }

    // Zero-fills and frees the block; the buffer is empty afterwards.
    virtual bool destroy()
    {
        adoptBlock(nullptr, 0);
        return true;
    }

    // Changes the element count keeping the common prefix; new elements are zero. On a failed
    // allocation the buffer keeps its old block.
    virtual bool resize(unsigned long ulCount)
    {
        if (ulCount == 0)
            return destroy();
        return kslCatch(false, KSL_HERE, [&] {
            T* pBlock = allocateBlock(ulCount);
            guardedCopy(pBlock, m_pBuffer, ulCount < m_ulCount ? ulCount : m_ulCount, ulCount);
            adoptBlock(pBlock, ulCount);
            return true;
        });
    }

    // Every element zero. Wide buffers clear through fill, so an empty one reports a bad offset;
    // byte buffers only need a block.
    bool clear()
    {
        if constexpr (sizeof(T) == 1) {
            if (!isValid())
                return false;
            SecureZeroMemory(m_pBuffer, m_ulCount);
            return true;
        } else {
            return fill(T(0), 0);
        }
    }

    // Elements ulOffset .. count - 1 take the value.
    bool fill(T value, unsigned long ulOffset)
    {
        return kslCatch(false, KSL_HERE, [&] {
            if (ulOffset >= m_ulCount)
                throw CKSLBadArgException(L"ulOffset", L"value is out of bounds", KSL_HERE);
            for (unsigned long ul = ulOffset; ul < m_ulCount; ++ul)
                m_pBuffer[ul] = value;
            return true;
        });
    }

    // Element access: an index past the count throws CKSLIndexOutOfBoundsException to the caller.
    T& elementAt(unsigned long ulIndex)
    {
        checkIndex(ulIndex);
        return m_pBuffer[ulIndex];
    }
    const T& elementAt(unsigned long ulIndex) const
    {
        checkIndex(ulIndex);
        return m_pBuffer[ulIndex];
    }
    T valueAt(unsigned long ulIndex) const { return elementAt(ulIndex); }

    // The other buffer's elements behind the last element (a buffer may append itself).
    bool append(const CKSLBuffer& other)
    {
        if (!other.isValid())
            return true;
        return appendAt(other, m_ulCount);
    }

    // The other buffer written at ulOffset; the result is exactly ulOffset + other count long, so
    // elements behind that are dropped.
    bool appendAt(const CKSLBuffer& other, unsigned long ulOffset)
    {
        return kslCatch(false, KSL_HERE, [&] {
            if (ulOffset > m_ulCount)
                throw CKSLBadArgException(
                    L"ulOffset", L"can't append a buffer at an offset past the bounds of this buffer", KSL_HERE);
            checkWritable(other);
            const unsigned long long ullTotal = static_cast<unsigned long long>(ulOffset) + other.m_ulCount;
            if (ullTotal > 0xFFFFFFFFull)
                throw CKSLMemAllocException(L"m_pBuffer", KSL_HERE);
            // Built in a new block before the old one goes, so other may be this buffer.
            T* pBlock = allocateBlock(static_cast<unsigned long>(ullTotal));
            guardedCopy(pBlock, m_pBuffer, ulOffset, static_cast<unsigned long>(ullTotal));
            guardedCopy(pBlock + ulOffset, other.m_pBuffer, other.m_ulCount, other.m_ulCount);
            adoptBlock(pBlock, static_cast<unsigned long>(ullTotal));
            return true;
        });
    }

    // The other buffer copied over the elements from ulOffset. When it does not fit, bGrow turns
    // the call into appendAt; otherwise it fails.
    bool write(const CKSLBuffer& other, unsigned long ulOffset, bool bGrow = false)
    {
        return kslCatch(false, KSL_HERE, [&] {
            checkWritable(other);
            if (other.m_ulCount <= m_ulCount && ulOffset <= m_ulCount - other.m_ulCount) {
                ksl_detail::copyElements(m_pBuffer + ulOffset, other.m_pBuffer, other.m_ulCount);
                return true;
            }
            if (!bGrow)
                throw CKSLBadArgException(L"buffer", L"buffer + offset will overrun this buffer", KSL_HERE);
            return appendAt(other, ulOffset);
        });
    }

    // The destination becomes a copy of ulNumElems elements from ulOffset. When fewer exist,
    // ulNumElems is set to what could be read and the call fails with the destination empty.
    bool readElements(CKSLBuffer& dest, unsigned long ulOffset, unsigned long& ulNumElems) const
    {
        CKSLBuffer result; // dest may be this buffer: read first, hand over last
        const bool bResult = kslCatch(false, KSL_HERE, [&] {
            if (ulNumElems == 0)
                return true;
            if (ulOffset > m_ulCount || ulNumElems > m_ulCount - ulOffset) {
                ulNumElems = ulOffset < m_ulCount ? m_ulCount - ulOffset : 0;
                throw CKSLBadArgException(L"ulNumElems + ulOffset", L"can't read more elements than are in this buffer",
                                          KSL_HERE);
            }
            result.adoptBlock(copyIntoNewBlock(m_pBuffer + ulOffset, ulNumElems, 0), ulNumElems);
            return true;
        });
        dest = static_cast<CKSLBuffer&&>(result);
        return bResult;
    }

    // A new buffer of element type U holding the same storage bytes; a last partial element is
    // completed with zero bytes (three bytes give two wide characters, the high half of the
    // second zero). Empty when this buffer is empty or the copy fails (logged).
    template <class U>
    CKSLBuffer<U> convertTo() const
    {
        CKSLBuffer<U> result;
        if (!isValid())
            return result;
        const unsigned long long ullBytes = static_cast<unsigned long long>(m_ulCount) * sizeof(T);
        const unsigned long long ullCount = (ullBytes + sizeof(U) - 1) / sizeof(U);
        if (ullCount > 0xFFFFFFFFull || !result.create(static_cast<unsigned long>(ullCount)))
            return result;
        std::memcpy(result.getBuffer(), m_pBuffer, static_cast<size_t>(ullBytes));
        return result;
    }

    bool isValid() const noexcept { return m_pBuffer != nullptr && m_ulCount != 0; }
    T* getBuffer() noexcept { return m_pBuffer; }
    const T* getBuffer() const noexcept { return m_pBuffer; }
    unsigned long getCount() const noexcept { return m_ulCount; }
    unsigned long getByteCount() const noexcept { return m_ulCount * static_cast<unsigned long>(sizeof(T)); }

protected:
    // A zero-filled block; CKSLMemAllocException ("m_pBuffer") when it cannot be had.
    static T* allocateBlock(unsigned long ulCount)
    {
        T* pBlock = nullptr;
        try {
            if (ulCount != 0 && ulCount <= ksl_detail::kslMaxElements<T>())
                pBlock = new (std::nothrow) T[ulCount];
        } catch (const std::bad_alloc&) {
            pBlock = nullptr; // a length the runtime refuses is an allocation failure like any other
        }
        if (pBlock == nullptr)
            throw CKSLMemAllocException(L"m_pBuffer", KSL_HERE);
        std::memset(pBlock, 0, ulCount * sizeof(T));
        return pBlock;
    }

    // Zero-fills a block (in a way the compiler may not drop) and frees it.
    static void releaseBlock(T* pBlock, unsigned long ulCount) noexcept
    {
        if (pBlock == nullptr)
            return;
        SecureZeroMemory(pBlock, ulCount * sizeof(T));
        delete[] pBlock;
    }

    // Releases the current block and takes pBlock (which may be null) with its count.
    void adoptBlock(T* pBlock, unsigned long ulCount) noexcept
    {
        T* pOld = m_pBuffer;
        const unsigned long ulOld = m_ulCount;
        m_pBuffer = pBlock;
        m_ulCount = pBlock != nullptr ? ulCount : 0;
        if (pOld != pBlock)
            releaseBlock(pOld, ulOld);
    }

    // Copies into a block that is not yet owned: a failed copy must not leak it.
    static void guardedCopy(T* pBlock, const T* pSource, unsigned long ulCopy, unsigned long ulBlockCount)
    {
        try {
            ksl_detail::copyElements(pBlock, pSource, ulCopy);
        } catch (...) {
            releaseBlock(pBlock, ulBlockCount);
            throw;
        }
    }

    // New block of ulCount + ulOffset elements with the source copied to ulOffset.
    static T* copyIntoNewBlock(const T* pSource, unsigned long ulCount, unsigned long ulOffset)
    {
        const unsigned long long ullTotal = static_cast<unsigned long long>(ulCount) + ulOffset;
        if (ullTotal > 0xFFFFFFFFull)
            throw CKSLMemAllocException(L"m_pBuffer", KSL_HERE);
        if (ullTotal == 0)
            return nullptr;
        T* pBlock = allocateBlock(static_cast<unsigned long>(ullTotal));
        guardedCopy(pBlock + ulOffset, pSource, ulCount, static_cast<unsigned long>(ullTotal));
        return pBlock;
    }

    // Makes this buffer a copy of ulCount elements; a block of the same size is reused.
    bool copyFrom(const T* pSource, unsigned long ulCount)
    {
        if (ulCount == m_ulCount && ulCount != 0) {
            ksl_detail::copyElements(m_pBuffer, pSource, ulCount);
            return true;
        }
        adoptBlock(copyIntoNewBlock(pSource, ulCount, 0), ulCount);
        return true;
    }

    // Constructor convention: the first failure is logged where it happens, then the
    // constructor reports CKSLBufferInitException to its caller.
    template <class F>
    static void initOrThrow(const wchar_t* wcsFile, int nLine, F&& body)
    {
        if (!kslCatch(false, wcsFile, nLine, static_cast<F&&>(body)))
            throw CKSLBufferInitException(wcsFile, nLine);
    }

    T* m_pBuffer;
    unsigned long m_ulCount;

private:
    static void checkWritable(const CKSLBuffer& other)
    {
        if (!other.isValid())
            throw CKSLBadArgException(L"buffer", L"buffer is of zero size - can't write", KSL_HERE);
    }

    void checkIndex(unsigned long ulIndex) const
    {
        if (ulIndex >= m_ulCount)
            throw CKSLIndexOutOfBoundsException(KSL_HERE);
    }
};

typedef CKSLBuffer<wchar_t> CKSLWCharBuffer;
typedef CKSLBuffer<BYTE> CKSLByteBuffer;
