// The optional system functions, the drive table and the partition probe of the system drive.
#include <gtest/gtest.h>

#include <string>

#include "ksl_scoped_handle.h"
#include "plugin_loader.h"
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
        clearPreinstallVariables();
        tracePath = testScratchPath(L"safekeep.log");
        ASSERT_TRUE(enableTrace(L"Safekeep", tracePath));
    }
    void TearDown() override
    {
        setEnv(L"SystemDrive", systemDrive);
        clearPreinstallVariables();
        ScratchRegistryTest::TearDown();
    }
    static void clearPreinstallVariables()
    {
        setEnv(L"KSLDrive", L"");
        setEnv(L"RAMD", L"");
    }
    std::string trace() const { return readFileBytes(tracePath); }
    // The line a probe of a drive that does not exist traces (after the time).
    static std::string noSuchDrive(wchar_t letter)
    {
        const std::string device = "\\\\.\\" + std::string(1, static_cast<char>(letter)) + ":";
        return "Safekeep: getPartitionAssignment - CreateFile() on " + device + " failed. Error 2\r\n";
    }

    std::wstring systemDrive, tracePath;
};

TEST_F(SysFuncsTest, AllSixFunctionsAreFoundUnderWineAndHeldUntilTheObjectGoes)
{
    ASSERT_FALSE(loaded(L"sensapi.dll"));
    ASSERT_FALSE(loaded(L"wtsapi32.dll"));
    {
        CSKDllFuncs funcs;
        ASSERT_EQ(0, funcs.loadFunctions());
        EXPECT_TRUE(funcs.isNetworkAlive() && funcs.wtsGetActiveConsoleSessionId() && funcs.wtsFreeMemory() &&
                    funcs.wtsQuerySessionInformation() && funcs.getNativeSystemInfo());
        ASSERT_NE(nullptr, funcs.isWow64Process());
        // Only an x86 program on 64-bit Windows runs under WOW64.
        SYSTEM_INFO native = {};
        GetNativeSystemInfo(&native);
        const bool bExpected = sizeof(void*) == 4 && native.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_INTEL;
        BOOL bWow64 = !bExpected;
        EXPECT_TRUE(funcs.isWow64Process()(GetCurrentProcess(), &bWow64));
        EXPECT_EQ(bExpected, bWow64 != FALSE);
        const auto pfnFree = funcs.wtsFreeMemory();
        EXPECT_EQ(0, funcs.loadFunctions()) << "a second call only fills what is missing";
        EXPECT_EQ(pfnFree, funcs.wtsFreeMemory());
    }
    EXPECT_FALSE(loaded(L"sensapi.dll")) << "one load per library, freed once";
    EXPECT_FALSE(loaded(L"wtsapi32.dll"));
    EXPECT_EQ("", trace());
}

TEST_F(SysFuncsTest, MissingLibrariesAndExportsAreSilent)
{
    CSKDllModuleNames olderWindows;
    olderWindows.wcsSensapi = L"skp_no_such_library.dll";
    olderWindows.wcsWtsapi32 = L"version.dll"; // present, but without the session functions
    CSKDllFuncs funcs(olderWindows);
    EXPECT_EQ(0, funcs.loadFunctions());
    EXPECT_FALSE(funcs.isNetworkAlive() || funcs.wtsQuerySessionInformation() || funcs.wtsFreeMemory());
    EXPECT_TRUE(funcs.wtsGetActiveConsoleSessionId() && funcs.isWow64Process() && funcs.getNativeSystemInfo());
    EXPECT_EQ("", trace());
}

TEST_F(SysFuncsTest, ALibraryThatFailsToLoadForAnotherReasonIsReported)
{
    const std::wstring folder = testScratchPath(L"libraries");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    {
        CKSLScopedFile file(CreateFileW((folder + L"\\bogus.dll").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                        nullptr));
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.get(), "not a library", 13, &written, nullptr));
    }
    CSKDllModuleNames names;
    names.wcsFolder = folder.c_str(); // the other two are missing there: silent
    names.wcsWtsapi32 = L"bogus.dll";
    CSKDllFuncs funcs(names);
    EXPECT_EQ(0, funcs.loadFunctions());
    const std::string t = trace();
    ASSERT_GT(t.size(), 25u);
    // One line: "Safekeep: LoadLibrary: Error <code> bogus.dll", the library as it is named.
    const std::string line = t.substr(25), head = "Safekeep: LoadLibrary: Error ", tail = " bogus.dll\r\n";
    ASSERT_EQ(0u, line.find(head)) << t;
    ASSERT_EQ(line.size() - tail.size(), line.find(tail)) << t;
    const std::string code = line.substr(head.size(), line.size() - head.size() - tail.size());
    EXPECT_EQ(std::string::npos, code.find_first_not_of("0123456789")) << t;
    EXPECT_NE("126", code) << "not the module-not-found code";
}

