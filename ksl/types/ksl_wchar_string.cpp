// CKSLWCharString: construction, assignment, comparison, concatenation and searching.
#include "ksl_wchar_string.h"

#include <cwchar>

#include "ksl_catch.h"
#include "ksl_method_trace.h"

namespace {

// Three-way comparison of n code units as unsigned 16-bit values.
int compareUnits(const wchar_t* a, const wchar_t* b, unsigned long n)
{
    for (unsigned long i = 0; i < n; ++i) {
        const unsigned short usA = static_cast<unsigned short>(a[i]);
        const unsigned short usB = static_cast<unsigned short>(b[i]);
        if (usA != usB)
            return usA < usB ? -1 : 1;
    }
    return 0;
}

bool matchesAt(const wchar_t* wcsText, unsigned long ulPos, const CKSLWCharString::TextRef& subString)
{
    return compareUnits(wcsText + ulPos, subString.getText(), subString.getLength()) == 0;
}

} // namespace

// --- text arguments --------------------------------------------------------------------------

CKSLWCharString::TextRef::TextRef(const wchar_t* wcsText) noexcept
    : m_wcsText(wcsText != nullptr && *wcsText != L'\0' ? wcsText : nullptr),
      m_ulLength(m_wcsText != nullptr ? static_cast<unsigned long>(wcslen(wcsText)) : 0)
{
}

CKSLWCharString::TextRef::TextRef(const CKSLWCharString& str) noexcept
    : m_wcsText(str.isValid() ? str.getBuffer() : nullptr), m_ulLength(str.getLength())
{
}

// --- construction and assignment -------------------------------------------------------------

CKSLWCharString::CKSLWCharString(const wchar_t* wcsText)
{
    const TextRef text(wcsText);
    initOrThrow(KSL_HERE, [&] {
        assignText(text.getText(), text.getLength());
        return true;
    });
}

CKSLWCharString::CKSLWCharString(wchar_t wcChar)
{
    initOrThrow(KSL_HERE, [&] {
        assignText(&wcChar, wcChar != L'\0' ? 1 : 0);
        return true;
    });
}

CKSLWCharString::CKSLWCharString(long lValue)
    : CKSLWCharString(asNumberSystem(static_cast<unsigned long>(lValue), nsDec))
{
}

CKSLWCharString& CKSLWCharString::operator=(const wchar_t* wcsText)
{
    const TextRef text(wcsText);
    kslCatch(false, KSL_HERE, [&] {
        assignText(text.getText(), text.getLength());
        return true;
    });
    return *this;
}

CKSLWCharString& CKSLWCharString::operator=(wchar_t wcChar)
{
    kslCatch(false, KSL_HERE, [&] {
        assignText(&wcChar, wcChar != L'\0' ? 1 : 0);
        return true;
    });
    return *this;
}

CKSLWCharString& CKSLWCharString::operator=(const CKSLBuffer<wchar_t>& buffer)
{
    kslCatch(false, KSL_HERE, [&] {
        const unsigned long ulLength =
            buffer.isValid() ? static_cast<unsigned long>(wcsnlen(buffer.getBuffer(), buffer.getCount())) : 0;
        assignText(buffer.getBuffer(), ulLength);
        return true;
    });
    return *this;
}

unsigned long CKSLWCharString::getLength() const noexcept
{
    if (!isValid())
        return 0;
    // Bounded by the block, so a buffer written without terminator is never overrun.
    return static_cast<unsigned long>(wcsnlen(m_pBuffer, m_ulCount - 1));
}

void CKSLWCharString::assignText(const wchar_t* wcsText, unsigned long ulLength)
{
    if (ulLength == 0 || wcsText == nullptr) {
        destroy();
        return;
    }
    if (ulLength == 0xFFFFFFFFul)
        throw CKSLMemAllocException(L"m_pBuffer", KSL_HERE);
    wchar_t* pBlock = allocateBlock(ulLength + 1);
    guardedCopy(pBlock, wcsText, ulLength, ulLength + 1);
    adoptBlock(pBlock, ulLength + 1);
}

