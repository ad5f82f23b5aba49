// Display texts from the product's resource library, the guarded copy and the error report.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "scratch_registry.h"
#include "sk_resource.h"
#include "test_paths.h"
#include "trace_config.h"

namespace {


void setEnv(const wchar_t* name, const std::wstring& value)
{
    SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
}

// Each test starts with no sk_res.dll beside the test program, no KSLCOMMON, no KSLDrive, and the
// "Safekeep" trace going to a file of its own.
class ResourceTest : public ScratchRegistryTest {
protected:
    void SetUp() override
    {
        ScratchRegistryTest::SetUp();
        local = testExeFolder() + L"sk_res.dll";
        DeleteFileW(local.c_str());
        setEnv(L"KSLCOMMON", L"");
        setEnv(L"KSLDrive", L"");
        tracePath = testScratchPath(L"safekeep.log");
        ASSERT_TRUE(enableTrace(L"Safekeep", tracePath));
    }
    void TearDown() override
    {
        DeleteFileW(local.c_str());
        setEnv(L"KSLCOMMON", L"");
        setEnv(L"KSLDrive", L"");
        setEnv(L"SKP_PLANTED_MARK", L"");
        ScratchRegistryTest::TearDown();
    }
    void putProductLibraryBesideTheLauncher()
    {
        ASSERT_TRUE(CopyFileW((testBinDir() + L"sk_res.dll").c_str(), local.c_str(), FALSE));
    }
    // A folder for KSLCOMMON holding the look-alike whose entry point leaves a mark.
    std::wstring plantedFolder()
    {
        const std::wstring dir = testScratchPath(L"common");
        CreateDirectoryW(dir.c_str(), nullptr);
        EXPECT_TRUE(CopyFileW((testBinDir() + L"planted\\planted_res.dll").c_str(), (dir + L"\\sk_res.dll").c_str(),
                              FALSE));
        return dir;
    }
    std::string trace() const { return readFileBytes(tracePath); }

    std::wstring local, tracePath;
};

TEST_F(ResourceTest, TheCopyBesideTheLauncherWinsOverKslCommon)
{
    putProductLibraryBesideTheLauncher();
    setEnv(L"KSLCOMMON", plantedFolder());
    std::wstring text = L"old";
    EXPECT_EQ(1, SKULoadString(560, text));
    EXPECT_EQ(L"Back up now", text);
    EXPECT_EQ(L"Rejuvenate your computer", SKLoadText(593));
}

TEST_F(ResourceTest, KslCommonIsUsedWithoutALocalCopyAndItsEntryPointNeverRuns)
{
    const std::wstring mark = testScratchPath(L"planted.mark");
    setEnv(L"SKP_PLANTED_MARK", mark);
    setEnv(L"KSLCOMMON", plantedFolder());
    std::wstring text;
    EXPECT_EQ(1, SKULoadString(560, text));
    EXPECT_EQ(L"Planted back up now", text);
    EXPECT_FALSE(fileExists(mark)) << "the resource library was loaded as data, not run";
}

TEST_F(ResourceTest, InThePreinstallationEnvironmentOnlyTheLocalPathIsTried)
{
    setEnv(L"KSLCOMMON", plantedFolder());
    setEnv(L"KSLDrive", L"X:");
    std::wstring text = L"old";
    const int result = SKULoadString(560, text);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(ERROR_MOD_NOT_FOUND, result) << "the module-not-found code";
    const std::string expected = "Safekeep: LoadLibrary: Error " + std::to_string(result) + " ";
    EXPECT_NE(std::string::npos, trace().find(expected)) << trace();
    EXPECT_NE(std::string::npos, trace().find("sk_res.dll\r\n"));
}

// Without a usable "KSLCOMMON" only the copy beside the launcher is tried: never the root of the
// current drive, where a look-alike is planted.
TEST_F(ResourceTest, WithoutAUsableKslCommonOnlyTheLocalCopyIsTried)
{
    const std::wstring planted = L"C:\\sk_res.dll";
    ASSERT_TRUE(CopyFileW((testBinDir() + L"planted\\planted_res.dll").c_str(), planted.c_str(), FALSE));
    const std::wstring mark = testScratchPath(L"planted_root.mark");
    setEnv(L"SKP_PLANTED_MARK", mark);
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\"));
    const std::wstring longFolder = L"C:\\" + std::wstring(300, L'a');
    const std::wstring cutFolder = L"C:\\" + std::wstring(MAX_PATH - 12, L'b'); // "\\sk_res.dll" does not fit
    std::string localPath;
    for (wchar_t c : testExeFolder() + L"sk_res.dll")
        localPath += static_cast<char>(c);
    for (const std::wstring& common : {std::wstring(), longFolder, cutFolder}) {
        setEnv(L"KSLCOMMON", common);
        DeleteFileW(tracePath.c_str());
        std::wstring text = L"old";
        EXPECT_EQ(ERROR_MOD_NOT_FOUND, SKULoadString(560, text)) << common.size();
        EXPECT_EQ(L"", text) << "the planted texts are not shown";
        const std::string t = trace();
        ASSERT_GT(t.size(), 24u) << "one trace line";
        EXPECT_EQ(" Safekeep: LoadLibrary: Error 126 " + localPath + "\r\n", t.substr(24));
    }
    SetCurrentDirectoryW(previous);
    DeleteFileW(planted.c_str());
    EXPECT_FALSE(fileExists(mark));
}

TEST_F(ResourceTest, AMissingStringGivesAnEmptyTextAndOneTraceLine)
{
    putProductLibraryBesideTheLauncher();
    std::wstring text = L"old";
    EXPECT_EQ(0, SKULoadString(9999, text));
    EXPECT_TRUE(text.empty());
    const std::string t = trace();
    EXPECT_NE(std::string::npos, t.find("Safekeep: SKULoadString - LoadString(9999, '")) << t;
    EXPECT_EQ(1, static_cast<int>(std::count(t.begin(), t.end(), '\n')));
}

TEST_F(ResourceTest, ALanguageBlockIsReadEntryByEntry)
{
    putProductLibraryBesideTheLauncher();
    const WORD german = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
    std::wstring text;
    EXPECT_EQ(1, SKULoadString(560, text, german));
    EXPECT_EQ(L"Jetzt sichern", text);
    EXPECT_EQ(1, SKULoadString(562, text, german));
    EXPECT_EQ(L"Es wurde noch keine Sicherung erstellt", text);
    // 565 shares the block but has no German text: the default lookup fills it in.
    EXPECT_EQ(0, SKULoadString(565, text, german));
    EXPECT_EQ(L"Restore files", text);
}

TEST_F(ResourceTest, AMissingLanguageBlockFallsBackToTheDefaultLookup)
{
    putProductLibraryBesideTheLauncher();
    std::wstring text;
    SetLastError(0);
    const int result = SKULoadString(593, text, MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH));
    EXPECT_EQ(L"Rejuvenate your computer", text);
    EXPECT_NE(1, result);
    EXPECT_NE(std::string::npos, trace().find("Safekeep: FindResourceEx failed. Error ")) << trace();
    EXPECT_NE(std::string::npos, trace().find("stringID=593 lang=1036\r\n"));
}

} // namespace
