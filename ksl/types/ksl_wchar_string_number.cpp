// CKSLWCharString: character classes, number notations, number text and byte codes.
// Numbers are parsed with exact 32-bit integer arithmetic.
#include "ksl_wchar_string.h"

#include "ksl_catch.h"
#include "ksl_method_trace.h"

namespace {

// A run of characters inside a string's block.
struct CSlice {
    const wchar_t* pText;
    unsigned long ulLength;
};

typedef bool (*DigitTest)(wchar_t);

bool isBinDigit(wchar_t wc) { return wc == L'0' || wc == L'1'; }
bool isOctDigit(wchar_t wc) { return wc >= L'0' && wc <= L'7'; }
bool isDecDigit(wchar_t wc) { return wc >= L'0' && wc <= L'9'; }
bool isHexDigit(wchar_t wc)
{
    return isDecDigit(wc) || (wc >= L'a' && wc <= L'f') || (wc >= L'A' && wc <= L'F');
}

unsigned long digitValue(wchar_t wc)
{
    if (isDecDigit(wc))
        return static_cast<unsigned long>(wc - L'0');
    if (wc >= L'a' && wc <= L'f')
        return static_cast<unsigned long>(wc - L'a' + 10);
    return static_cast<unsigned long>(wc - L'A' + 10);
}

wchar_t digitChar(unsigned long ulDigit)
{
    return static_cast<wchar_t>(ulDigit < 10 ? L'0' + ulDigit : L'A' + ulDigit - 10);
}

wchar_t toLower(wchar_t wc)
{
    return wc >= L'A' && wc <= L'Z' ? static_cast<wchar_t>(wc - L'A' + L'a') : wc;
}

bool allIn(CSlice text, DigitTest pfnDigit)
{
    for (unsigned long i = 0; i < text.ulLength; ++i) {
        if (!pfnDigit(text.pText[i]))
            return false;
    }
    return true;
}

bool isNumberText(CSlice text, bool bAllowSign, bool bAllowPoint)
{
    bool bDigit = false;
    bool bPoint = false;
    for (unsigned long i = 0; i < text.ulLength; ++i) {
        const wchar_t wc = text.pText[i];
        if (isDecDigit(wc))
            bDigit = true;
        else if (wc == L'-' && bAllowSign && i == 0)
            continue;
        else if (wc == L'.' && bAllowPoint && !bPoint && i != 0 && i + 1 != text.ulLength)
            bPoint = true;
        else
            return false;
    }
    // A sign or point alone is no number.
    return bDigit;
}

// Binary or octal notation: exactly one marker (either case), at index 1 ('0b101') or last
// ('101b'), every other character a digit. Gives the digits without the marker; a marker that is
// both second and last ('1b') counts as the trailing form, so its digit is kept.
bool isMarkerNotation(CSlice text, wchar_t wcMarker, DigitTest pfnDigit, CSlice& digits)
{
    unsigned long ulMarkers = 0;
    unsigned long ulMarkerPos = 0;
    for (unsigned long i = 0; i < text.ulLength; ++i) {
        if (toLower(text.pText[i]) == wcMarker) {
            ++ulMarkers;
            ulMarkerPos = i;
        } else if (!pfnDigit(text.pText[i])) {
            return false;
        }
    }
    if (ulMarkers != 1 || text.ulLength < 2)
        return false;
    if (ulMarkerPos + 1 == text.ulLength)
        digits = {text.pText, text.ulLength - 1};
    else if (ulMarkerPos == 1)
        digits = {text.pText + 2, text.ulLength - 2};
    else
        return false;
    return true;
}

// Hex notation: '0x' + digits, or digits + 'h' (either case), never both markers.
bool isHexNotationText(CSlice text, CSlice& digits)
{
    unsigned long ulX = 0, ulXPos = 0, ulH = 0, ulHPos = 0;
    bool bZeroX = false;
    for (unsigned long i = 0; i < text.ulLength; ++i) {
        const wchar_t wc = toLower(text.pText[i]);
        if (wc == L'x') {
            ++ulX;
            ulXPos = i;
            bZeroX = bZeroX || (i > 0 && text.pText[i - 1] == L'0');
        } else if (wc == L'h') {
            ++ulH;
            ulHPos = i;
        } else if (!isHexDigit(wc)) {
            return false;
        }
    }
    if (ulX > 1 || ulH > 1 || ulX + ulH != 1 || text.ulLength < 2)
        return false;
    if (bZeroX) {
        if (ulXPos != 1)
            return false;
        digits = {text.pText + 2, text.ulLength - 2};
        return true;
    }
    if (ulH != 1 || ulHPos + 1 != text.ulLength)
        return false;
    digits = {text.pText, text.ulLength - 1};
    return true;
}

// Digits to a value: digit * base^k summed, kept in 32 bits.
unsigned long foldDigits(CSlice digits, unsigned long ulBase)
{
    unsigned long ulValue = 0;
    for (unsigned long i = 0; i < digits.ulLength; ++i)
        ulValue = ulValue * ulBase + digitValue(digits.pText[i]);
    return ulValue;
}

void throwOverflow(const wchar_t* wcsArgName, const wchar_t* wcsText)
{
    throw CKSLBadArgException(wcsArgName, wcsText, nullptr, 0);
}

// A signed decimal number; a value outside the signed 32-bit range is rejected rather than cut.
bool parseDecimal(CSlice text, unsigned long& ulValue)
{
    if (!isNumberText(text, true, false))
        return false;
    const bool bNegative = text.pText[0] == L'-';
    const unsigned long long ullLimit = bNegative ? 0x80000000ull : 0x7FFFFFFFull;
    unsigned long long ullMagnitude = 0;
    for (unsigned long i = bNegative ? 1 : 0; i < text.ulLength; ++i) {
        ullMagnitude = ullMagnitude * 10 + digitValue(text.pText[i]);
        if (ullMagnitude > ullLimit)
            throwOverflow(L"this string", L"decimal value in string will overflow long value");
    }
    const unsigned long ulMagnitude = static_cast<unsigned long>(ullMagnitude);
    ulValue = bNegative ? 0ul - ulMagnitude : ulMagnitude;
    return true;
}

// Plain digits or the notation of one number system, with its digit limit.
bool parseInBase(CSlice text, wchar_t wcMarker, DigitTest pfnDigit, unsigned long ulBase, unsigned long ulMaxDigits,
                 const wchar_t* wcsArgName, const wchar_t* wcsOverflow, unsigned long& ulValue)
{
    CSlice digits = text;
    const bool bNotation = wcMarker == L'x' ? isHexNotationText(text, digits)
                                            : isMarkerNotation(text, wcMarker, pfnDigit, digits);
    if (!allIn(text, pfnDigit) && !bNotation)
        return false;
    if (digits.ulLength == 0)
        return false;
    if (digits.ulLength > ulMaxDigits)
        throwOverflow(wcsArgName, wcsOverflow);
    ulValue = foldDigits(digits, ulBase);
    return true;
}

// Parses text already cut of surrounding white space. Only the requested system's own marker is
// stripped, so hex digits such as '1B' keep their value.
bool parseNumber(CSlice text, unsigned long ulNumberSystem, unsigned long& ulValue)
{
    switch (ulNumberSystem) {
    case CKSLWCharString::nsHex:
        return parseInBase(text, L'x', isHexDigit, 16, 8, L"this string",
                           L"too many hex digits in string - will overflow unsigned long value", ulValue);
    case CKSLWCharString::nsBin:
        return parseInBase(text, L'b', isBinDigit, 2, 32, L"this",
                           L"too many binary digits in string - will overflow unsigned long value", ulValue);
    case CKSLWCharString::nsOct:
        return parseInBase(text, L'o', isOctDigit, 8, 12, L"this string",
                           L"too many octal digits in string - will overflow unsigned long value", ulValue);
    case CKSLWCharString::nsDec:
        return parseDecimal(text, ulValue);
    default:
        return false;
    }
}

CSlice trimWhiteSpace(CSlice text)
{
    while (text.ulLength > 0 && CKSLWCharString::isSelectedWhiteSpace(text.pText[0], CKSLWCharString::wsAll)) {
        ++text.pText;
        --text.ulLength;
    }
    while (text.ulLength > 0 &&
           CKSLWCharString::isSelectedWhiteSpace(text.pText[text.ulLength - 1], CKSLWCharString::wsAll))
        --text.ulLength;
    return text;
}

} // namespace

