// The optional system functions, the drive table and the partition probe of the system drive.
#include <gtest/gtest.h>

#include <string>

#include "scratch_registry.h"
#include "sk_dll_funcs.h"
#include "sk_drive_table.h"
#include "sk_startup_probes.h"
#include "test_paths.h"
#include "trace_config.h"

namespace {

void setEnv(const wchar_t* name, const std::wstring& value)
{
    SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
}

std::wstring getEnv(const wchar_t* name)
{
    wchar_t value[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
    return n < MAX_PATH ? value : L"";
}

// Drive letters this machine does not have, from the back of the alphabet but short of the
// default drives X and Z.
wchar_t missingDrive(int nSkip = 0)
{
    const DWORD mask = GetLogicalDrives();
    for (wchar_t letter = L'W'; letter > L'D'; --letter)
        if (!(mask & (1u << (letter - L'A'))) && nSkip-- == 0)
            return letter;
    ADD_FAILURE() << "no free drive letter";
    return L'W';
}

std::wstring drive(wchar_t letter)
{
    return std::wstring(1, letter) + L":";
}

bool loaded(const wchar_t* module)
{
    return GetModuleHandleW(module) != nullptr;
}

// Each test starts outside the pre-installation environment (no KSLDrive, no RAMD) with the
// "Safekeep" trace going to a file of its own; SystemDrive is put back afterwards.
class SysFuncsTest : public ScratchRegistryTest {
protected:
    void SetUp() override
    {
        ScratchRegistryTest::SetUp();
        systemDrive = getEnv(L"SystemDrive");
        setEnv(L"KSLDrive", L"");
        setEnv(L"RAMD", L"");
        tracePath = testScratchPath(L"safekeep.log");
        ASSERT_TRUE(enableTrace(L"Safekeep", tracePath));
    }
    void TearDown() override
    {
        setEnv(L"SystemDrive", systemDrive);
        setEnv(L"KSLDrive", L"");
        setEnv(L"RAMD", L"");
        ScratchRegistryTest::TearDown();
    }
    std::string trace() const { return readFileBytes(tracePath); }
    // The CreateFile failure line for a drive, as the probe traces it.
    static std::string createFileFailure(wchar_t letter, int error)
    {
        return "Safekeep: getPartitionAssignment - CreateFile() on \\\\.\\" + std::string(1, static_cast<char>(letter)) +
               ": failed. Error " + std::to_string(error) + "\r\n";
    }

    std::wstring systemDrive, tracePath;
};

TEST_F(SysFuncsTest, AllSixFunctionsAreFoundUnderWineAndWork)
{
    CSKDllFuncs funcs;
    ASSERT_EQ(0, funcs.loadFunctions());
    EXPECT_NE(nullptr, funcs.isNetworkAlive());
    EXPECT_NE(nullptr, funcs.wtsGetActiveConsoleSessionId());
    EXPECT_NE(nullptr, funcs.wtsQuerySessionInformation());
    EXPECT_NE(nullptr, funcs.wtsFreeMemory());
    ASSERT_NE(nullptr, funcs.isWow64Process());
    ASSERT_NE(nullptr, funcs.getNativeSystemInfo());
    BOOL bWow64 = TRUE;
    EXPECT_TRUE(funcs.isWow64Process()(GetCurrentProcess(), &bWow64));
    EXPECT_FALSE(bWow64) << "a pure 32-bit Windows";
    SYSTEM_INFO info{};
    funcs.getNativeSystemInfo()(&info);
    EXPECT_EQ(PROCESSOR_ARCHITECTURE_INTEL, info.wProcessorArchitecture);
    EXPECT_EQ("", trace());
}

TEST_F(SysFuncsTest, LibrariesAreHeldOnceAndReleasedWithTheObject)
{
    ASSERT_FALSE(loaded(L"sensapi.dll"));
    ASSERT_FALSE(loaded(L"wtsapi32.dll"));
    {
        CSKDllFuncs funcs;
        ASSERT_EQ(0, funcs.loadFunctions());
        const auto pfnFree = funcs.wtsFreeMemory();
        EXPECT_EQ(0, funcs.loadFunctions()) << "a second call only fills what is missing";
        EXPECT_EQ(pfnFree, funcs.wtsFreeMemory());
        EXPECT_TRUE(loaded(L"sensapi.dll"));
        EXPECT_TRUE(loaded(L"wtsapi32.dll"));
    }
    EXPECT_FALSE(loaded(L"sensapi.dll")) << "one load per library, freed once";
    EXPECT_FALSE(loaded(L"wtsapi32.dll"));
}

TEST_F(SysFuncsTest, MissingLibrariesAndExportsAreSilent)
{
    CSKDllModuleNames olderWindows;
    olderWindows.wcsSensapi = L"version.dll"; // present, but without IsNetworkAlive
    olderWindows.wcsWtsapi32 = L"skp_no_such_library.dll";
    CSKDllFuncs funcs(olderWindows);
    EXPECT_EQ(0, funcs.loadFunctions());
    EXPECT_EQ(nullptr, funcs.isNetworkAlive());
    EXPECT_EQ(nullptr, funcs.wtsQuerySessionInformation());
    EXPECT_EQ(nullptr, funcs.wtsFreeMemory());
    EXPECT_NE(nullptr, funcs.wtsGetActiveConsoleSessionId());
    EXPECT_NE(nullptr, funcs.isWow64Process());
    EXPECT_NE(nullptr, funcs.getNativeSystemInfo());
    EXPECT_EQ("", trace());
}

TEST_F(SysFuncsTest, ALibraryThatCannotBeLoadedForAnotherReasonIsReported)
{
    const std::wstring bogus = testScratchPath(L"bogus.dll");
    const HANDLE h = CreateFileW(bogus.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD written = 0;
    WriteFile(h, "not a library", 13, &written, nullptr);
    CloseHandle(h);
    CSKDllModuleNames names;
    names.wcsWtsapi32 = bogus.c_str();
    CSKDllFuncs funcs(names);
    EXPECT_EQ(0, funcs.loadFunctions());
    EXPECT_EQ(nullptr, funcs.wtsFreeMemory());
    EXPECT_NE(nullptr, funcs.isNetworkAlive());
    const std::string t = trace();
    EXPECT_NE(std::string::npos, t.find("Safekeep: LoadLibrary: Error ")) << t;
    EXPECT_EQ(std::string::npos, t.find("Error 126 ")) << "not the module-not-found code";
    EXPECT_NE(std::string::npos, t.find("bogus.dll\r\n"));
}

TEST_F(SysFuncsTest, InThePreinstallationEnvironmentNothingIsLoaded)
{
    setEnv(L"KSLDrive", L"X:");
    CSKDllFuncs funcs;
    EXPECT_EQ(1, funcs.loadFunctions());
    EXPECT_EQ(nullptr, funcs.isNetworkAlive());
    EXPECT_EQ(nullptr, funcs.getNativeSystemInfo());
    EXPECT_EQ(nullptr, funcs.wtsFreeMemory());
    EXPECT_FALSE(loaded(L"sensapi.dll"));
}

TEST_F(SysFuncsTest, TheSystemDriveIsDiskZeroPartitionOne)
{
    CSKDriveTable table;
    EXPECT_STREQ(L"C:", table.systemDrive());
    EXPECT_STREQ(L"X:", table.preinstallDrive());
    EXPECT_STREQ(L"Z:", table.ramDrive());
    EXPECT_EQ(0, table.diskNumber());
    EXPECT_EQ(1, table.partitionNumber());
    int32_t disk = 7, partition = 7;
    EXPECT_EQ(0, table.getPartitionAssignment(L'c', &disk, &partition));
    EXPECT_EQ(0, disk);
    EXPECT_EQ(1, partition);
    EXPECT_EQ(0, table.getPartitionAssignment(L'C', nullptr, nullptr)) << "both answers are optional";
    EXPECT_EQ("", trace());
}

TEST_F(SysFuncsTest, AMissingDriveIsTracedAndLeavesTheDiskUnknown)
{
    const wchar_t letter = missingDrive();
    CSKDriveTable table;
    int32_t disk = 7, partition = 7;
    EXPECT_EQ(0, table.getPartitionAssignment(letter, &disk, &partition));
    EXPECT_EQ(-1, disk);
    EXPECT_EQ(7, partition) << "untouched";
    EXPECT_EQ(createFileFailure(letter, ERROR_FILE_NOT_FOUND), trace().substr(25)) << "one line after the time";

    // The table probes whatever drive SystemDrive names; without one it probes nothing.
    setEnv(L"SystemDrive", drive(letter));
    EXPECT_EQ(-1, CSKDriveTable().diskNumber());
    setEnv(L"SystemDrive", L"");
    const std::string before = trace();
    EXPECT_EQ(-1, CSKDriveTable().diskNumber());
    EXPECT_EQ(before, trace());
}

TEST_F(SysFuncsTest, InThePreinstallationEnvironmentItsDriveIsProbedAndTheRamDriveNeverOpened)
{
    const wchar_t preinstall = missingDrive();
    setEnv(L"KSLDrive", drive(preinstall));
    CSKDriveTable table;
    EXPECT_STREQ(L"Z:", table.ramDrive());
    EXPECT_EQ(-1, table.diskNumber()) << "not the system drive C";
    EXPECT_EQ(createFileFailure(preinstall, ERROR_FILE_NOT_FOUND), trace().substr(25));

    int32_t disk = 7;
    EXPECT_EQ(-1, table.getPartitionAssignment(L'Z', &disk, nullptr));
    EXPECT_EQ(-1, disk);
    EXPECT_EQ(-1, table.getPartitionAssignment(L'z', nullptr, nullptr));

    // A RAM drive named by RAMD takes the place of Z, which is then probed like any drive.
    const wchar_t ram = missingDrive(1);
    setEnv(L"RAMD", drive(ram));
    CSKDriveTable withRamd;
    const std::string before = trace();
    EXPECT_EQ(-1, withRamd.getPartitionAssignment(ram, nullptr, nullptr));
    EXPECT_EQ(before, trace()) << "nothing opened";
    EXPECT_EQ(0, withRamd.getPartitionAssignment(L'Z', nullptr, nullptr));
}

TEST_F(SysFuncsTest, StartupLoadsTheFunctionsAndProbesTheSystemDrive)
{
    {
        CSKStartupProbes probes;
        EXPECT_EQ(0, probes.loadResult());
        EXPECT_NE(nullptr, probes.dllFuncs().isNetworkAlive());
        EXPECT_EQ(0, probes.driveTable().diskNumber());
        EXPECT_EQ(1, probes.driveTable().partitionNumber());
    }
    setEnv(L"KSLDrive", L"C:");
    CSKStartupProbes probes;
    EXPECT_EQ(1, probes.loadResult());
    EXPECT_EQ(nullptr, probes.dllFuncs().isNetworkAlive());
    EXPECT_EQ(0, probes.driveTable().diskNumber()) << "the pre-installation drive C";
}

} // namespace
