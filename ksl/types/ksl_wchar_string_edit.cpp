// CKSLWCharString: in-place editing, cutting, replacing, trimming and fields.
#include "ksl_wchar_string.h"

#include <string>

#include "ksl_catch.h"

namespace {

// The white-space table, entry i chosen by bit i of a selection.
const wchar_t s_wcsWhiteSpace[] = {0x20, 0x09, 0x0C, 0x07, 0x0A, 0x08, 0x0D, 0x0B};

// How many removal or replacement rounds a sub-string mode asks for, and the first occurrence
// they act on; rejects the modes and occurrence numbers that cannot be served.
struct CRounds {
    unsigned long ulRounds;
    unsigned long ulFirst;
};

CRounds planRounds(unsigned long ulTotal, unsigned long ulOccurrance, unsigned long ulSubStringMode,
                   const wchar_t* wcsOccurTooLarge)
{
    const wchar_t* const wcsNotEnough = L"there aren't enough strings to accommodate ulOccurrance";
    switch (ulSubStringMode) {
    case CKSLWCharString::ssmAll:
        return {ulTotal, 1};
    case CKSLWCharString::ssmOccur:
        if (ulOccurrance == 0)
            throw CKSLBadArgException(L"ulOccurrance", L"ssmOccur mode requires ulOccurrance to be greater than 0",
                                      KSL_HERE);
        if (ulTotal < ulOccurrance)
            throw CKSLBadArgException(L"ulOccurrance", wcsOccurTooLarge != nullptr ? wcsOccurTooLarge : wcsNotEnough,
                                      KSL_HERE);
        return {1, ulOccurrance};
    case CKSLWCharString::ssmNum:
        if (ulOccurrance == 0)
            throw CKSLBadArgException(L"ulOccurrance", L"ssmNum mode requires ulOccurrance to be greater than 0",
                                      KSL_HERE);
        if (ulTotal < ulOccurrance)
            throw CKSLBadArgException(L"ulOccurrance", wcsNotEnough, KSL_HERE);
        return {ulOccurrance, 1};
    default:
        throw CKSLBadArgException(L"subStringMode", L"invalid mode", KSL_HERE);
    }
}

} // namespace

bool CKSLWCharString::isSelectedWhiteSpace(wchar_t wc, unsigned long ulSelection)
{
    for (unsigned i = 0; i < sizeof(s_wcsWhiteSpace) / sizeof(s_wcsWhiteSpace[0]); ++i) {
        if ((ulSelection & (1ul << i)) != 0 && wc == s_wcsWhiteSpace[i])
            return true;
    }
    return false;
}

bool CKSLWCharString::reverse()
{
    if (!isValid())
        return false;
    const unsigned long ulLength = getLength();
    for (unsigned long i = 0, j = ulLength; ulLength > 1 && i + 1 < j; ++i, --j) {
        const wchar_t wc = m_pBuffer[i];
        m_pBuffer[i] = m_pBuffer[j - 1];
        m_pBuffer[j - 1] = wc;
    }
    return true;
}

bool CKSLWCharString::makeLower()
{
    if (!isValid())
        return false;
    for (unsigned long i = 0, ulLength = getLength(); i < ulLength; ++i) {
        if (m_pBuffer[i] >= L'A' && m_pBuffer[i] <= L'Z')
            m_pBuffer[i] = static_cast<wchar_t>(m_pBuffer[i] - L'A' + L'a');
    }
    return true;
}

bool CKSLWCharString::dropInto(CKSLWCharString& target, const CKSLWCharString& source, unsigned long n,
                               bool bFromFront)
{
    if (!source.isValid())
        return false;
    const unsigned long ulLength = source.getLength();
    if (n == 0) {
        if (&target != &source)
            target = source;
    } else if (n >= ulLength) {
        target.destroy();
    } else {
        target.assignText(source.m_pBuffer + (bFromFront ? n : 0), ulLength - n);
    }
    return true;
}

bool CKSLWCharString::removeFirst(unsigned long n)
{
    return kslCatch(false, KSL_HERE, [&] { return dropInto(*this, *this, n, true); });
}