// --- character classes and notations ---------------------------------------------------------

bool CKSLWCharString::isNumber(bool bAllowSign, bool bAllowPoint) const
{
    return isValid() && isNumberText({m_pBuffer, getLength()}, bAllowSign, bAllowPoint);
}

bool CKSLWCharString::isBinary() const
{
    return isValid() && allIn({m_pBuffer, getLength()}, isBinDigit);
}

bool CKSLWCharString::isHex() const
{
    return isValid() && allIn({m_pBuffer, getLength()}, isHexDigit);
}

bool CKSLWCharString::isOctal() const
{
    return isValid() && allIn({m_pBuffer, getLength()}, isOctDigit);
}

bool CKSLWCharString::isBinaryNotation() const
{
    CSlice digits;
    return isValid() && isMarkerNotation({m_pBuffer, getLength()}, L'b', isBinDigit, digits);
}

bool CKSLWCharString::isOctalNotation() const
{
    CSlice digits;
    return isValid() && isMarkerNotation({m_pBuffer, getLength()}, L'o', isOctDigit, digits);
}

bool CKSLWCharString::isHexNotation() const
{
    CSlice digits;
    return isValid() && isHexNotationText({m_pBuffer, getLength()}, digits);
}

bool CKSLWCharString::stripNotation()
{
    if (!isValid())
        return false;
    const CSlice text = {m_pBuffer, getLength()};
    CSlice digits;
    if (!isMarkerNotation(text, L'b', isBinDigit, digits) && !isMarkerNotation(text, L'o', isOctDigit, digits) &&
        !isHexNotationText(text, digits))
        return false;
    return kslCatch(false, KSL_HERE, [&] {
        assignText(digits.pText, digits.ulLength);
        return true;
    });
}

