// CKSLDirectory: whether a path names an existing directory, and creating a missing directory path.
#pragma once

#include "ksl_wchar_string.h"

class CKSLDirectory {
public:
    explicit CKSLDirectory(const CKSLWCharString& path);
    ~CKSLDirectory();
    CKSLDirectory(const CKSLDirectory&) = default;
    CKSLDirectory& operator=(const CKSLDirectory&) = default;

    bool setDirectoryName(const CKSLWCharString& path);
    const CKSLWCharString& getDirectoryName() const { return m_directoryName; }
    bool isValidDirectory();
    bool isValidWindowsDirectory(const CKSLWCharString& path);
    // Creates every missing directory of the path, outermost first; false when nothing was
    // missing or a creation failed.
    bool createDirectoryTree();

private:
    CKSLWCharString m_directoryName;
};
