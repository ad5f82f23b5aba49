// OS information: the pre-installation check, the service pack, the version and the shell's OS
// query answers.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ksl_windows_os_info.h"
#include "log_capture.h"

namespace {

const wchar_t kWindowsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Windows";

// Sets or clears "KSLDrive" for one test and puts the process's own value back afterwards.
class DriveVariable {
public:
    DriveVariable()
    {
        std::vector<wchar_t> old(0x7FFF);
        m_bHad = GetEnvironmentVariableW(L"KSLDrive", old.data(), 0x7FFF) > 0;
        m_old = old.data();
    }
    ~DriveVariable() { SetEnvironmentVariableW(L"KSLDrive", m_bHad ? m_old.c_str() : nullptr); }
    void set(const wchar_t* value) { SetEnvironmentVariableW(L"KSLDrive", value); }

private:
    bool m_bHad = false;
    std::wstring m_old;
};

// The shell's IsOS answer, asked directly.
bool isOS(DWORD query)
{
    HMODULE shlwapi = LoadLibraryW(L"shlwapi.dll");
    EXPECT_NE(nullptr, shlwapi);
    typedef BOOL(WINAPI * PFN_IsOS)(DWORD);
    const auto fn = reinterpret_cast<PFN_IsOS>(reinterpret_cast<void*>(GetProcAddress(shlwapi, MAKEINTRESOURCEA(437))));
    EXPECT_NE(nullptr, fn);
    const bool answer = fn != nullptr && fn(query) != FALSE;
    FreeLibrary(shlwapi);
    return answer;
}

using OSInfoTest = LogCaptureTest;

TEST_F(OSInfoTest, PreinstallEnvironmentFollowsKSLDrive)
{
    DriveVariable drive;
    drive.set(nullptr);
    {
        CKSLWindowsOSInfo info;
        EXPECT_FALSE(info.performPECheck());
        EXPECT_FALSE(info.isPreinstallEnvironment());
    }
    drive.set(L"");
    EXPECT_FALSE(CKSLWindowsOSInfo().performPECheck()) << "an empty value is no drive";

    drive.set(L"X:");
    CKSLWindowsOSInfo info;
    EXPECT_TRUE(info.performPECheck());
    EXPECT_TRUE(info.isPreinstallEnvironment());
    EXPECT_TRUE(logText().empty()) << "a missing variable or key is no error";
}

TEST_F(OSInfoTest, ServicePackIsTheHighByteOfCSDVersion)
{
    EXPECT_EQ(0u, CKSLWindowsOSInfo().getServicePack()) << "no key";
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kWindowsKey)) << "reading creates nothing";

    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kWindowsKey, L"CSDVersion", 0x200));
    EXPECT_EQ(2u, CKSLWindowsOSInfo().getServicePack());
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kWindowsKey, L"CSDVersion", 0x3FF));
    EXPECT_EQ(3u, CKSLWindowsOSInfo().getServicePack()) << "the low byte is dropped";
}

TEST_F(OSInfoTest, VersionIsMajorPlusATenthOfMinor)
{
    OSVERSIONINFOEXW raw{};
    raw.dwOSVersionInfoSize = sizeof raw;
    ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&raw)));
    const CKSLWindowsOSInfo info;
    EXPECT_DOUBLE_EQ(raw.dwMajorVersion + raw.dwMinorVersion * 0.1, info.getVersion());
    EXPECT_DOUBLE_EQ(6.1, info.getVersion()) << "Wine's default Windows version";
}

TEST_F(OSInfoTest, OSQueriesGiveTheShellsAnswers)
{
    CKSLWindowsOSInfo info;
    for (DWORD query : {18ul, 37ul, 0ul}) {
        bool answer = !isOS(query);
        EXPECT_TRUE(info.performOSQueryFunction(query, answer));
        EXPECT_EQ(isOS(query), answer) << "query " << query;
    }
    EXPECT_EQ(isOS(18), info.getFirstOSQuery());
    EXPECT_EQ(isOS(37), info.getSecondOSQuery());
}

TEST_F(OSInfoTest, OperationsAreTracedUnderTheirClassAndSource)
{
    setLogDetail(27 | 0x100 | 0x200);
    {
        CKSLWindowsOSInfo info;
    }
    for (const wchar_t* method : {L"CKSLWindowsOSInfo", L"performPECheck", L"performOSQueryFunction",
                                  L"~CKSLWindowsOSInfo"}) {
        const std::wstring entry = std::wstring(L"<ENTRY> <test_os> <CKSLWindowsOSInfo::") + method +
                                   L"> <ksl_windows_os_info.cpp, ";
        EXPECT_TRUE(logHas(entry)) << "no entry of " << method;
    }
    EXPECT_EQ(2u, logCount(L"<ENTRY> <test_os> <CKSLWindowsOSInfo::performOSQueryFunction>"))
        << "both queries are asked";
    EXPECT_EQ(logCount(L"<ENTRY>"), logCount(L"<EXIT>"));
}

} // namespace
