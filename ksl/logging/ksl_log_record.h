// One log record: what an exception or a trace point tells the log, with the values of its
// fields (levels, result kinds) and of the outputs it may go to.
#pragma once

// Record levels (one bit each).
enum : unsigned long {
    KSL_LOG_CRITICAL = 1,
    KSL_LOG_EXCEPTION_BAD = 2,
    KSL_LOG_EXCEPTION_OK = 4,
    KSL_LOG_ERROR = 8,
    KSL_LOG_WARNING = 16,
    KSL_LOG_DEBUG = 32,
    KSL_LOG_INFORMATION = 64,
    KSL_LOG_NOTIFICATION = 128,
    KSL_LOG_ENTRY = 256,
    KSL_LOG_EXIT = 512,
    KSL_LOG_SUCCESS = 1024,
    KSL_LOG_FAILURE = 2048,
};

// Result kinds of a record.
enum : unsigned long {
    KSL_RESULT_ERROR_CODE = 0,
    KSL_RESULT_BOOLEAN = 1,
    KSL_RESULT_LOGICAL = 2,
    KSL_RESULT_RETURN_CODE = 3,
};

// Output mask bits; library code always asks for the text file.
enum : unsigned short {
    KSL_OUTPUT_TEXT = 1,
    KSL_OUTPUT_XML = 2,
    KSL_OUTPUT_SERVER = 4,
    KSL_OUTPUT_HTML = 8,
    KSL_OUTPUT_NONE = 16,
    KSL_OUTPUT_UNKNOWN = 32,
};

class CKSLLogRecord {
public:
    CKSLLogRecord();
    CKSLLogRecord(const CKSLLogRecord& other);
    CKSLLogRecord& operator=(const CKSLLogRecord& other);
    ~CKSLLogRecord();

    unsigned long getLevel() const { return m_ulLevel; }
    void setLevel(unsigned long ulLevel) { m_ulLevel = ulLevel; }

    // Text fields hold private copies; a null or empty text leaves the field null. Setting a
    // field never throws: when the copy cannot be allocated the field stays null.
    const wchar_t* getMessage() const { return m_wcsMessage; }
    void setMessage(const wchar_t* wcsMessage);
    const wchar_t* getObjectName() const { return m_wcsObjectName; }
    void setObjectName(const wchar_t* wcsObjectName);
    const wchar_t* getOutputPath() const { return m_wcsOutputPath; }
    void setOutputPath(const wchar_t* wcsOutputPath);
    const wchar_t* getClassName() const { return m_wcsClassName; }
    void setClassName(const wchar_t* wcsClassName);
    const wchar_t* getMethodName() const { return m_wcsMethodName; }
    void setMethodName(const wchar_t* wcsMethodName);
    // Only the file name after the last '/' or '\' is kept.
    const wchar_t* getSourceFile() const { return m_wcsSourceFile; }
    void setSourceFile(const wchar_t* wcsSourceFile);

    unsigned long getResultKind() const { return m_ulResultKind; }
    void setResultKind(unsigned long ulResultKind) { m_ulResultKind = ulResultKind; }
    long getValue() const { return m_lValue; }
    void setValue(long lValue) { m_lValue = lValue; }
    int getLine() const { return m_nLine; }
    void setLine(int nLine) { m_nLine = nLine; }

    // Printed name of a level ("EXCEPTION_BAD"); "UNSPECIFIED" for anything else.
    static const wchar_t* levelName(unsigned long ulLevel);

private:
    void copyFrom(const CKSLLogRecord& other);
    void freeTexts();

    unsigned long m_ulLevel;
    wchar_t* m_wcsMessage;
    wchar_t* m_wcsObjectName;
    wchar_t* m_wcsOutputPath;
    unsigned long m_ulResultKind;
    long m_lValue;
    wchar_t* m_wcsClassName;
    wchar_t* m_wcsMethodName;
    wchar_t* m_wcsSourceFile;
    int m_nLine;
};
