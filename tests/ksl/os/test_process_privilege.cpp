// setPrivilege on the current process token and on a token the caller owns.
#include <windows.h>
#include <gtest/gtest.h>

#include "handle_count.h"
#include "ksl_windowsprocess.h"
#include "log_capture.h"

namespace {

class PrivilegeTest : public LogCaptureTest {};

TEST_F(PrivilegeTest, UnknownNameFailsAndTheOpenedTokenIsClosed)
{
    CKSLWindowsProcess::setPrivilege(CKSLWCharString(L"SeBackupPrivilege"), true); // warm-up
    const DWORD dwBefore = openHandleCount();
    EXPECT_FALSE(CKSLWindowsProcess::setPrivilege(CKSLWCharString(L"SeNoSuchPrivilege"), true));
    EXPECT_EQ(dwBefore, openHandleCount());
    EXPECT_TRUE(logHas(L"\"LookupPrivilegeValue call failed for privilege:SeNoSuchPrivilege\" <Error: 0x00000521>"));
}

TEST_F(PrivilegeTest, KnownPrivilegeSwitchesOnAndOffWithoutKeepingTheToken)
{
    const DWORD dwBefore = openHandleCount();
    EXPECT_TRUE(CKSLWindowsProcess::setPrivilege(CKSLWCharString(L"SeBackupPrivilege"), true));
    EXPECT_TRUE(CKSLWindowsProcess::setPrivilege(CKSLWCharString(L"SeBackupPrivilege"), false));
    EXPECT_EQ(dwBefore, openHandleCount());
}

TEST_F(PrivilegeTest, GivenTokenIsUsedAndLeftOpen)
{
    HANDLE hToken = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &hToken));
    EXPECT_TRUE(CKSLWindowsProcess::setPrivilege(CKSLWCharString(L"SeRestorePrivilege"), true, hToken));
    EXPECT_FALSE(CKSLWindowsProcess::setPrivilege(CKSLWCharString(L"SeNoSuchPrivilege"), true, hToken));
    EXPECT_TRUE(CloseHandle(hToken)) << "the caller's token must still be open";
}

TEST_F(PrivilegeTest, TokenWithoutAccessFailsWithTheAdjustError)
{
    HANDLE hToken = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken));
    EXPECT_FALSE(CKSLWindowsProcess::setPrivilege(CKSLWCharString(L"SeBackupPrivilege"), true, hToken));
    EXPECT_TRUE(logHas(L"\"AdjustTokenPrivileges call failed for handle:hToken\" <Error: 0x00000005>"));
    CloseHandle(hToken);
}

// Enabling a privilege the token does not hold is a failure, although the Windows call itself
// answers success (with ERROR_NOT_ALL_ASSIGNED); disabling it is not.
TEST_F(PrivilegeTest, EnablingAPrivilegeTheTokenLacksFails)
{
    HANDLE hToken = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &hToken));
    LUID_AND_ATTRIBUTES backup = {};
    ASSERT_TRUE(LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &backup.Luid));
    HANDLE hRestricted = nullptr;
    ASSERT_TRUE(CreateRestrictedToken(hToken, 0, 0, nullptr, 1, &backup, 0, nullptr, &hRestricted));
    EXPECT_FALSE(CKSLWindowsProcess::setPrivilege(CKSLWCharString(L"SeBackupPrivilege"), true, hRestricted));
    EXPECT_TRUE(logHas(L"\"AdjustTokenPrivileges call failed for handle:hToken\" <Error: 0x00000514>"));
    EXPECT_TRUE(CKSLWindowsProcess::setPrivilege(CKSLWCharString(L"SeBackupPrivilege"), false, hRestricted));
    CloseHandle(hRestricted);
    CloseHandle(hToken);
}

} // namespace
