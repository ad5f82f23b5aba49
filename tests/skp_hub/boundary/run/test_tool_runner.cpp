// The tool runner: environment expansion, the quiet list of the trace, waiting or not, failures.
#include <gtest/gtest.h>

#include <string>

#include "handle_count.h"
#include "sk_tool_runner.h"
#include "test_paths.h"
#include "trace_capture.h"

namespace {

const int kNormalPriority = 0x20;
const wchar_t kFailed[] = L"Start function or startAndWaitForFinish function failed";

void setVariable(const wchar_t* wcsName, const std::wstring& value)
{
    ASSERT_TRUE(SetEnvironmentVariableW(wcsName, value.c_str()));
}

std::wstring expanded(std::wstring text)
{
    expandEnvironment(text);
    return text;
}

std::string narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// Runs a program with the runner's usual arguments, waiting, hidden.
int runWaiting(const std::wstring& program, const std::wstring& arguments, int nUseCreateProcess = 1, int nShow = 0)
{
    return runTool(program, arguments, nShow, 1, kNormalPriority, L"", nullptr, L"Safekeep", 1, nUseCreateProcess);
}

TEST(ExpandEnvironment, ReplacesEveryReferenceWithTheValueWithoutTrailingBackslashes)
{
    setVariable(L"SKT_DIR", L"C:\\tools\\\\");
    EXPECT_EQ(L"C:\\tools\\x.exe C:\\tools", expanded(L"%SKT_DIR%\\x.exe %SKT_DIR%"));
    setVariable(L"SKT_EMPTY", L"");
    EXPECT_EQ(L"ab", expanded(L"a%SKT_EMPTY%b"));
    setVariable(L"SKT_INNER", L"C:\\in");
    setVariable(L"SKT_OUTER", L"%SKT_INNER%\\sub");
    EXPECT_EQ(L"C:\\in\\sub\\f", expanded(L"%SKT_OUTER%\\f")) << "a value may name further variables";
    EXPECT_EQ(L"no references", expanded(L"no references"));
    EXPECT_EQ(L"50% done", expanded(L"50% done"));
}

TEST(ExpandEnvironment, StopsAtTheFirstUndefinedReference)
{
    setVariable(L"SKT_DIR", L"C:\\tools");
    SetEnvironmentVariableW(L"SKT_UNDEFINED", nullptr);
    EXPECT_EQ(L"%SKT_UNDEFINED%\\%SKT_DIR%", expanded(L"%SKT_UNDEFINED%\\%SKT_DIR%"));
    EXPECT_EQ(L"%%", expanded(L"%%"));
}

const size_t kLongestCommand = 32767;

TEST(ExpandEnvironment, EndlessChainsEnd)
{
    setVariable(L"SKT_SELF", L"x%SKT_SELF%");
    EXPECT_EQ(0u, expanded(L"%SKT_SELF%").find(L"xxxx"));
    setVariable(L"SKT_TWICE", L"%SKT_TWICE%%SKT_TWICE%");
    EXPECT_EQ(kLongestCommand, expanded(L"%SKT_TWICE%").size()) << "doubling is cut at a command line's length";
    // A name longer than 259 characters cannot be looked up, even when its first 259 could.
    const std::wstring name(259, L'N');
    setVariable(name.c_str(), L"value");
    const std::wstring text = L"%" + name + L"NN%";
    EXPECT_EQ(text, expanded(text));
}

// One round may not outgrow a command line either: 200 references to a 30,000-character value
// would be 6,000,000 characters.
TEST(ExpandEnvironment, EveryRoundIsCutAtTheLongestCommandLine)
{
    const std::wstring value(30000, L'v');
    setVariable(L"SKT_BIG", value);
    std::wstring text = L"start ";
    for (int i = 0; i < 200; ++i)
        text += L"%SKT_BIG% ";
    const std::wstring result = expanded(text);
    ASSERT_EQ(kLongestCommand, result.size());
    EXPECT_EQ(L"start " + value + L" " + value.substr(0, kLongestCommand - 7 - value.size()), result);
}

using ToolRunnerTest = TraceCaptureTest;

TEST_F(ToolRunnerTest, NothingEscapesTheRunnerWhateverTheExpansionGrowsTo)
{
    setVariable(L"SKT_BIG", std::wstring(30000, L'v'));
    setVariable(L"SKT_TWICE", L"%SKT_TWICE%%SKT_TWICE%");
    std::wstring arguments;
    for (int i = 0; i < 1000; ++i)
        arguments += L"%SKT_BIG%";
    const std::wstring missing = testScratchPath(L"missing.exe");
    EXPECT_EQ(-1, runWaiting(missing, arguments));
    EXPECT_EQ(-1, runWaiting(L"%SKT_TWICE%", L"%SKT_TWICE%")) << "a program name far longer than a path";
    EXPECT_EQ(-1, runWaiting(L"%SKT_TWICE%", L"", 0)) << "not handed to the shell either";
    const auto traced = traceMessages();
    ASSERT_EQ(6u, traced.size());
    EXPECT_EQ(narrow(kFailed), traced[1]);
    EXPECT_EQ(narrow(kFailed), traced[3]);
    EXPECT_EQ(narrow(kFailed), traced[5]);
}

// CreateProcessW reads an unquoted "C:\Program Files\x y\tool.exe" as C:\Program.exe: a look-alike
// planted there (the product stand-in, which records that it ran) must not start, and the tool
// named must.
TEST_F(ToolRunnerTest, AProgramPathWithBlanksStartsThatProgram)
{
    wchar_t programFiles[MAX_PATH];
    ASSERT_LT(GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH), static_cast<DWORD>(MAX_PATH));
    ASSERT_EQ(0, std::wstring(programFiles).find(L"C:\\Program "));
    const std::wstring folder = std::wstring(programFiles) + L"\\skp x y " + std::to_wstring(GetCurrentProcessId());
    removeTree(folder); // left by a run that stopped early
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const struct FolderRemover {
        std::wstring path;
        ~FolderRemover() { removeTree(path); }
    } remover{folder};
    const std::wstring tool = folder + L"\\tool.exe";
    ASSERT_TRUE(CopyFileW((testBinDir() + L"exit_with.exe").c_str(), tool.c_str(), FALSE));
    // Another run may hold it already: the copy may fail, the file must be there.
    const PlantedCopy lookAlike(testBinDir() + L"product\\skp_gui.exe", L"C:\\Program.exe");
    ASSERT_TRUE(fileExists(L"C:\\Program.exe"));
    const std::wstring mark = testScratchPath(L"planted.log");
    setVariable(L"SKP_STANDIN_LOG", mark);

