// A 32-bit set of bit flags. The wide string takes its side and white-space selections as flags;
// the registry export, version conversion and policy settings use it for their option sets.
// Every operation is traced under the class name "CKSLFlags".
#pragma once

class CKSLFlags {
public:
    // Implicit, so that a plain mask can stand wherever a flag set is expected.
    CKSLFlags(unsigned long ulFlags = 0);

    // True when every bit of the mask is set (a zero mask is always contained).
    bool hasFlags(unsigned long ulMask) const;
    bool operator!=(const CKSLFlags& other) const;
    // Bit number of the highest bit of (mask & flags); false unless the whole mask is set or
    // when the mask is zero. Meant for single-bit masks.
    bool getIndex(unsigned long ulMask, unsigned long& ulIndex) const;

    // The raw bits, untraced, for code that only needs to read them.
    unsigned long getFlags() const { return m_ulFlags; }

private:
    unsigned long m_ulFlags;
};