bool CKSLWCharString::removeLast(unsigned long n)
{
    return kslCatch(false, KSL_HERE, [&] { return dropInto(*this, *this, n, false); });
}

CKSLWCharString CKSLWCharString::withoutFirst(unsigned long n) const
{
    CKSLWCharString result;
    kslCatch(false, KSL_HERE, [&] { return dropInto(result, *this, n, true); });
    return result;
}

CKSLWCharString CKSLWCharString::withoutLast(unsigned long n) const
{
    CKSLWCharString result;
    kslCatch(false, KSL_HERE, [&] { return dropInto(result, *this, n, false); });
    return result;
}

bool CKSLWCharString::insert(const TextRef& str, unsigned long ulPos)
{
    return kslCatch(false, KSL_HERE, [&] {
        if (!isValid() && ulPos != 0)
            return false;
        if (!str.isValid())
            throw CKSLBadArgException(L"string", L"can't insert an invalid string", KSL_HERE);
        if (ulPos > getLength())
            throw CKSLBadArgException(L"ulPos", L"position is out of string bounds", KSL_HERE);
        if (str.getLength() != 0)
            spliceText(ulPos, 0, str.getText(), str.getLength());
        return true;
    });
}

bool CKSLWCharString::deleteSubString(const TextRef& subString, unsigned long ulOccurrance,
                                      unsigned long ulSubStringMode)
{
    return kslCatch(false, KSL_HERE, [&] {
        if (!aliases(subString))
            return removeOccurrences(subString, ulOccurrance, ulSubStringMode);
        CKSLWCharString copy;
        copy.assignText(subString.getText(), subString.getLength());
        return removeOccurrences(copy, ulOccurrance, ulSubStringMode);
    });
}

bool CKSLWCharString::removeOccurrences(const TextRef& subString, unsigned long ulOccurrance,
                                        unsigned long ulSubStringMode)
{
    const unsigned long ulTotal = getOccurrenceCount(subString);
    if (ulTotal == 0)
        return false;
    const CRounds rounds = planRounds(ulTotal, ulOccurrance, ulSubStringMode, nullptr);
    const unsigned long ulSub = subString.getLength();
    bool bAll = true;
    for (unsigned long ulRound = 0; ulRound < rounds.ulRounds; ++ulRound) {
        const unsigned long ulLength = getLength();
        unsigned long ulPos = 0;
        if (!findIn(m_pBuffer, ulLength, subString, rounds.ulFirst, pmFromStart, ulPos)) {
            bAll = false;
            break;
        }
        // Cut out in place; the block is compacted once at the end.
        ksl_detail::copyElements(m_pBuffer + ulPos, m_pBuffer + ulPos + ulSub, ulLength - ulPos - ulSub);
        for (unsigned long i = ulLength - ulSub; i < ulLength; ++i)
            m_pBuffer[i] = L'\0';
    }
    compact();
    return bAll;
}

bool CKSLWCharString::replace(const TextRef& oldString, const TextRef& newString, unsigned long ulOccurrance,
                              unsigned long ulSubStringMode)
{
    return kslCatch(false, KSL_HERE, [&] {
        if (!isValid())
            return false;
        // Arguments that point into this string are copied first: the text changes under them.
        CKSLWCharString oldCopy, newCopy;
        if (aliases(oldString))
            oldCopy.assignText(oldString.getText(), oldString.getLength());
        if (aliases(newString))
            newCopy.assignText(newString.getText(), newString.getLength());
        return replaceOccurrences(aliases(oldString) ? TextRef(oldCopy) : oldString,
                                  aliases(newString) ? TextRef(newCopy) : newString, ulOccurrance, ulSubStringMode);
    });
}