    EXPECT_EQ(5, runWaiting(tool, L"5"));
    EXPECT_EQ(6, runWaiting(L"\"" + tool + L"\"", L"6")) << "a path already quoted is taken as it is";
    EXPECT_EQ(7, runWaiting(tool, L"7", 0)) << "the shell start names the program apart anyway";
    EXPECT_EQ(static_cast<int>(tool.size() + 2 + 10), runWaiting(tool, L"cmdlength"))
        << "quoted once, then the arguments";
    EXPECT_EQ("", readFileBytes(mark)) << "the look-alike ran";
    const auto traced = traceMessages();
    ASSERT_EQ(4u, traced.size());
    EXPECT_EQ("Running: " + narrow(tool) + " 5", traced[0]) << "the trace shows the program as named";

    SetEnvironmentVariableW(L"SKP_STANDIN_LOG", nullptr);
}

TEST_F(ToolRunnerTest, WaitsForTheExpandedCommandAndAnswersItsExitCode)
{
    setVariable(L"SKT_BIN", testBinDir()); // ends in a backslash, as folder variables often do
    setVariable(L"SKT_CODE", L"42");
    const std::wstring program = testBinDir() + L"exit_with.exe";
    EXPECT_EQ(42, runWaiting(L"%SKT_BIN%\\exit_with.exe", L"%SKT_CODE%", 1));
    EXPECT_EQ(43, runWaiting(L"%SKT_BIN%\\exit_with.exe", L"43", 0)) << "through the shell";
    const auto traced = traceMessages();
    ASSERT_EQ(2u, traced.size());
    EXPECT_EQ("Running: " + narrow(program) + " 42", traced[0]);
    EXPECT_EQ("Running: " + narrow(program) + " 43", traced[1]);
}

TEST_F(ToolRunnerTest, ShowsTheWindowOnlyWhenAsked)
{
    const std::wstring program = testBinDir() + L"exit_with.exe";
    EXPECT_EQ(STARTF_USESHOWWINDOW | (SW_SHOW << 16), runWaiting(program, L"startupflags", 1, 7));
    EXPECT_EQ(STARTF_USESHOWWINDOW | (SW_HIDE << 16), runWaiting(program, L"startupflags", 1, 0));
}

