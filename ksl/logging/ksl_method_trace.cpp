#include "ksl_method_trace.h"

#include <new>

#include "ksl_last_error_guard.h"
#include "ksl_logging.h"

CKSLMethodTrace::CKSLMethodTrace(const wchar_t* wcsClassName, const wchar_t* wcsMethodName,
                                 const wchar_t* wcsSourceFile, int nLine)
    : m_pRecord(nullptr)
{
    // Traced methods sit on every registry read: with logging off this costs one failed
    // registry read and no allocation.
    CKSLLastErrorGuard keepError;
    if (!CKSLLogSettings().isLoggingOn())
        return;
    m_pRecord = new (std::nothrow) CKSLDetailedLog(KSL_LOG_ENTRY, nullptr, 0, KSL_RESULT_BOOLEAN, wcsClassName,
                                                   wcsMethodName, wcsSourceFile, nLine, true, true, KSL_OUTPUT_TEXT);
}

CKSLMethodTrace::~CKSLMethodTrace()
{
    if (m_pRecord == nullptr)
        return;
    m_pRecord->record().setLevel(KSL_LOG_EXIT);
    delete m_pRecord; // its destructor writes the EXIT record
}

bool CKSLMethodTrace::boolean(bool bResult)
{
    setResult(KSL_RESULT_BOOLEAN, bResult ? 1 : 0);
    return bResult;
}

bool CKSLMethodTrace::logical(bool bResult)
{
    setResult(KSL_RESULT_LOGICAL, bResult ? 1 : 0);
    return bResult;
}

void CKSLMethodTrace::setResult(unsigned long ulResultKind, long lValue)
{
    if (m_pRecord == nullptr)
        return;
    m_pRecord->record().setResultKind(ulResultKind);
    m_pRecord->record().setValue(lValue);
}
