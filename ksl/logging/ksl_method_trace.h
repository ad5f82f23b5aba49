// Method tracer: an ENTRY record at construction, an EXIT record with the result on the way
// out. With "Logging" off nothing is allocated.
//
//     bool CKSLFlags::hasFlags(unsigned long ulFlags)
//     {
//         CKSLMethodTrace trace(L"CKSLFlags", L"hasFlags", KSL_HERE);
//         return trace.logical((m_ulFlags & ulFlags) == ulFlags);
//     }
#pragma once

class CKSLDetailedLog;

class CKSLMethodTrace {
public:
    CKSLMethodTrace(const wchar_t* wcsClassName, const wchar_t* wcsMethodName, const wchar_t* wcsSourceFile, int nLine);
    ~CKSLMethodTrace();
    CKSLMethodTrace(const CKSLMethodTrace&) = delete;
    CKSLMethodTrace& operator=(const CKSLMethodTrace&) = delete;

    // Store the result kind and value for the EXIT record and hand the result back.
    bool boolean(bool bResult);   // result kind 1
    bool logical(bool bResult);   // result kind 2
    void setResult(unsigned long ulResultKind, long lValue);

private:
    CKSLDetailedLog* m_pRecord;
};
