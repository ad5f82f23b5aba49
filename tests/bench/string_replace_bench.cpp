// CKSLWCharString::replace with every occurrence on growing texts: one pass over the text, so the
// time per character stays flat as the text grows. Prints figures; asserts nothing.
#include <windows.h>

#include <cstdio>
#include <string>

#include "ksl_wchar_string.h"

int main()
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::printf("%10s %12s %12s %14s\n", "chars", "occurrences", "ms", "ns per char");
    for (unsigned long ulChars = 10000; ulChars <= 640000; ulChars *= 4) {
        std::wstring text;
        for (unsigned long ul = 0; ul < ulChars / 2; ++ul)
            text += L"ab"; // every "ab" an occurrence
        CKSLWCharString s(text.c_str());
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        const bool bReplaced = s.replace(L"ab", L"xyz", 0, CKSLWCharString::ssmAll);
        QueryPerformanceCounter(&end);
        const double ms = 1e3 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        std::printf("%10lu %12lu %12.2f %14.1f%s\n", ulChars, ulChars / 2, ms, 1e6 * ms / ulChars,
                    bReplaced && s.getLength() == ulChars / 2 * 3 ? "" : "  (wrong result)");
    }
    return 0;
}
