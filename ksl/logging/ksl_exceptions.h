// The library's concrete exceptions. They add no fields: they differ in type (for catching)
// and in what their constructors put into the record.
#pragma once

#include "ksl_format.h"
#include "ksl_logging.h"

class CKSLBadArgException : public CKSLLogException1 {
public:
    // "A bad argument was provided ( %s ). %s"; a missing argument name reads "Unknown".
    CKSLBadArgException(const wchar_t* wcsArgName, const wchar_t* wcsText, const wchar_t* wcsFile, int nLine);
};

class CKSLMemAllocException : public CKSLLogException1 {
public:
    CKSLMemAllocException(const wchar_t* wcsArgName, const wchar_t* wcsFile, int nLine);
};

class CKSLMemoryCopyException : public CKSLLogException1 {
public:
    CKSLMemoryCopyException(int nErrno, const wchar_t* wcsFile, int nLine);
};

class CKSLBufferInitException : public CKSLLogException1 {
public:
    CKSLBufferInitException(const wchar_t* wcsFile, int nLine);
};

class CKSLIndexOutOfBoundsException : public CKSLLogException1 {
public:
    CKSLIndexOutOfBoundsException(const wchar_t* wcsFile, int nLine);
};

class CKSLUnhandledExceptionException : public CKSLLogException1 {
public:
    CKSLUnhandledExceptionException(long lError, const wchar_t* wcsFile, int nLine);
};

// Records that are written but never thrown.
void kslLogMemsetFailure(int nErrno, const wchar_t* wcsFile, int nLine);
void kslLogMemFreeWarning(const wchar_t* wcsArgName, const wchar_t* wcsFile, int nLine);

// Throws the exception for a failed Windows call: the message is the format filled with the
// subject, the value the thread's last error at the moment of failure.
template <class TException>
[[noreturn]] void kslThrowWindowsFailure(const wchar_t* wcsFormat, const wchar_t* wcsSubject, const wchar_t* wcsFile,
                                         int nLine)
{
    const long lError = static_cast<long>(GetLastError());
    wchar_t wcsMessage[1024];
    kslFormat(wcsMessage, wcsFormat, wcsSubject);
    throw TException(wcsMessage, lError, wcsFile, nLine);
}

// Exceptions that wrap a failed Windows call or a failed object: the caller formats the
// message (kslFormat), the value is the Windows status (or 0), and the record is written when
// built at EXCEPTION_BAD (WARNING for the warnings). Class and method names are optional.
#define KSL_DECLARE_MESSAGE_EXCEPTION(Name, Base)                                                        \
    class Name : public Base {                                                                           \
    public:                                                                                              \
        Name(const wchar_t* wcsMessage, long lValue, const wchar_t* wcsFile, int nLine,                   \
             const wchar_t* wcsClassName = nullptr, const wchar_t* wcsMethodName = nullptr);              \
    }

KSL_DECLARE_MESSAGE_EXCEPTION(CKSLUnknownVariableNameException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLRegKeyInitException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLRegKeyCreateException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLRegQueryInfoKeyException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLRegSaveKeyException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLRegEnumKeyException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLRegEnumValueException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLRegRestoreKeyException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLRegQueryMultipleValuesException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLRegValueSetException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLRegValueQueryException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLRegCloseKeyWarning, CKSLLogWarning);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLWindowsProcessInvalidHandleException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLAdjustTokenPrivilegesException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLOpenProcessTokenException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLLookupPrivilegeValueException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLCreateProcessException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLWritePrivateProfileSectionException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLWritePrivateProfileStringException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLDirectoryInitException, CKSLLogException1);
KSL_DECLARE_MESSAGE_EXCEPTION(CKSLWindowsOSInfoInitNeededException, CKSLLogException1);
