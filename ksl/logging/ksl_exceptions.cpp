#include "ksl_exceptions.h"
#include "ksl_format.h"

namespace {

// A message formatted for one constructor call; it lives until the record has copied it.
class CMessage {
public:
    explicit CMessage(const wchar_t* wcsFormat, ...)
    {
        va_list args;
        va_start(args, wcsFormat);
        kslFormatV(m_wcsText, s_nCapacity, wcsFormat, args);
        va_end(args);
    }
    const wchar_t* text() const { return m_wcsText; }

private:
    static const int s_nCapacity = 1025;
    wchar_t m_wcsText[s_nCapacity];
};

const wchar_t* orUnknown(const wchar_t* wcsArgName)
{
    return wcsArgName != nullptr && *wcsArgName != L'\0' ? wcsArgName : L"Unknown";
}

const wchar_t* orEmpty(const wchar_t* wcsText)
{
    return wcsText != nullptr ? wcsText : L"";
}

const bool s_bNow = true;   // written when built
const bool s_bLater = false; // written when destroyed

// The library's own exceptions: error-code records for the text output, written either when
// built or when destroyed.
#define KSL_EXCEPTION_ARGS(level, message, value, file, line, now)                                                 \
    level, message, value, KSL_RESULT_ERROR_CODE, nullptr, nullptr, file, line, now, !(now), KSL_OUTPUT_TEXT

} // namespace

CKSLBadArgException::CKSLBadArgException(const wchar_t* wcsArgName, const wchar_t* wcsText, const wchar_t* wcsFile,
                                         int nLine)
    : CKSLLogException1(KSL_EXCEPTION_ARGS(KSL_LOG_EXCEPTION_BAD,
                                           CMessage(L"A bad argument was provided ( %s ). %s", orUnknown(wcsArgName),
                                                    orEmpty(wcsText))
                                               .text(),
                                           0, wcsFile, nLine, s_bNow))
{
}

CKSLMemAllocException::CKSLMemAllocException(const wchar_t* wcsArgName, const wchar_t* wcsFile, int nLine)
    : CKSLLogException1(KSL_EXCEPTION_ARGS(KSL_LOG_EXCEPTION_BAD,
                                           CMessage(L"Unable to allocate memory ( %s )", orUnknown(wcsArgName)).text(),
                                           -1, wcsFile, nLine, s_bNow))
{
}

CKSLMemoryCopyException::CKSLMemoryCopyException(int nErrno, const wchar_t* wcsFile, int nLine)
    : CKSLLogException1(
          KSL_EXCEPTION_ARGS(KSL_LOG_EXCEPTION_BAD, L"memcpy() function failed", nErrno, wcsFile, nLine, s_bLater))
{
}

CKSLBufferInitException::CKSLBufferInitException(const wchar_t* wcsFile, int nLine)
    : CKSLLogException1(
          KSL_EXCEPTION_ARGS(KSL_LOG_EXCEPTION_BAD, L"Unable to initialize CKSLBuffer", -1, wcsFile, nLine, s_bLater))
{
}

CKSLIndexOutOfBoundsException::CKSLIndexOutOfBoundsException(const wchar_t* wcsFile, int nLine)
    : CKSLLogException1(
          KSL_EXCEPTION_ARGS(KSL_LOG_EXCEPTION_BAD, L"Index out of array bounds", -1, wcsFile, nLine, s_bNow))
{
}

CKSLUnhandledExceptionException::CKSLUnhandledExceptionException(long lError, const wchar_t* wcsFile, int nLine)
    : CKSLLogException1(
          KSL_EXCEPTION_ARGS(KSL_LOG_EXCEPTION_BAD, L"An unhandled exception occurred", lError, wcsFile, nLine, s_bNow))
{
}

void kslLogMemsetFailure(int nErrno, const wchar_t* wcsFile, int nLine)
{
    // Written by its destructor on the way out.
    CKSLLogException1 record(
        KSL_EXCEPTION_ARGS(KSL_LOG_EXCEPTION_BAD, L"memset() function failed", nErrno, wcsFile, nLine, s_bLater));
}

void kslLogMemFreeWarning(const wchar_t* wcsArgName, const wchar_t* wcsFile, int nLine)
{
    CKSLLogWarning warning(KSL_EXCEPTION_ARGS(KSL_LOG_WARNING,
                                              CMessage(L"Unable to free memory ( %s )", orUnknown(wcsArgName)).text(),
                                              -1, wcsFile, nLine, s_bNow));
}

// Exceptions around a failed Windows call or object: the caller's message and status,
// written when built.
#define KSL_DEFINE_MESSAGE_EXCEPTION(Name, Base, Level)                                                            \
    Name::Name(const wchar_t* wcsMessage, long lValue, const wchar_t* wcsFile, int nLine,                          \
               const wchar_t* wcsClassName, const wchar_t* wcsMethodName)                                          \
        : Base(Level, wcsMessage, lValue, KSL_RESULT_ERROR_CODE, wcsClassName, wcsMethodName, wcsFile, nLine,      \
               s_bNow, false, KSL_OUTPUT_TEXT)                                                                     \
    {                                                                                                              \
    }
#define KSL_DEFINE_EXCEPTION(Name) KSL_DEFINE_MESSAGE_EXCEPTION(Name, CKSLLogException1, KSL_LOG_EXCEPTION_BAD)

KSL_DEFINE_EXCEPTION(CKSLUnknownVariableNameException)
KSL_DEFINE_EXCEPTION(CKSLRegKeyInitException)
KSL_DEFINE_EXCEPTION(CKSLRegKeyCreateException)
KSL_DEFINE_EXCEPTION(CKSLRegQueryInfoKeyException)
KSL_DEFINE_EXCEPTION(CKSLRegSaveKeyException)
KSL_DEFINE_EXCEPTION(CKSLRegEnumKeyException)
KSL_DEFINE_EXCEPTION(CKSLRegEnumValueException)
KSL_DEFINE_EXCEPTION(CKSLRegRestoreKeyException)
KSL_DEFINE_EXCEPTION(CKSLRegQueryMultipleValuesException)
KSL_DEFINE_EXCEPTION(CKSLRegValueSetException)
KSL_DEFINE_EXCEPTION(CKSLRegValueQueryException)
KSL_DEFINE_MESSAGE_EXCEPTION(CKSLRegCloseKeyWarning, CKSLLogWarning, KSL_LOG_WARNING)
KSL_DEFINE_EXCEPTION(CKSLWindowsProcessInvalidHandleException)
KSL_DEFINE_EXCEPTION(CKSLAdjustTokenPrivilegesException)
KSL_DEFINE_EXCEPTION(CKSLOpenProcessTokenException)
KSL_DEFINE_EXCEPTION(CKSLLookupPrivilegeValueException)
KSL_DEFINE_EXCEPTION(CKSLCreateProcessException)
KSL_DEFINE_EXCEPTION(CKSLWritePrivateProfileSectionException)
KSL_DEFINE_EXCEPTION(CKSLWritePrivateProfileStringException)
KSL_DEFINE_EXCEPTION(CKSLDirectoryInitException)
KSL_DEFINE_EXCEPTION(CKSLWindowsOSInfoInitNeededException)