bool CKSLWCharString::replaceOccurrences(const TextRef& oldString, const TextRef& newString,
                                         unsigned long ulOccurrance, unsigned long ulSubStringMode)
{
    if (!oldString.isValid())
        throw CKSLBadArgException(L"oldString", L"string is invalid", KSL_HERE);
    const unsigned long ulTotal = getOccurrenceCount(oldString);
    if (ulTotal == 0)
        return false;
    const CRounds rounds = planRounds(ulTotal, ulOccurrance, ulSubStringMode, L"occurrance is out of bounds");
    if (ulSubStringMode == ssmAll) {
        replaceAll(oldString, newString);
        return true;
    }
    // Skip step: occurrences that each inserted copy brings along are passed over. Only the new
    // text can bring any: skipping by the copies of the new text inside the old one (when the
    // new text is the shorter) would pass over real occurrences, so that replacing every "ab"
    // in "abab" by "a" stopped half way and failed.
    const unsigned long ulSkip = countIn(newString.getText(), newString.getLength(), oldString);
    unsigned long ulNumber = rounds.ulFirst;
    for (unsigned long ulRound = 0; ulRound < rounds.ulRounds; ++ulRound) {
        unsigned long ulPos = 0;
        if (!findIn(m_pBuffer, getLength(), oldString, ulNumber, pmFromStart, ulPos))
            return false;
        spliceText(ulPos, oldString.getLength(), newString.getText(), newString.getLength());
        ulNumber += ulSkip;
    }
    return true;
}

// Every non-overlapping occurrence from left to right, each search resuming behind the text just
// replaced (what a find-and-replace loop over std::wstring gives), built in one pass into a new
// block: counting occurrences first and searching from the start each round went wrong where
// the inserted text and what follows it formed a new occurrence, and took quadratic time.
void CKSLWCharString::replaceAll(const TextRef& oldString, const TextRef& newString)
{
    const unsigned long ulLength = getLength();
    const unsigned long ulOld = oldString.getLength();
    std::wstring result;
    result.reserve(ulLength);
    unsigned long ulPos = 0;
    unsigned long ulFound = 0;
    while (findIn(m_pBuffer + ulPos, ulLength - ulPos, oldString, 1, pmFromStart, ulFound)) {
        result.append(m_pBuffer + ulPos, ulFound);
        if (newString.isValid())
            result.append(newString.getText(), newString.getLength());
        ulPos += ulFound + ulOld;
    }
    result.append(m_pBuffer + ulPos, ulLength - ulPos);
    assignText(result.data(), static_cast<unsigned long>(result.size()));
}

bool CKSLWCharString::extractOutside(unsigned long ulStartPos, unsigned long ulEndPos, bool bDropStart,
                                     bool bDropEnd)
{
    return kslCatch(false, KSL_HERE, [&] {
        if (!isValid())
            return false;
        const unsigned long ulLength = getLength();
        if (ulStartPos >= ulLength)
            throw CKSLBadArgException(L"ulStartPos", L"start position is past the end of the string", KSL_HERE);
        if (ulEndPos >= ulLength)
            throw CKSLBadArgException(L"ulEndPos", L"end position is past the end of the string", KSL_HERE);
        if (ulStartPos == ulEndPos)
            throw CKSLBadArgException(L"ulEndPos & ulStartPos", L"start and end positions can't be equal", KSL_HERE);
        if (ulStartPos < ulEndPos) {
            // Keep 0..start and end..length-1: the characters in between go.
            const unsigned long ulCutFrom = bDropStart ? ulStartPos : ulStartPos + 1;
            const unsigned long ulCutTo = bDropEnd ? ulEndPos + 1 : ulEndPos;
            spliceText(ulCutFrom, ulCutTo - ulCutFrom, nullptr, 0);
        } else {
            // Keep end..start.
            const unsigned long ulFrom = bDropEnd ? ulEndPos + 1 : ulEndPos;
            const unsigned long ulTo = bDropStart ? ulStartPos : ulStartPos + 1;
            assignText(m_pBuffer + ulFrom, ulTo - ulFrom);
        }
        return true;
    });
}

