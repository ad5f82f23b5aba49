// The class library's catching convention and source-position helpers.
//
// Every library operation that can fail reads as its own logic inside kslCatch:
//
//     bool CKSLBuffer::append(...)
//     {
//         return kslCatch(false, KSL_HERE, [&] {
//             if (bad) throw CKSLBadArgException(L"ulOffset", L"value is out of bounds", KSL_HERE);
//             ...
//             return true;
//         });
//     }
//
// A library exception that has not written itself yet is logged; anything else becomes a
// logged CKSLUnhandledExceptionException carrying errno (kslCatchTraced: GetLastError(),
// for traced methods), and the operation answers its failure value.
#pragma once

#include <windows.h>
#include <cerrno>
#include <utility>

#include "ksl_exceptions.h"

// Wide source file name of the current statement; records keep only the part after the
// last path separator, whichever separator the compiler used.
#define KSL_WIDEN2(x) L##x
#define KSL_WIDEN(x) KSL_WIDEN2(x)
#define KSL_SRC KSL_WIDEN(__FILE__)
// Source file and line, in the order every exception constructor takes them.
#define KSL_HERE KSL_SRC, __LINE__

namespace ksl_detail {
template <class R, class F>
R catchWith(R failValue, const wchar_t* wcsFile, int nLine, bool bTraced, F&& body)
{
    try {
        return body();
    } catch (CKSLLogging& e) {
        if (!e.isLogged())
            e.log();
    } catch (...) {
        const long lError = bTraced ? static_cast<long>(GetLastError()) : static_cast<long>(errno);
        CKSLUnhandledExceptionException unhandled(lError, wcsFile, nLine);
    }
    return failValue;
}
} // namespace ksl_detail

template <class R, class F>
R kslCatch(R failValue, const wchar_t* wcsFile, int nLine, F&& body)
{
    return ksl_detail::catchWith<R>(std::move(failValue), wcsFile, nLine, false, std::forward<F>(body));
}

template <class R, class F>
R kslCatchTraced(R failValue, const wchar_t* wcsFile, int nLine, F&& body)
{
    return ksl_detail::catchWith<R>(std::move(failValue), wcsFile, nLine, true, std::forward<F>(body));
}
