// Directories, environment variables and their log records.
#include <gtest/gtest.h>

#include "ksl_directory.h"
#include "ksl_environment_variable.h"
#include "scratch_registry.h"
#include "test_paths.h"

namespace {

std::wstring w(const CKSLWCharString& s)
{
    return s.getString();
}

// Logging on, into a file of the test's own, so records can be checked.
class LoggedTest : public ScratchRegistryTest {
protected:
    void SetUp() override
    {
        ScratchRegistryTest::SetUp();
        logPath = testScratchPath(L"ksl.log");
        setRegDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tessil\\Logs", L"Logging", 1);
        setRegString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tessil\\Logs", L"TextOutput", logPath);
    }
    std::string log() const { return readFileBytes(logPath); }
    std::wstring logPath;
};

using DirectoryTest = LoggedTest;

TEST_F(DirectoryTest, DrivesRootsAndFoldersAreDirectoriesFilesAreNot)
{
    CKSLDirectory dir(L"C:");
    EXPECT_TRUE(dir.isValidWindowsDirectory(L"C:"));
    EXPECT_TRUE(dir.isValidWindowsDirectory(L"C:\\"));
    const std::wstring folder = testScratchDir();              // ends with a backslash
    const std::wstring bare = folder.substr(0, folder.size() - 1);
    EXPECT_TRUE(dir.isValidWindowsDirectory(folder.c_str()));
    EXPECT_TRUE(dir.isValidWindowsDirectory(bare.c_str()));
    const std::wstring file = testScratchPath(L"file.txt");
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    EXPECT_FALSE(dir.isValidWindowsDirectory(file.c_str()));
    EXPECT_FALSE(dir.isValidWindowsDirectory((folder + L"missing").c_str()));
}

TEST_F(DirectoryTest, AOneCharacterPathIsAnIndexErrorThatIsCaught)
{
    CKSLDirectory dir(L"C:");
    EXPECT_FALSE(dir.isValidWindowsDirectory(L"C"));
    EXPECT_NE(std::string::npos, log().find("I\0n\0d\0e\0x\0 \0o\0u\0t\0", 0, 18)) << "logged in UTF-16";
}

TEST_F(DirectoryTest, CreateDirectoryTreeCreatesEveryMissingLevel)
{
    const std::wstring base = testScratchPath(L"tree");
    CreateDirectoryW(base.c_str(), nullptr);
    CKSLDirectory existing(base.c_str());
    EXPECT_FALSE(existing.createDirectoryTree()) << "nothing to create";

    const std::wstring deep = base + L"\\one\\two";
    CKSLDirectory tree(deep.c_str());
    EXPECT_TRUE(tree.createDirectoryTree());
    EXPECT_TRUE(fileExists(base + L"\\one"));
    EXPECT_TRUE(fileExists(deep));
    EXPECT_TRUE(tree.isValidDirectory());
}

TEST_F(DirectoryTest, CreateDirectoryTreeFailsOnAMissingDrive)
{
    CKSLDirectory tree(L"Q:\\no\\drive");
    EXPECT_FALSE(tree.createDirectoryTree());
}

using EnvironmentTest = LoggedTest;

TEST_F(EnvironmentTest, ReadsASetVariableAndLeavesTheOutputForAMissingOne)
{
    SetEnvironmentVariableW(L"KSL_TEST_VAR", L"C:\\common");
    CKSLEnvironmentVariable var(L"KSL_TEST_VAR");
    CKSLWCharString value(L"old");
    EXPECT_TRUE(var.getValue(value));
    EXPECT_EQ(L"C:\\common", w(value));

    SetEnvironmentVariableW(L"KSL_TEST_VAR", nullptr);
    EXPECT_FALSE(var.getValue(value));
    EXPECT_EQ(L"C:\\common", w(value));
    EXPECT_TRUE(log().empty()) << "a missing variable is no error";
}

TEST_F(EnvironmentTest, AnUnnamedVariableIsReported)
{
    CKSLEnvironmentVariable var(CKSLWCharString{});
    CKSLWCharString value;
    EXPECT_FALSE(var.getValue(value));
    const std::string text = log();
    const std::wstring expected = L"\"The environment variable name has not been initialized\"";
    EXPECT_NE(std::string::npos, text.find(reinterpret_cast<const char*>(expected.c_str()), 0, expected.size() * 2));
}

} // namespace
