// CKSLEnvironmentVariable: one environment variable of this process.
#pragma once

#include "ksl_wchar_string.h"

class CKSLEnvironmentVariable {
public:
    explicit CKSLEnvironmentVariable(const CKSLWCharString& name);
    // The value; false (out unchanged) when the variable is missing or empty.
    bool getValue(CKSLWCharString& value);

private:
    CKSLWCharString m_name;
};
