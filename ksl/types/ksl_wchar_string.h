// CKSLWCharString: the class library's string of UTF-16 code units, used for every name, path and
// value. It is a wide-character CKSLBuffer whose block holds the characters and one terminating
// zero; an invalid (empty) string has no block at all, so the empty text and a null pointer are
// the same thing: isValid() is false and getLength() is 0.
//
// The block is sized exactly (length + 1 after any operation that builds or compacts the text);
// some in-place edits write a zero into the middle, leaving a longer block until compact().
// Operations answer false (or an empty string) on failure and log a rejected argument as a
// CKSLBadArgException; only the constructors (CKSLBufferInitException) and the element access of
// the buffer throw to the caller. Characters are compared as unsigned 16-bit values.
#pragma once

#include <windows.h>

#include "ksl_buffer.h"
#include "ksl_dbllist.h"
#include "ksl_flags.h"

class CKSLWCharString : public CKSLBuffer<wchar_t> {
public:
    // Parse modes: occurrences counted left to right, or right to left.
    enum ParseMode : unsigned long { pmFromStart = 1, pmFromEnd = 2 };
    // Which occurrences deleteSubString and replace act on.
    enum SubStringMode : unsigned long { ssmAll = 1, ssmOccur = 2, ssmNum = 4 };
    enum NumberSystem : unsigned long { nsHex = 1, nsBin = 2, nsOct = 4, nsDec = 8 };
    // Side selections for trim, removeWhitespace and getField (3: both ends, and for
    // removeWhitespace also the middle of the text).
    enum Side : unsigned long { sideLeading = 1, sideTrailing = 2, sideBoth = 3 };
    // White-space selection bits: entry i of the table space, tab, form feed, bell, line feed,
    // backspace, carriage return, vertical tab; wsAll selects all eight.
    enum WhiteSpace : unsigned long {
        wsSpace = 0x01,
        wsTab = 0x02,
        wsFormFeed = 0x04,
        wsBell = 0x08,
        wsLineFeed = 0x10,
        wsBackspace = 0x20,
        wsCarriageReturn = 0x40,
        wsVerticalTab = 0x80,
        wsAll = 0xFF
    };

    // A text argument: either a string or a zero-terminated wide text, taken without copying.
    // A null pointer, the empty text and an invalid string are all invalid arguments.
    class TextRef {
    public:
        TextRef(const wchar_t* wcsText) noexcept;
        TextRef(const CKSLWCharString& str) noexcept;
        bool isValid() const noexcept { return m_wcsText != nullptr; }
        const wchar_t* getText() const noexcept { return m_wcsText; }
        unsigned long getLength() const noexcept { return m_ulLength; }

    private:
        const wchar_t* m_wcsText; // null when invalid
        unsigned long m_ulLength;
    };

    // --- construction and assignment -------------------------------------------------------
    CKSLWCharString() noexcept {}
    CKSLWCharString(const wchar_t* wcsText);
    // One character (the zero character gives an invalid string, as assignment does).
    explicit CKSLWCharString(wchar_t wcChar);
    // Decimal text of a signed 32-bit value.
    explicit CKSLWCharString(long lValue);
    explicit CKSLWCharString(int nValue) : CKSLWCharString(static_cast<long>(nValue)) {}
    // Deep copy of the whole block, also what stands behind an inner zero.
    CKSLWCharString(const CKSLWCharString& other) = default;
    CKSLWCharString(CKSLWCharString&& other) noexcept = default;
    ~CKSLWCharString() override = default;

    // The value in the number system, upper-case digits, least significant width digits kept or
    // zero-padded to width (0: as many as needed), with "0x"/"0b"/"0o" in front when bPrefix.
    // nsDec writes a signed value and ignores width and prefix. Throws CKSLBadArgException for an
    // unknown number system and CKSLBufferInitException when the text cannot be built.
    static CKSLWCharString asNumberSystem(unsigned long ulValue, unsigned long ulNumberSystem,
                                          unsigned short usWidth = 0, bool bPrefix = false);

    CKSLWCharString& operator=(const CKSLWCharString& other) = default;
    CKSLWCharString& operator=(CKSLWCharString&& other) noexcept = default;
    CKSLWCharString& operator=(const wchar_t* wcsText);
    CKSLWCharString& operator=(wchar_t wcChar);
    // A buffer without terminator: its text up to the first zero, then compacted.
    CKSLWCharString& operator=(const CKSLBuffer<wchar_t>& buffer);

