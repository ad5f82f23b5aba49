// Switches one privilege of a token on or off: the process wrapper's setPrivilege, and the
// registry key's hive save and restore, which need the backup and restore privileges.
#pragma once

#include <windows.h>

#include "ksl_wchar_string.h"

// Enables or disables the named privilege in hToken, or in the current process's token when
// hToken is 0 (opened and closed within this call). Enabling a privilege the token does not hold
// fails. A failure is logged and answers false.
bool kslSetPrivilege(const CKSLWCharString& wcsPrivilegeName, bool bEnable, HANDLE hToken = nullptr);
