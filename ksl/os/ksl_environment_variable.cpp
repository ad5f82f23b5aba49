#include "ksl_environment_variable.h"

#include <memory>

#include "ksl_catch.h"
#include "ksl_method_trace.h"

namespace {
const wchar_t kClass[] = L"CKSLEnvironmentVariable";
const DWORD kMaxValueChars = 0x7FFF;
} // namespace

CKSLEnvironmentVariable::CKSLEnvironmentVariable(const CKSLWCharString& name)
{
    CKSLMethodTrace trace(kClass, L"CKSLEnvironmentVariable", KSL_HERE);
    m_name = name;
}

bool CKSLEnvironmentVariable::getValue(CKSLWCharString& value)
{
    CKSLMethodTrace trace(kClass, L"getValue", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        if (!m_name.isValid())
            throw CKSLUnknownVariableNameException(L"The environment variable name has not been initialized", 0,
                                                   KSL_HERE);
        std::unique_ptr<wchar_t[]> buffer(new wchar_t[kMaxValueChars]());
        const DWORD n = GetEnvironmentVariableW(m_name.getString(), buffer.get(), kMaxValueChars);
        if (n == 0 || n >= kMaxValueChars)
            return false;
        value = buffer.get();
        return true;
    }));
}