    // --- access ----------------------------------------------------------------------------
    // The terminated text; "" for an invalid string, never null.
    const wchar_t* getString() const noexcept { return m_pBuffer != nullptr ? m_pBuffer : L""; }
    // Characters before the first zero (at most count - 1); 0 when invalid.
    unsigned long getLength() const noexcept;

    // --- comparison ------------------------------------------------------------------------
    // Equal: both invalid, or both valid with equal length and equal characters.
    bool operator==(const TextRef& other) const;
    bool operator!=(const TextRef& other) const;
    // <= and >= hold only between valid strings of the same length; < and > are their
    // negations, so strings of different lengths are both < and > each other.
    bool operator<=(const TextRef& other) const;
    bool operator>=(const TextRef& other) const;
    bool operator<(const TextRef& other) const;
    bool operator>(const TextRef& other) const;

    // --- concatenation ---------------------------------------------------------------------
    CKSLWCharString operator+(const TextRef& other) const;
    // Appends when the other text is not empty; the block grows to exactly the new length + 1.
    CKSLWCharString& operator+=(const TextRef& other);
    CKSLWCharString& operator+=(wchar_t wcChar);

    // --- queries ---------------------------------------------------------------------------
    // Start of the ulOccurrance-th occurrence (overlapping ones count) in the parse mode.
    // Occurrence 0 or one larger than this length is a logged bad argument.
    bool find(const TextRef& subString, unsigned long ulOccurrance, unsigned long ulParseMode,
              unsigned long& ulPosition) const;
    unsigned long getOccurrenceCount(const TextRef& subString) const;
    bool contains(const TextRef& subString) const;
    bool beginsWith(const TextRef& str) const; // traced
    bool endsWith(const TextRef& str) const;   // traced
    // The number the same occurrence has when counted in the other parse mode.
    bool convertOccurrence(const TextRef& subString, unsigned long ulOccurrance, unsigned long ulParseMode,
                           unsigned long& ulOtherOccurrance) const;
    bool isNumber(bool bAllowSign = false, bool bAllowPoint = false) const;
    bool isBinary() const;
    bool isHex() const;
    bool isOctal() const;
    // '0b101' or '101b'; '0o17' or '17o'; '0x1F' or '1Fh' (markers in either case).
    bool isBinaryNotation() const;
    bool isHexNotation() const;
    bool isOctalNotation() const;

    // --- editing ---------------------------------------------------------------------------
    bool reverse();
    bool makeLower();
    // Drop n characters; n >= length (n != 0) leaves an invalid string, n = 0 changes nothing.
    bool removeFirst(unsigned long n);
    bool removeLast(unsigned long n);
    CKSLWCharString withoutFirst(unsigned long n) const;
    CKSLWCharString withoutLast(unsigned long n) const;
    // Inserts before position ulPos (ulPos = length appends).
    bool insert(const TextRef& str, unsigned long ulPos);
    bool deleteSubString(const TextRef& subString, unsigned long ulOccurrance, unsigned long ulSubStringMode);
    // An invalid newString only deletes. Occurrences brought in by the inserted text are skipped.
    bool replace(const TextRef& oldString, const TextRef& newString, unsigned long ulOccurrance,
                 unsigned long ulSubStringMode);
    // Start < end: keeps 0..start and end..length-1; end < start: keeps end..start. The drop
    // flags also remove the character at start or end.
    bool extractOutside(unsigned long ulStartPos, unsigned long ulEndPos, bool bDropStart, bool bDropEnd);
    // The characters start..end into out, each end included as asked; this string is unchanged.
    bool extract(CKSLWCharString& out, unsigned long ulStartPos, unsigned long ulEndPos, bool bIncludeStart,
                 bool bIncludeEnd) const;
    // The text between the start delimiter's occurrence (from the start) and the end
    // delimiter's occurrence (from the end), delimiters included as asked.
    bool extractBetween(CKSLWCharString& out, const TextRef& startDelimiter, unsigned long ulStartOccurrance,
                        const TextRef& endDelimiter, unsigned long ulEndOccurrance, bool bIncludeStartDelimiter,
                        bool bIncludeEndDelimiter) const;
    // pmFromStart keeps what follows the delimiter occurrence, pmFromEnd what precedes it; the
    // delimiter itself stays unless bExcludeDelimiter.
    bool cutAt(const TextRef& delimiter, unsigned long ulOccurrance, unsigned long ulParseMode,
               bool bExcludeDelimiter);
    // Cuts wcChar and the selected white space from the chosen ends.
    bool trim(wchar_t wcChar, const CKSLFlags& sides, const CKSLFlags& whiteSpace);
    // Removes the selected white space from the leading (1) and trailing (2) runs; 3 also from
    // the middle of the text.
    bool removeWhitespace(const CKSLFlags& sides, const CKSLFlags& whiteSpace);
    // Field ulOccurrance (from 1) of a delimited text into out, white space removed as asked.
    bool getField(CKSLWCharString& out, const TextRef& delimiter, unsigned long ulOccurrance,
                  unsigned long ulParseMode, const CKSLFlags& sides, const CKSLFlags& whiteSpace) const;
    // Every field into the list (keys 0, 1, ...), first to last; pmFromEnd: last to first.
    bool split(CKSLDblList<CKSLObjNode<CKSLWCharString>>& list, const TextRef& delimiter, unsigned long ulParseMode,
               const CKSLFlags& sides, const CKSLFlags& whiteSpace) const;
    // Removes the marker of a binary, octal or hex notation (tested in that order).
    bool stripNotation();
    // Shrinks the block to length + 1; a text of length 0 becomes invalid.
    bool compact();