bool CKSLWCharString::extract(CKSLWCharString& out, unsigned long ulStartPos, unsigned long ulEndPos,
                              bool bIncludeStart, bool bIncludeEnd) const
{
    return kslCatch(false, KSL_HERE, [&] {
        if (!isValid())
            return false;
        if (ulStartPos > ulEndPos)
            throw CKSLBadArgException(
                L"ulStartPos",
                L"start position can't be greater than end position - use extractOutside( ) or deleteRange( ) instead",
                KSL_HERE);
        CKSLWCharString result; // out may be this string
        if (ulStartPos == ulEndPos) {
            // One character, which must lie inside the text.
            if (ulEndPos >= getLength())
                throw CKSLBadArgException(L"ulEndPos", L"end position is past the end of the string", KSL_HERE);
            if (bIncludeStart || bIncludeEnd)
                result.assignText(m_pBuffer + ulStartPos, 1);
        } else {
            // A range is what extractOutside keeps of a copy when given the ends the other way
            // round; its checks (an end past the text is its "ulStartPos") speak for this call.
            result = *this;
            if (!result.extractOutside(ulEndPos, ulStartPos, !bIncludeEnd, !bIncludeStart))
                return false;
        }
        out = static_cast<CKSLWCharString&&>(result);
        return true;
    });
}

bool CKSLWCharString::extractBetween(CKSLWCharString& out, const TextRef& startDelimiter,
                                     unsigned long ulStartOccurrance, const TextRef& endDelimiter,
                                     unsigned long ulEndOccurrance, bool bIncludeStartDelimiter,
                                     bool bIncludeEndDelimiter) const
{
    unsigned long ulStart = 0;
    unsigned long ulEnd = 0;
    if (!find(startDelimiter, ulStartOccurrance, pmFromStart, ulStart) ||
        !find(endDelimiter, ulEndOccurrance, pmFromEnd, ulEnd))
        return false;
    // Positions of the first and last character that may be part of the result.
    const unsigned long ulFrom = bIncludeStartDelimiter ? ulStart : ulStart + startDelimiter.getLength() - 1;
    const unsigned long ulTo = bIncludeEndDelimiter ? ulEnd + endDelimiter.getLength() - 1 : ulEnd;
    return extract(out, ulFrom, ulTo, bIncludeStartDelimiter, bIncludeEndDelimiter);
}

bool CKSLWCharString::cutAt(const TextRef& delimiter, unsigned long ulOccurrance, unsigned long ulParseMode,
                            bool bExcludeDelimiter)
{
    if (ulParseMode != pmFromStart && ulParseMode != pmFromEnd)
        return false;
    unsigned long ulPos = 0;
    if (!find(delimiter, ulOccurrance, ulParseMode, ulPos))
        return false;
    const unsigned long ulDelimiter = delimiter.getLength();
    if (ulParseMode == pmFromStart)
        return removeFirst(bExcludeDelimiter ? ulPos + ulDelimiter : ulPos);
    const unsigned long ulKeep = bExcludeDelimiter ? ulPos : ulPos + ulDelimiter;
    return removeLast(getLength() - ulKeep);
}

bool CKSLWCharString::trim(wchar_t wcChar, const CKSLFlags& sides, const CKSLFlags& whiteSpace)
{
    if (!isValid())
        return false;
    return kslCatch(false, KSL_HERE, [&] {
        trimBits(wcChar, sides.getFlags(), whiteSpace.getFlags());
        return true;
    });
}

void CKSLWCharString::trimBits(wchar_t wcChar, unsigned long ulSides, unsigned long ulWhiteSpace)
{
    unsigned long ulLength = getLength();
    auto cuts = [&](wchar_t wc) { return wc == wcChar || isSelectedWhiteSpace(wc, ulWhiteSpace); };
    if ((ulSides & sideTrailing) != 0) {
        // The trailing cut only writes zeros; the block keeps its size.
        while (ulLength > 0 && cuts(m_pBuffer[ulLength - 1]))
            m_pBuffer[--ulLength] = L'\0';
    }
    if ((ulSides & sideLeading) != 0) {
        unsigned long ulLeading = 0;
        while (ulLeading < ulLength && cuts(m_pBuffer[ulLeading]))
            ++ulLeading;
        removeFirst(ulLeading);
    }
}

bool CKSLWCharString::removeWhitespace(const CKSLFlags& sides, const CKSLFlags& whiteSpace)
{
    if (!isValid())
        return true;
    return kslCatch(false, KSL_HERE, [&] {
        removeWhitespaceBits(sides.getFlags(), whiteSpace.getFlags());
        return true;
    });
}

