#include "ksl_logging.h"

#include "ksl_last_error_guard.h"
#include "ksl_log_output.h"

CKSLDetailedLog::CKSLDetailedLog(unsigned long ulLevel, const wchar_t* wcsMessage, long lValue,
                                 unsigned long ulResultKind, const wchar_t* wcsClassName,
                                 const wchar_t* wcsMethodName, const wchar_t* wcsSourceFile, int nLine, bool bLogNow,
                                 bool bLogOnDestroy, unsigned short usOutputMask, const wchar_t* wcsObjectName,
                                 const wchar_t* wcsOutputPath)
    : CKSLLogging(bLogOnDestroy, usOutputMask)
{
    m_record.setLevel(ulLevel);
    m_record.setMessage(wcsMessage);
    m_record.setObjectName(wcsObjectName);
    m_record.setOutputPath(wcsOutputPath);
    m_record.setResultKind(ulResultKind);
    m_record.setValue(lValue);
    m_record.setClassName(wcsClassName);
    m_record.setMethodName(wcsMethodName);
    m_record.setSourceFile(wcsSourceFile);
    m_record.setLine(nLine);
    if (bLogNow)
        log();
}

CKSLDetailedLog::CKSLDetailedLog(const CKSLDetailedLog& other) : CKSLLogging(other), m_record(other.m_record)
{
    other.m_bLogOnDestroy = false;
}

CKSLDetailedLog::~CKSLDetailedLog()
{
    // Written again even when a handler has already written it: that is what "written when
    // destroyed" means, and how the tracer's EXIT record follows its ENTRY record.
    if (m_bLogOnDestroy)
        log();
}

bool CKSLDetailedLog::log()
{
    CKSLLastErrorGuard keepError;
    if (!m_settings.filter(m_record, m_usOutputMask, m_usDetailFlags))
        return false;
    // A record one output took is logged even when a later output of its mask failed: the
    // handler that catches it must not write it a second time.
    bool bWritten = false;
    const bool bResult = kslDispatchRecord(m_record, m_usOutputMask, m_settings, bWritten);
    m_bLogged = m_bLogged || bWritten;
    return bResult;
}