    // --- numbers and byte codes ------------------------------------------------------------
    // Parses the text (surrounding white space ignored): hex, binary and octal digits or their
    // notations, or a signed decimal number. Overflow is a logged bad argument.
    bool getNumber(unsigned long& ulValue, unsigned long ulNumberSystem) const;
    // The block's bytes (terminator included) as two-digit hex codes joined by spaces. Traced.
    CKSLWCharString getAsciiCodeString() const;
    // The bytes of such a code string ("41 42" gives 0x41 0x42). Traced.
    CKSLBuffer<BYTE> getBufferFromAsciiCodeString() const;

    // Whether wc is one of the white-space characters chosen by the selection bits.
    static bool isSelectedWhiteSpace(wchar_t wc, unsigned long ulSelection);

private:
    // Position of the n-th match of subString in the first ulLength characters of wcsText
    // (overlapping matches count); no argument checks, no logging.
    static bool findIn(const wchar_t* wcsText, unsigned long ulLength, const TextRef& subString,
                       unsigned long ulOccurrance, unsigned long ulParseMode, unsigned long& ulPosition);
    static unsigned long countIn(const wchar_t* wcsText, unsigned long ulLength, const TextRef& subString);

    // Makes this string the given characters (length 0: invalid); the source may lie in this block.
    void assignText(const wchar_t* wcsText, unsigned long ulLength);
    // Replaces ulRemove characters at ulPos by the inserted ones, in one new exact block.
    void spliceText(unsigned long ulPos, unsigned long ulRemove, const wchar_t* wcsInsert, unsigned long ulInsert);
    // Target becomes the source without n characters at the front or back (n = 0: a copy;
    // n >= length: invalid). False on an invalid source.
    static bool dropInto(CKSLWCharString& target, const CKSLWCharString& source, unsigned long n, bool bFromFront);
    // True when the text argument points into this string's block.
    bool aliases(const TextRef& text) const noexcept;
    bool removeOccurrences(const TextRef& subString, unsigned long ulOccurrance, unsigned long ulSubStringMode);
    bool replaceOccurrences(const TextRef& oldString, const TextRef& newString, unsigned long ulOccurrance,
                            unsigned long ulSubStringMode);
    void replaceAll(const TextRef& oldString, const TextRef& newString);
    bool buildField(CKSLWCharString& field, const TextRef& delimiter, unsigned long ulOccurrance,
                    unsigned long ulParseMode) const;
    void trimBits(wchar_t wcChar, unsigned long ulSides, unsigned long ulWhiteSpace);
    void removeWhitespaceBits(unsigned long ulSides, unsigned long ulWhiteSpace);
};
