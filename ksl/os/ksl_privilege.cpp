#include "ksl_privilege.h"

#include "ksl_catch.h"
#include "ksl_exceptions.h"
#include "ksl_scoped_handle.h"

namespace {

static_assert(sizeof(TOKEN_PRIVILEGES) == 16, "one privilege entry is 16 bytes");

// The current process's token, opened for one setPrivilege call and closed on every path.
class CLocalToken {
public:
    CLocalToken() = default;
    CLocalToken(const CLocalToken&) = delete;
    CLocalToken& operator=(const CLocalToken&) = delete;
    ~CLocalToken()
    {
        if (!m_hLocalToken.reset())
            kslLogMemFreeWarning(L"hLocalToken", KSL_HERE);
    }

    HANDLE open()
    {
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, m_hLocalToken.receive()))
            kslThrowWindowsFailure<CKSLOpenProcessTokenException>(L"OpenProcessToken call failed for handle:%s",
                                                                  L"GetCurrentProcess()", KSL_HERE);
        return m_hLocalToken.get();
    }

private:
    CKSLScopedHandle m_hLocalToken;
};

void adjustPrivilege(HANDLE hToken, const CKSLWCharString& wcsPrivilegeName, bool bEnable)
{
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    if (!LookupPrivilegeValueW(nullptr, wcsPrivilegeName.getString(), &privileges.Privileges[0].Luid))
        kslThrowWindowsFailure<CKSLLookupPrivilegeValueException>(L"LookupPrivilegeValue call failed for privilege:%s",
                                                                  wcsPrivilegeName.getString(), KSL_HERE);
    privileges.Privileges[0].Attributes = bEnable ? SE_PRIVILEGE_ENABLED : 0;
    const BOOL bAdjusted = AdjustTokenPrivileges(hToken, FALSE, &privileges, sizeof(privileges), nullptr, nullptr);
    // AdjustTokenPrivileges also succeeds when the token lacks the privilege (it then sets
    // ERROR_NOT_ALL_ASSIGNED): enabling has failed all the same. Disabling one the token lacks
    // leaves it off, which is what was asked.
    if (!bAdjusted || (bEnable && GetLastError() == ERROR_NOT_ALL_ASSIGNED))
        kslThrowWindowsFailure<CKSLAdjustTokenPrivilegesException>(L"AdjustTokenPrivileges call failed for handle:%s",
                                                                   L"hToken", KSL_HERE);
}

} // namespace

bool kslSetPrivilege(const CKSLWCharString& wcsPrivilegeName, bool bEnable, HANDLE hToken)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        CLocalToken localToken;
        adjustPrivilege(hToken != nullptr ? hToken : localToken.open(), wcsPrivilegeName, bEnable);
        return true;
    });
}