// --- numbers ---------------------------------------------------------------------------------

CKSLWCharString CKSLWCharString::asNumberSystem(unsigned long ulValue, unsigned long ulNumberSystem,
                                                unsigned short usWidth, bool bPrefix)
{
    unsigned long ulBase = 0;
    const wchar_t* wcsPrefix = L"";
    switch (ulNumberSystem) {
    case nsHex: ulBase = 16; wcsPrefix = L"0x"; break;
    case nsBin: ulBase = 2; wcsPrefix = L"0b"; break;
    case nsOct: ulBase = 8; wcsPrefix = L"0o"; break;
    case nsDec: ulBase = 10; break;
    default:
        throw CKSLBadArgException(L"asNumberSystem", L"mode isn't supported, must be hex,bin,or oct", KSL_HERE);
    }
    // Decimal is signed and takes neither width nor prefix.
    const bool bNegative = ulNumberSystem == nsDec && static_cast<long>(ulValue) < 0;
    unsigned long ulRest = bNegative ? 0ul - ulValue : ulValue;
    if (ulNumberSystem == nsDec) {
        usWidth = 0;
        bPrefix = false;
        wcsPrefix = bNegative ? L"-" : L"";
    }
    wchar_t wcsDigits[32]; // least significant first
    unsigned long ulDigits = 0;
    do {
        wcsDigits[ulDigits++] = digitChar(ulRest % ulBase);
        ulRest /= ulBase;
    } while (ulRest != 0);

    const unsigned long ulKept = usWidth != 0 ? usWidth : ulDigits;
    const unsigned long ulPrefix = bPrefix || bNegative ? static_cast<unsigned long>(wcslen(wcsPrefix)) : 0;
    CKSLWCharString result;
    initOrThrow(KSL_HERE, [&] {
        wchar_t* pBlock = allocateBlock(ulPrefix + ulKept + 1);
        for (unsigned long i = 0; i < ulPrefix; ++i)
            pBlock[i] = wcsPrefix[i];
        for (unsigned long i = 0; i < ulKept; ++i) {
            const unsigned long ulDigit = ulKept - 1 - i;
            pBlock[ulPrefix + i] = ulDigit < ulDigits ? wcsDigits[ulDigit] : L'0';
        }
        result.adoptBlock(pBlock, ulPrefix + ulKept + 1);
        return true;
    });
    return result;
}