void CKSLWCharString::spliceText(unsigned long ulPos, unsigned long ulRemove, const wchar_t* wcsInsert,
                                 unsigned long ulInsert)
{
    const unsigned long ulLength = getLength();
    const unsigned long long ullNew = static_cast<unsigned long long>(ulLength) - ulRemove + ulInsert;
    if (ullNew == 0) {
        destroy();
        return;
    }
    if (ullNew >= 0xFFFFFFFFull)
        throw CKSLMemAllocException(L"m_pBuffer", KSL_HERE);
    const unsigned long ulNew = static_cast<unsigned long>(ullNew);
    // The old block stays alive until the new one is complete: the inserted text may lie in it.
    wchar_t* pBlock = allocateBlock(ulNew + 1);
    guardedCopy(pBlock, m_pBuffer, ulPos, ulNew + 1);
    guardedCopy(pBlock + ulPos, wcsInsert, ulInsert, ulNew + 1);
    guardedCopy(pBlock + ulPos + ulInsert, m_pBuffer + ulPos + ulRemove, ulLength - ulPos - ulRemove, ulNew + 1);
    adoptBlock(pBlock, ulNew + 1);
}

bool CKSLWCharString::aliases(const TextRef& text) const noexcept
{
    return text.isValid() && m_pBuffer != nullptr && text.getText() >= m_pBuffer &&
           text.getText() < m_pBuffer + m_ulCount;
}

bool CKSLWCharString::compact()
{
    if (!isValid())
        return false;
    const unsigned long ulLength = getLength();
    if (ulLength == 0)
        return destroy();
    if (m_ulCount == ulLength + 1)
        return true;
    return resize(ulLength + 1);
}

// --- comparison ------------------------------------------------------------------------------

bool CKSLWCharString::operator==(const TextRef& other) const
{
    if (!isValid() || !other.isValid())
        return isValid() == other.isValid();
    const unsigned long ulLength = getLength();
    return ulLength == other.getLength() && compareUnits(m_pBuffer, other.getText(), ulLength) == 0;
}

bool CKSLWCharString::operator!=(const TextRef& other) const
{
    return !(*this == other);
}

bool CKSLWCharString::operator<=(const TextRef& other) const
{
    if (!isValid() || !other.isValid())
        return false;
    const unsigned long ulLength = getLength();
    return ulLength == other.getLength() && compareUnits(m_pBuffer, other.getText(), ulLength) <= 0;
}

bool CKSLWCharString::operator>=(const TextRef& other) const
{
    if (!isValid() || !other.isValid())
        return false;
    const unsigned long ulLength = getLength();
    return ulLength == other.getLength() && compareUnits(m_pBuffer, other.getText(), ulLength) >= 0;
}

bool CKSLWCharString::operator<(const TextRef& other) const
{
    return !(*this >= other);
}

bool CKSLWCharString::operator>(const TextRef& other) const
{
    return !(*this <= other);
}

// --- concatenation ---------------------------------------------------------------------------

CKSLWCharString CKSLWCharString::operator+(const TextRef& other) const
{
    CKSLWCharString result;
    kslCatch(false, KSL_HERE, [&] {
        const unsigned long ulLength = getLength();
        const unsigned long ulOther = other.isValid() ? other.getLength() : 0;
        const unsigned long long ullTotal = static_cast<unsigned long long>(ulLength) + ulOther;
        if (ullTotal >= 0xFFFFFFFFull)
            throw CKSLMemAllocException(L"m_pBuffer", KSL_HERE);
        if (ullTotal == 0)
            return true;
        const unsigned long ulTotal = static_cast<unsigned long>(ullTotal);
        wchar_t* pBlock = allocateBlock(ulTotal + 1);
        guardedCopy(pBlock, m_pBuffer, ulLength, ulTotal + 1);
        guardedCopy(pBlock + ulLength, other.getText(), ulOther, ulTotal + 1);
        result.adoptBlock(pBlock, ulTotal + 1);
        return true;
    });
    return result;
}

CKSLWCharString& CKSLWCharString::operator+=(const TextRef& other)
{
    if (other.isValid() && other.getLength() != 0) {
        kslCatch(false, KSL_HERE, [&] {
            spliceText(getLength(), 0, other.getText(), other.getLength());
            return true;
        });
    }
    return *this;
}

CKSLWCharString& CKSLWCharString::operator+=(wchar_t wcChar)
{
    const wchar_t wcsText[2] = {wcChar, L'\0'};
    return *this += TextRef(wcsText);
}

// --- searching -------------------------------------------------------------------------------

