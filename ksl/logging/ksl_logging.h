// Records, the logging root and the detailed log: every library exception is one of these.
#pragma once

#include <windows.h>

#include "ksl_log_record.h"
#include "ksl_log_settings.h"

class CKSLLogging {
public:
    virtual ~CKSLLogging();
    // Writes the record now; false when filtered out or no output took it.
    virtual bool log() = 0;
    bool isLogged() const { return m_bLogged; }
    bool isLogOnDestroy() const { return m_bLogOnDestroy; }
    unsigned short getOutputMask() const { return m_usOutputMask; }
    unsigned short getDetailFlags() const { return m_usDetailFlags; }

protected:
    CKSLLogging(bool bLogOnDestroy, unsigned short usOutputMask);
    CKSLLogging(const CKSLLogging&) = default;
    CKSLLogging& operator=(const CKSLLogging&) = default;

    // Mutable so that a copy can take the duty to write on destruction from its source.
    mutable bool m_bLogOnDestroy;
    unsigned short m_usOutputMask;
    unsigned short m_usDetailFlags;
    bool m_bLogged;
    CKSLLogSettings m_settings;
};

class CKSLDetailedLog : public CKSLLogging {
public:
    // The general constructor every concrete exception reduces to.
    CKSLDetailedLog(unsigned long ulLevel, const wchar_t* wcsMessage, long lValue, unsigned long ulResultKind,
                    const wchar_t* wcsClassName, const wchar_t* wcsMethodName, const wchar_t* wcsSourceFile,
                    int nLine, bool bLogNow, bool bLogOnDestroy, unsigned short usOutputMask = KSL_OUTPUT_TEXT,
                    const wchar_t* wcsObjectName = nullptr, const wchar_t* wcsOutputPath = nullptr);
    // A copy (as made when an exception is thrown or caught by value) takes over the duty to
    // write on destruction, so a record is never written twice by destructors.
    CKSLDetailedLog(const CKSLDetailedLog& other);
    CKSLDetailedLog& operator=(const CKSLDetailedLog&) = delete;
    ~CKSLDetailedLog() override;

    bool log() override;

    CKSLLogRecord& record() { return m_record; }
    const CKSLLogRecord& record() const { return m_record; }
    const wchar_t* getMessage() const { return m_record.getMessage(); }
    long getValue() const { return m_record.getValue(); }

private:
    CKSLLogRecord m_record;
};

class CKSLLogException1 : public CKSLDetailedLog {
public:
    using CKSLDetailedLog::CKSLDetailedLog;
};

class CKSLLogWarning : public CKSLDetailedLog {
public:
    using CKSLDetailedLog::CKSLDetailedLog;
};
