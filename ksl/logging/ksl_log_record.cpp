#include "ksl_log_record.h"

#include <cwchar>
#include <initializer_list>
#include <new>


namespace {

// A private copy of a text, or null for a null or empty text or when memory is short:
// a record must be buildable while reporting an allocation failure.
wchar_t* duplicate(const wchar_t* wcsText)
{
    if (wcsText == nullptr || *wcsText == L'\0')
        return nullptr;
    const size_t nLength = wcslen(wcsText);
    wchar_t* wcsCopy = new (std::nothrow) wchar_t[nLength + 1];
    if (wcsCopy != nullptr)
        wmemcpy(wcsCopy, wcsText, nLength + 1);
    return wcsCopy;
}

void replace(wchar_t*& wcsField, const wchar_t* wcsText)
{
    wchar_t* wcsCopy = duplicate(wcsText);
    delete[] wcsField;
    wcsField = wcsCopy;
}

// The file name after the last separator, whichever one the compiler used.
const wchar_t* fileNamePart(const wchar_t* wcsPath)
{
    if (wcsPath == nullptr)
        return nullptr;
    const wchar_t* wcsName = wcsPath;
    for (const wchar_t* p = wcsPath; *p != L'\0'; ++p) {
        if (*p == L'\\' || *p == L'/')
            wcsName = p + 1;
    }
    return wcsName;
}

} // namespace

CKSLLogRecord::CKSLLogRecord()
    : m_ulLevel(0), m_wcsMessage(nullptr), m_wcsObjectName(nullptr), m_wcsOutputPath(nullptr),
      m_ulResultKind(KSL_RESULT_BOOLEAN), m_lValue(0), m_wcsClassName(nullptr), m_wcsMethodName(nullptr),
      m_wcsSourceFile(nullptr), m_nLine(0)
{
}

CKSLLogRecord::CKSLLogRecord(const CKSLLogRecord& other) : CKSLLogRecord()
{
    copyFrom(other);
}

CKSLLogRecord& CKSLLogRecord::operator=(const CKSLLogRecord& other)
{
    if (this != &other)
        copyFrom(other);
    return *this;
}

CKSLLogRecord::~CKSLLogRecord()
{
    freeTexts();
}

void CKSLLogRecord::copyFrom(const CKSLLogRecord& other)
{
    m_ulLevel = other.m_ulLevel;
    setMessage(other.m_wcsMessage);
    setObjectName(other.m_wcsObjectName);
    setOutputPath(other.m_wcsOutputPath);
    m_ulResultKind = other.m_ulResultKind;
    m_lValue = other.m_lValue;
    setClassName(other.m_wcsClassName);
    setMethodName(other.m_wcsMethodName);
    replace(m_wcsSourceFile, other.m_wcsSourceFile);
    m_nLine = other.m_nLine;
}

void CKSLLogRecord::freeTexts()
{
    for (wchar_t** ppField : {&m_wcsMessage, &m_wcsObjectName, &m_wcsOutputPath, &m_wcsClassName, &m_wcsMethodName,
                              &m_wcsSourceFile}) {
        delete[] *ppField;
        *ppField = nullptr;
    }
}

void CKSLLogRecord::setMessage(const wchar_t* wcsMessage)
{
    replace(m_wcsMessage, wcsMessage);
}

void CKSLLogRecord::setObjectName(const wchar_t* wcsObjectName)
{
    replace(m_wcsObjectName, wcsObjectName);
}

void CKSLLogRecord::setOutputPath(const wchar_t* wcsOutputPath)
{
    replace(m_wcsOutputPath, wcsOutputPath);
}

void CKSLLogRecord::setClassName(const wchar_t* wcsClassName)
{
    replace(m_wcsClassName, wcsClassName);
}

void CKSLLogRecord::setMethodName(const wchar_t* wcsMethodName)
{
    replace(m_wcsMethodName, wcsMethodName);
}

void CKSLLogRecord::setSourceFile(const wchar_t* wcsSourceFile)
{
    replace(m_wcsSourceFile, fileNamePart(wcsSourceFile));
}

const wchar_t* CKSLLogRecord::levelName(unsigned long ulLevel)
{
    static const wchar_t* const s_names[] = {L"CRITICAL", L"EXCEPTION_BAD", L"EXCEPTION_OK", L"ERROR",
                                            L"WARNING",  L"DEBUG",         L"INFORMATION",  L"NOTIFICATION",
                                            L"ENTRY",    L"EXIT",          L"SUCCESS",      L"FAILURE"};
    for (unsigned i = 0; i < sizeof(s_names) / sizeof(s_names[0]); ++i) {
        if (ulLevel == (1UL << i))
            return s_names[i];
    }
    return L"UNSPECIFIED";
}
