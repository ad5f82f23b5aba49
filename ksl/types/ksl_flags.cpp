#include "ksl_flags.h"

#include "ksl_catch.h"
#include "ksl_method_trace.h"

CKSLFlags::CKSLFlags(unsigned long ulFlags) : m_ulFlags(ulFlags)
{
    CKSLMethodTrace trace(L"CKSLFlags", L"CKSLFlags", KSL_HERE);
    trace.boolean(true);
}

bool CKSLFlags::hasFlags(unsigned long ulMask) const
{
    CKSLMethodTrace trace(L"CKSLFlags", L"hasFlags", KSL_HERE);
    return trace.logical((m_ulFlags & ulMask) == ulMask);
}

bool CKSLFlags::operator!=(const CKSLFlags& other) const
{
    CKSLMethodTrace trace(L"CKSLFlags", L"operator!=", KSL_HERE);
    return trace.logical(m_ulFlags != other.m_ulFlags);
}

bool CKSLFlags::getIndex(unsigned long ulMask, unsigned long& ulIndex) const
{
    CKSLMethodTrace trace(L"CKSLFlags", L"getIndex", KSL_HERE);
    if (!hasFlags(ulMask))
        return trace.boolean(false);
    unsigned long ulBits = ulMask & m_ulFlags;
    if (ulBits == 0)
        return trace.boolean(false);
    unsigned long ulCounter = 0;
    while (ulBits != 1) {
        ulBits >>= 1;
        ++ulCounter;
    }
    ulIndex = ulCounter;
    return trace.boolean(true);
}
