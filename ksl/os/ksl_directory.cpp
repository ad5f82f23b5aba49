#include "ksl_directory.h"

#include "ksl_catch.h"
#include "ksl_method_trace.h"
#include "ksl_scoped_handle.h"

namespace {
const wchar_t kClass[] = L"CKSLDirectory";

// The FindFirstFileW pattern for a path: drive roots and folders ending in a backslash get "*",
// a bare drive letter "\*".
CKSLWCharString searchPattern(const CKSLWCharString& path)
{
    const wchar_t* text = path.getString();
    const unsigned long n = path.getLength();
    if (n < 2)
        throw CKSLIndexOutOfBoundsException(KSL_HERE);
    const wchar_t last = text[n - 1];
    if ((text[n - 2] == L':' && last == L'\\') || last == L'\\')
        return path + L"*";
    if (last == L':')
        return path + L"\\*";
    return path;
}
} // namespace

CKSLDirectory::CKSLDirectory(const CKSLWCharString& path)
{
    CKSLMethodTrace trace(kClass, L"Constructor", KSL_HERE);
    if (!setDirectoryName(path))
        CKSLDirectoryInitException(L"CKSLDirectory object failed to initialize", 0, KSL_HERE);
}

CKSLDirectory::~CKSLDirectory()
{
    CKSLMethodTrace trace(kClass, L"Destructor", KSL_HERE);
}

bool CKSLDirectory::setDirectoryName(const CKSLWCharString& path)
{
    CKSLMethodTrace trace(kClass, L"setDirectoryName", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        m_directoryName = path; // a failed copy is logged and leaves the old name
        return m_directoryName == path;
    }));
}

bool CKSLDirectory::isValidDirectory()
{
    CKSLMethodTrace trace(kClass, L"isValidDirectory", KSL_HERE);
    return trace.boolean(isValidWindowsDirectory(m_directoryName));
}

bool CKSLDirectory::isValidWindowsDirectory(const CKSLWCharString& path)
{
    CKSLMethodTrace trace(kClass, L"isValidWindowsDirectory", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        WIN32_FIND_DATAW fd;
        CKSLScopedFind find(FindFirstFileW(searchPattern(path).getString(), &fd));
        if (!find)
            return false;
        const DWORD attributes = GetFileAttributesW(path.getString());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }));
}

bool CKSLDirectory::createDirectoryTree()
{
    CKSLMethodTrace trace(kClass, L"createDirectoryTree", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        if (isValidDirectory() || !m_directoryName.isValid())
            return false;
        CKSLWCharString path = m_directoryName;
        if (!path.endsWith(L"\\"))
            path += L'\\';
        bool created = false;
        const wchar_t* text = path.getString();
        for (unsigned long i = 0; i < path.getLength(); ++i) {
            if (text[i] != L'\\')
                continue;
            CKSLWCharString part = path.withoutLast(path.getLength() - i - 1);
            CKSLDirectory scratch(part);
            if (scratch.isValidDirectory())
                continue;
            if (!CreateDirectoryW(part.getString(), nullptr))
                return false;
            created = true;
        }
        return created;
    }));
}