void CKSLWCharString::removeWhitespaceBits(unsigned long ulSides, unsigned long ulWhiteSpace)
{
    const unsigned long ulSide = ulSides & sideBoth;
    if (!isValid() || ulSide == 0 || (ulWhiteSpace & wsAll) == 0)
        return;
    const unsigned long ulLength = getLength();
    auto isWhite = [&](wchar_t wc) { return isSelectedWhiteSpace(wc, ulWhiteSpace); };
    // First and one past the last character that is not selected white space; a text of white
    // space only is all leading and all trailing run.
    unsigned long ulFirst = 0;
    while (ulFirst < ulLength && isWhite(m_pBuffer[ulFirst]))
        ++ulFirst;
    unsigned long ulEnd = ulLength;
    while (ulEnd > ulFirst && isWhite(m_pBuffer[ulEnd - 1]))
        --ulEnd;
    if (ulFirst == ulLength) {
        destroy();
        return;
    }
    const bool bMiddle = ulSide == sideBoth;
    auto keeps = [&](unsigned long i) {
        if (i < ulFirst)
            return (ulSide & sideLeading) == 0;
        if (i >= ulEnd)
            return (ulSide & sideTrailing) == 0;
        return !bMiddle || !isWhite(m_pBuffer[i]);
    };
    unsigned long ulKept = 0;
    for (unsigned long i = 0; i < ulLength; ++i)
        ulKept += keeps(i) ? 1 : 0;
    if (ulKept == ulLength)
        return;
    wchar_t* pBlock = allocateBlock(ulKept + 1);
    for (unsigned long i = 0, j = 0; i < ulLength; ++i) {
        if (keeps(i))
            pBlock[j++] = m_pBuffer[i];
    }
    adoptBlock(pBlock, ulKept + 1);
}

bool CKSLWCharString::getField(CKSLWCharString& out, const TextRef& delimiter, unsigned long ulOccurrance,
                               unsigned long ulParseMode, const CKSLFlags& sides, const CKSLFlags& whiteSpace) const
{
    return kslCatch(false, KSL_HERE, [&] {
        if (!isValid() || !delimiter.isValid())
            return false;
        if (ulOccurrance == 0)
            throw CKSLBadArgException(L"ulOccurrance", L"ulOccurrance must be greater than 0", KSL_HERE);
        CKSLWCharString field; // out may be this string
        if (!buildField(field, delimiter, ulOccurrance, ulParseMode))
            return false;
        field.removeWhitespaceBits(sides.getFlags(), whiteSpace.getFlags());
        out = static_cast<CKSLWCharString&&>(field);
        return true;
    });
}

bool CKSLWCharString::buildField(CKSLWCharString& field, const TextRef& delimiter, unsigned long ulOccurrance,
                                 unsigned long ulParseMode) const
{
    const unsigned long ulLength = getLength();
    const unsigned long ulTotal = getOccurrenceCount(delimiter);
    auto delimiterAt = [&](unsigned long ulNumber) {
        unsigned long ulPos = 0;
        findIn(m_pBuffer, ulLength, delimiter, ulNumber, pmFromStart, ulPos);
        return ulPos;
    };
    unsigned long ulFrom = 0;
    unsigned long ulTo = ulLength;
    if (ulTotal == 0) {
        if (ulOccurrance != 1)
            return false;
    } else if (ulParseMode == pmFromStart) {
        if (ulOccurrance - 1 > ulTotal)
            return false;
        if (ulOccurrance > 1)
            ulFrom = delimiterAt(ulOccurrance - 1) + delimiter.getLength();
        if (ulOccurrance <= ulTotal)
            ulTo = delimiterAt(ulOccurrance);
    } else if (ulParseMode == pmFromEnd) {
        if (ulOccurrance >= ulTotal)
            return false;
        ulFrom = delimiterAt(ulOccurrance) + delimiter.getLength();
        ulTo = delimiterAt(ulOccurrance + 1);
    } else {
        return false;
    }
    // Overlapping delimiters leave nothing between them.
    field.assignText(m_pBuffer + ulFrom, ulTo > ulFrom ? ulTo - ulFrom : 0);
    return true;
}