// File names on Windows ignore case, and so does the quiet list.
TEST_F(ToolRunnerTest, QuietToolsKeepTheirCommandLinesOutOfTheTrace)
{
    const std::wstring dir = testScratchPath(L"tools");
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    const wchar_t* const kQuiet[] = {L"cacls.exe", L"volsnap.exe", L"REG.EXE", L"Inspekt.exe", L"BootSel32.EXE",
                                     L"CACLS.exe", L"VolSnap.exe"};
    for (const wchar_t* wcsTool : kQuiet)
        ASSERT_TRUE(CopyFileW((testBinDir() + L"exit_with.exe").c_str(), (dir + L"\\" + wcsTool).c_str(), FALSE));
    for (const wchar_t* wcsTool : {L"netmount.exe", L"NetMount.exe"})
        ASSERT_TRUE(CopyFileW((testBinDir() + L"exit_with.exe").c_str(), (dir + L"\\" + wcsTool).c_str(), FALSE));
    setVariable(L"SKT_TOOLS", dir);
    int nCode = 10;
    for (const wchar_t* wcsTool : kQuiet) {
        ++nCode;
        EXPECT_EQ(nCode, runWaiting(L"%SKT_TOOLS%\\" + std::wstring(wcsTool), std::to_wstring(nCode)))
            << "expanded and started, not traced: " << narrow(wcsTool);
    }
    EXPECT_EQ(0, runWaiting(L"%SKT_TOOLS%\\netmount.exe", L"/user:admin secret"));
    EXPECT_EQ(0, runWaiting(L"%SKT_TOOLS%\\NetMount.exe", L"/user:admin secret"));
    EXPECT_EQ(7, runWaiting(testBinDir() + L"exit_with.exe", L"7 0 \"C:\\Windows\\bcdedit.exe\""));
    EXPECT_EQ(8, runWaiting(testBinDir() + L"exit_with.exe", L"8 0 \"C:\\Windows\\BCDEdit.EXE\""));
    const auto traced = traceMessages();
    ASSERT_EQ(2u, traced.size());
    EXPECT_EQ("Running: " + narrow(dir) + "\\netmount.exe *", traced[0]);
    EXPECT_EQ("Running: " + narrow(dir) + "\\NetMount.exe *", traced[1]);
}

TEST_F(ToolRunnerTest, WithoutWaitingTheCallerGetsTheRunningProgram)
{
    const std::wstring program = testBinDir() + L"exit_with.exe";
    runTool(program, L"0", 0, 0, kNormalPriority, L"", nullptr, L"Safekeep", 0, 1); // warms up what Wine keeps
    const DWORD dwBefore = openHandleCount();
    HANDLE hProcess = nullptr;
    EXPECT_EQ(0, runTool(program, L"9 200", 0, 0, kNormalPriority, L"", &hProcess, L"Safekeep", 0, 1));
    ASSERT_NE(nullptr, hProcess);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hProcess, 60000));
    DWORD dwCode = 0;
    EXPECT_TRUE(GetExitCodeProcess(hProcess, &dwCode));
    EXPECT_EQ(9u, dwCode);
    CloseHandle(hProcess);
    EXPECT_EQ(0, runTool(program, L"0", 0, 0, kNormalPriority, L"", nullptr, L"Safekeep", 0, 1));
    EXPECT_EQ(0, runTool(program, L"0", 0, 1, kNormalPriority, L"", nullptr, L"Safekeep", 0, 1));
    EXPECT_EQ(dwBefore, openHandleCount()) << "no handle is left behind";
    EXPECT_TRUE(traceMessages().empty()) << "trace command 0 traces nothing";
}

TEST_F(ToolRunnerTest, AProgramThatCannotStartAnswersMinusOneAndNoHandle)
{
    const std::wstring missing = testScratchPath(L"missing.exe");
    EXPECT_EQ(-1, runWaiting(missing, L""));
    HANDLE hProcess = reinterpret_cast<HANDLE>(0x1234);
    EXPECT_EQ(-1, runTool(missing, L"", 0, 0, kNormalPriority, L"", &hProcess, L"Safekeep", 0, 0));
    EXPECT_EQ(nullptr, hProcess);
    const auto traced = traceMessages();
    ASSERT_EQ(3u, traced.size());
    EXPECT_EQ("Running: " + narrow(missing) + " ", traced[0]);
    EXPECT_EQ(narrow(kFailed), traced[1]);
    EXPECT_EQ(narrow(kFailed), traced[2]);
}

} // namespace