std::wstring systemFolder()
{
    wchar_t folder[MAX_PATH];
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder, n < MAX_PATH ? n : 0) + L"\\";
}

std::wstring modulePath(const wchar_t* wcsModule)
{
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(GetModuleHandleW(wcsModule), path, MAX_PATH);
    return std::wstring(path, n < MAX_PATH ? n : 0);
}

// Windows looks for these two in the program's folder first; Wine does so only with the override
// that ctest sets for this program. The system's copies are loaded all the same, and a
// look-alike's entry point never runs, neither in the start-up probes nor at the plug-in's first
// export call (the capability query).
TEST_F(SysFuncsTest, LookAlikesBesideTheProgramAreNeverLoaded)
{
    ASSERT_NE(std::wstring::npos, getEnv(L"WINEDLLOVERRIDES").find(L"sensapi,wtsapi32=n,b"))
        << "run with WINEDLLOVERRIDES=sensapi,wtsapi32=n,b, or Wine never searches the program's folder";
    const std::wstring mark = testScratchPath(L"planted.mark");
    setEnv(L"SKP_PLANTED_MARK", mark);
    const std::wstring lookAlike = testBinDir() + L"planted\\planted_res.dll";
    const PlantedCopy sensapi(lookAlike, testExeFolder() + L"sensapi.dll");
    const PlantedCopy wtsapi32(lookAlike, testExeFolder() + L"wtsapi32.dll");
    ASSERT_TRUE(sensapi.planted() && wtsapi32.planted());
    {
        CSKStartupProbes probes;
        const CSKDllFuncs& funcs = probes.dllFuncs();
        EXPECT_TRUE(funcs.isNetworkAlive() && funcs.wtsQuerySessionInformation() && funcs.wtsFreeMemory())
            << "the genuine libraries";
        EXPECT_EQ(systemFolder() + L"sensapi.dll", modulePath(L"sensapi.dll"));
        EXPECT_EQ(systemFolder() + L"wtsapi32.dll", modulePath(L"wtsapi32.dll"));
    }
    {
        PluginLoader plugin;
        ASSERT_TRUE(plugin.loaded());
        int32_t answer = 7;
        EXPECT_EQ(0, plugin.getCapability(1, &answer));
        EXPECT_EQ(1, answer);
        // The first record query builds the module-wide objects, the start-up probes among them.
        uint32_t size = 0;
        LP_FUNCTION_INFO info{};
        EXPECT_EQ(0, plugin.getFunctionInfo(0, &info, &size));
        EXPECT_EQ(systemFolder() + L"sensapi.dll", modulePath(L"sensapi.dll"));
        EXPECT_EQ(systemFolder() + L"wtsapi32.dll", modulePath(L"wtsapi32.dll"));
    }
    setEnv(L"SKP_PLANTED_MARK", L"");
    EXPECT_FALSE(fileExists(mark)) << "a look-alike's entry point ran";
}

TEST_F(SysFuncsTest, TheSystemDriveIsDiskZeroPartitionOne)
{
    CSKDriveTable table;
    EXPECT_STREQ(L"C:", table.systemDrive());
    EXPECT_STREQ(L"X:", table.preinstallDrive());
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
    EXPECT_EQ(noSuchDrive(letter), trace().substr(25)) << "one line after the time";

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
    EXPECT_EQ(noSuchDrive(preinstall), trace().substr(25));

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

TEST_F(SysFuncsTest, StartupLoadsTheFunctionsOnlyOutsideThePreinstallationEnvironment)
{
    {
        CSKStartupProbes probes;
        EXPECT_EQ(0, probes.loadResult());
        EXPECT_NE(nullptr, probes.dllFuncs().isNetworkAlive());
        EXPECT_EQ(0, probes.driveTable().diskNumber());
    }
    setEnv(L"KSLDrive", L"C:");
    // A plug-in unloaded earlier in this process leaves the system libraries it loaded in place.
    const bool bLoadedBefore = loaded(L"sensapi.dll");
    CSKStartupProbes probes;
    EXPECT_EQ(1, probes.loadResult());
    EXPECT_EQ(nullptr, probes.dllFuncs().isNetworkAlive());
    EXPECT_EQ(nullptr, probes.dllFuncs().getNativeSystemInfo());
    EXPECT_EQ(bLoadedBefore, loaded(L"sensapi.dll")) << "no load of its own";
    EXPECT_EQ(1, probes.driveTable().partitionNumber()) << "the pre-installation drive C";
}

} // namespace
