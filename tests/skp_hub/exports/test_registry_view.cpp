// Each build of the plug-in reads the registry view of its own bitness: on 64-bit Windows the x86
// plug-in finds the product's machine keys under SOFTWARE\WOW6432Node, the x64 plug-in under
// SOFTWARE; both find the policy branch, which the two views share.
#include <gtest/gtest.h>

#include <string>

#include "plugin_loader.h"
#include "scratch_registry.h"
#include "test_paths.h"

namespace {

const bool kIsX86 = sizeof(void*) == 4;
const wchar_t kView32[] = L"SOFTWARE\\WOW6432Node\\Tessil\\Safekeep";
const wchar_t kView64[] = L"SOFTWARE\\Tessil\\Safekeep";
const wchar_t kPolicyUsage[] = L"SOFTWARE\\Policies\\Tessil\\Safekeep\\Settings\\Usage";

bool is64BitWindows()
{
    SYSTEM_INFO native = {};
    GetNativeSystemInfo(&native);
    return native.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_INTEL;
}

// Writes by full path in the 64-bit view, as an administrator's tool on 64-bit Windows does.
bool setMachineValue(const std::wstring& key, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY, nullptr, &h,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const bool ok = RegSetValueExW(h, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
    RegCloseKey(h);
    return ok;
}

bool installAt(const std::wstring& key)
{
    const std::wstring version = L"4.0.12.3", path = L"C:\\Safekeep\\";
    return setMachineValue(key, L"Version", REG_SZ, version.c_str(), static_cast<DWORD>((version.size() + 1) * 2)) &&
           setMachineValue(key, L"InstallPath", REG_SZ, path.c_str(), static_cast<DWORD>((path.size() + 1) * 2));
}

uint32_t statusSize(PluginLoader& plugin)
{
    uint32_t size = 0;
    LP_STATUS_INFO status{};
    EXPECT_EQ(0, plugin.getStatus(0, &status, &size));
    return size;
}

class RegistryViewTest : public ScratchRegistryTest {
protected:
    void SetUp() override
    {
        if (!is64BitWindows())
            GTEST_SKIP() << "registry views exist only on 64-bit Windows";
        ScratchRegistryTest::SetUp();
    }
    const wchar_t* ownView() const { return kIsX86 ? kView32 : kView64; }
    const wchar_t* otherView() const { return kIsX86 ? kView64 : kView32; }
};

TEST_F(RegistryViewTest, TheInstallRecordIsFoundInThisBuildsOwnView)
{
    ASSERT_TRUE(installAt(ownView()));
    PluginLoader plugin;
    EXPECT_EQ(948u, statusSize(plugin)) << (kIsX86 ? "x86: " : "x64: ") << "the record under " << ownView();
}

TEST_F(RegistryViewTest, ARecordInTheOtherViewOnlyIsNotThisBuildsProduct)
{
    ASSERT_TRUE(installAt(otherView()));
    PluginLoader plugin;
    EXPECT_EQ(0u, statusSize(plugin)) << (kIsX86 ? "x86: " : "x64: ") << "the record under " << otherView();
}

TEST_F(RegistryViewTest, PolicyValuesUnderTheSharedPolicyBranchAreFoundByBothBuilds)
{
    LocalResourceLibrary resources;
    ASSERT_TRUE(resources.copied());
    ASSERT_TRUE(installAt(ownView()));
    // 2007-03-05 14:07:09 UTC (the tests run with TZ=UTC), written under SOFTWARE\Policies.
    SYSTEMTIME st{2007, 3, 1, 5, 14, 7, 9, 0};
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    ASSERT_TRUE(setMachineValue(kPolicyUsage, L"LastBackupTimeHigh", REG_DWORD, &ft.dwHighDateTime, 4));
    ASSERT_TRUE(setMachineValue(kPolicyUsage, L"LastBackupTimeLow", REG_DWORD, &ft.dwLowDateTime, 4));
    const DWORD on = 1;
    ASSERT_TRUE(setMachineValue(L"SOFTWARE\\Policies\\Tessil\\Safekeep\\Settings\\Backup", L"BackupLocal", REG_DWORD,
                                &on, 4));

    PluginLoader plugin;
    LP_STATUS_INFO status{};
    status.nFunctionId = 1;
    uint32_t size = sizeof status;
    ASSERT_EQ(0, plugin.getStatus(0, &status, &size));
    EXPECT_EQ(L"Last backup to this computer 3/5/2007 2:07 PM",
              std::wstring(reinterpret_cast<const wchar_t*>(status.szStatusText)));
}

} // namespace