bool CKSLWCharString::findIn(const wchar_t* wcsText, unsigned long ulLength, const TextRef& subString,
                             unsigned long ulOccurrance, unsigned long ulParseMode, unsigned long& ulPosition)
{
    // An empty pattern would match everywhere; it is treated like an invalid one.
    const unsigned long ulSub = subString.getLength();
    if (wcsText == nullptr || !subString.isValid() || ulSub == 0 || ulSub > ulLength || ulOccurrance == 0)
        return false;
    const unsigned long ulLast = ulLength - ulSub;
    unsigned long ulFound = 0;
    if (ulParseMode == pmFromStart) {
        for (unsigned long ulPos = 0; ulPos <= ulLast; ++ulPos) {
            if (matchesAt(wcsText, ulPos, subString) && ++ulFound == ulOccurrance) {
                ulPosition = ulPos;
                return true;
            }
        }
    } else if (ulParseMode == pmFromEnd) {
        for (unsigned long ulPos = ulLast + 1; ulPos-- > 0;) {
            if (matchesAt(wcsText, ulPos, subString) && ++ulFound == ulOccurrance) {
                ulPosition = ulPos;
                return true;
            }
        }
    }
    return false;
}

unsigned long CKSLWCharString::countIn(const wchar_t* wcsText, unsigned long ulLength, const TextRef& subString)
{
    const unsigned long ulSub = subString.getLength();
    if (wcsText == nullptr || !subString.isValid() || ulSub == 0 || ulSub > ulLength)
        return 0;
    unsigned long ulCount = 0;
    for (unsigned long ulPos = 0; ulPos <= ulLength - ulSub; ++ulPos) {
        if (matchesAt(wcsText, ulPos, subString))
            ++ulCount;
    }
    return ulCount;
}

bool CKSLWCharString::find(const TextRef& subString, unsigned long ulOccurrance, unsigned long ulParseMode,
                           unsigned long& ulPosition) const
{
    return kslCatch(false, KSL_HERE, [&] {
        if (!isValid() || !subString.isValid())
            return false;
        const unsigned long ulLength = getLength();
        if (ulLength < subString.getLength())
            return false;
        if (ulOccurrance > ulLength)
            throw CKSLBadArgException(L"ulOccurrance",
                                      L"value is impossible since it is larger than the length of this string",
                                      KSL_HERE);
        if (ulOccurrance == 0)
            throw CKSLBadArgException(L"ulOccurrance", L"value must be greater than 0", KSL_HERE);
        return findIn(m_pBuffer, ulLength, subString, ulOccurrance, ulParseMode, ulPosition);
    });
}

// Counted in one pass; the same count as looking up occurrences 1, 2, ... until one is missing,
// without the bad-argument record that the last lookup would log.
unsigned long CKSLWCharString::getOccurrenceCount(const TextRef& subString) const
{
    return isValid() ? countIn(m_pBuffer, getLength(), subString) : 0;
}

bool CKSLWCharString::contains(const TextRef& subString) const
{
    unsigned long ulPosition = 0;
    return find(subString, 1, pmFromStart, ulPosition);
}

bool CKSLWCharString::beginsWith(const TextRef& str) const
{
    CKSLMethodTrace trace(L"CKSLWCharString", L"beginsWith", KSL_HERE);
    const unsigned long ulSub = str.getLength();
    const bool bResult = isValid() && str.isValid() && ulSub != 0 && ulSub <= getLength() &&
                         matchesAt(m_pBuffer, 0, str);
    return trace.logical(bResult);
}

bool CKSLWCharString::endsWith(const TextRef& str) const
{
    CKSLMethodTrace trace(L"CKSLWCharString", L"endsWith", KSL_HERE);
    const unsigned long ulLength = getLength();
    const unsigned long ulSub = str.getLength();
    const bool bResult = isValid() && str.isValid() && ulSub != 0 && ulSub <= ulLength &&
                         matchesAt(m_pBuffer, ulLength - ulSub, str);
    return trace.logical(bResult);
}

bool CKSLWCharString::convertOccurrence(const TextRef& subString, unsigned long ulOccurrance,
                                        unsigned long ulParseMode, unsigned long& ulOtherOccurrance) const
{
    return kslCatch(false, KSL_HERE, [&] {
        if (!subString.isValid() || subString.getLength() == 0)
            throw CKSLBadArgException(L"subString", L"must contain a string", KSL_HERE);
        if (ulParseMode != pmFromStart && ulParseMode != pmFromEnd)
            throw CKSLBadArgException(L"parseMode", L"invalid parse mode", KSL_HERE);
        unsigned long ulPosition = 0;
        if (!find(subString, ulOccurrance, ulParseMode, ulPosition))
            return false;
        // Occurrences are the same positions in both directions, numbered the other way round.
        ulOtherOccurrance = getOccurrenceCount(subString) - ulOccurrance + 1;
        return true;
    });
}
