#include "sk_copy.h"

#include "ksl_format.h"
#include "sk_trace.h"

HRESULT SK_tcscpy(wchar_t* wcsDestination, size_t cbDestination, const wchar_t* wcsSource)
{
    if (!wcsDestination)
        SKTrace(SK_TRACE_SAFEKEEP, L"SK_tcscpy() Destination is NULL");
    if (!wcsSource)
        SKTrace(SK_TRACE_SAFEKEEP, L"SK_tcscpy() Source is NULL");
    if (!wcsDestination || !wcsSource)
        return 1;
    const size_t nCapacity = cbDestination / sizeof(wchar_t);
    if (nCapacity == 0)
        return static_cast<HRESULT>(0x80070057);
    const int nCopied = kslCopyText(wcsDestination, nCapacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(nCapacity),
                                    wcsSource);
    return wcsSource[nCopied] == L'\0' ? S_OK : static_cast<HRESULT>(0x8007007A);
}