bool CKSLWCharString::getNumber(unsigned long& ulValue, unsigned long ulNumberSystem) const
{
    return kslCatch(false, KSL_HERE, [&] {
        return isValid() && parseNumber(trimWhiteSpace({m_pBuffer, getLength()}), ulNumberSystem, ulValue);
    });
}

// --- byte codes ------------------------------------------------------------------------------

CKSLWCharString CKSLWCharString::getAsciiCodeString() const
{
    CKSLMethodTrace trace(L"CKSLWCharString", L"getAsciiCodeString", KSL_HERE);
    CKSLWCharString result;
    const bool bResult = kslCatchTraced(false, KSL_HERE, [&] {
        if (!isValid())
            return false;
        // Every element of the block, two bytes each, low byte first: "hh hh ... hh".
        const unsigned long long ullBytes = static_cast<unsigned long long>(m_ulCount) * 2;
        if (ullBytes * 3 >= 0xFFFFFFFFull)
            throw CKSLMemAllocException(L"m_pBuffer", KSL_HERE);
        const unsigned long ulLength = static_cast<unsigned long>(ullBytes * 3 - 1);
        wchar_t* pBlock = allocateBlock(ulLength + 1);
        const BYTE* pBytes = reinterpret_cast<const BYTE*>(m_pBuffer);
        for (unsigned long i = 0; i < ullBytes; ++i) {
            wchar_t* pCode = pBlock + i * 3;
            pCode[0] = digitChar(pBytes[i] >> 4);
            pCode[1] = digitChar(pBytes[i] & 0x0F);
            if (i + 1 < ullBytes)
                pCode[2] = L' ';
        }
        result.adoptBlock(pBlock, ulLength + 1);
        return true;
    });
    trace.boolean(bResult);
    return result;
}

CKSLBuffer<BYTE> CKSLWCharString::getBufferFromAsciiCodeString() const
{
    CKSLMethodTrace trace(L"CKSLWCharString", L"getBufferFromAsciiCodeString", KSL_HERE);
    CKSLBuffer<BYTE> result;
    const bool bResult = kslCatchTraced(false, KSL_HERE, [&] {
        if (!isValid())
            return false;
        // Two code characters every three positions (the third is the separator).
        const unsigned long ulLength = getLength();
        const unsigned long ulCodes = ulLength >= 2 ? (ulLength - 2) / 3 + 1 : 0;
        CKSLBuffer<BYTE> bytes;
        if (ulCodes != 0 && !bytes.create(ulCodes))
            return false;
        for (unsigned long i = 0; i < ulCodes; ++i) {
            unsigned long ulCode = 0;
            if (!parseNumber(trimWhiteSpace({m_pBuffer + i * 3, 2}), nsHex, ulCode))
                return false; // a code that is not hex makes the whole text unusable
            bytes.getBuffer()[i] = static_cast<BYTE>(ulCode & 0xFF);
        }
        result = static_cast<CKSLBuffer<BYTE>&&>(bytes);
        return true;
    });
    trace.boolean(bResult);
    return result;
}
