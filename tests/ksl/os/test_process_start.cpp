// CKSLWindowsProcess against real programs under this system: the helper exit_with.exe answers
// through its exit code what it was started with.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "handle_count.h"
#include "ksl_windowsprocess.h"
#include "log_capture.h"

namespace {

const bool kCreateProcess = true;
const bool kShell = false;
const unsigned long kNormal = NORMAL_PRIORITY_CLASS;

std::wstring helperPath()
{
    return testBinDir() + L"exit_with.exe";
}

std::wstring quotedHelper()
{
    return L"\"" + helperPath() + L"\"";
}

CKSLWCharString text(const std::wstring& s)
{
    return CKSLWCharString(s.c_str());
}

// Starts the command with the arguments and waits for it; the exit code, or -1 on failure.
long runCommand(const std::wstring& command, const std::wstring& arguments, bool bUseCreateProcess,
                unsigned long ulShowWindow = SW_HIDE)
{
    CKSLWindowsProcess process;
    unsigned long ulExitCode = 0;
    if (!process.startAndWaitForFinish(ulExitCode, text(command), text(arguments), CKSLWCharString(), INFINITE,
                                       kNormal, ulShowWindow, bUseCreateProcess))
        return -1;
    return static_cast<long>(ulExitCode);
}

// The helper program, named as each way of starting wants it.
long runHelper(const std::wstring& arguments, bool bUseCreateProcess, unsigned long ulShowWindow = SW_HIDE)
{
    return runCommand(bUseCreateProcess ? quotedHelper() : helperPath(), arguments, bUseCreateProcess, ulShowWindow);
}

class ProcessTest : public LogCaptureTest {};

TEST_F(ProcessTest, ExitCodeComesBackAfterWaitingEitherWay)
{
    EXPECT_EQ(42, runHelper(L"42", kCreateProcess));
    EXPECT_EQ(7, runHelper(L"7 50", kCreateProcess));
    EXPECT_EQ(9, runHelper(L"9", kShell, SW_SHOWNORMAL));
}

TEST_F(ProcessTest, ArgumentsFollowTheCommandAfterOneBlankAndEmptyOnesAddNothing)
{
    const std::wstring command = quotedHelper() + L" cmdlength";
    EXPECT_EQ(static_cast<long>(command.size()), runCommand(command, L"", kCreateProcess))
        << "no trailing blank for empty arguments";
    EXPECT_EQ(static_cast<long>(command.size() + 4), runCommand(command, L"a b", kCreateProcess));
}

TEST_F(ProcessTest, ShowWindowFourteenLeavesTheWindowStateToTheProgram)
{
    const long lLeft = runHelper(L"startupflags", kCreateProcess, CKSLWindowsProcess::kShowLeaveToProgram);
    ASSERT_NE(-1, lLeft);
    EXPECT_EQ(0, lLeft & STARTF_USESHOWWINDOW);

    const long lShown = runHelper(L"startupflags", kCreateProcess, SW_SHOWMINNOACTIVE);
    EXPECT_EQ(STARTF_USESHOWWINDOW, lShown & 0xFFFF);
    EXPECT_EQ(SW_SHOWMINNOACTIVE, lShown >> 16);
}

// The shell start sets the priority class once the program runs. (This Wine ignores the
// priority bits among CreateProcessW's creation flags, so that path cannot be checked here.)
TEST_F(ProcessTest, ShellStartSetsThePriorityClassAfterwards)
{
    CKSLWindowsProcess process;
    ASSERT_TRUE(process.start(text(helperPath()), CKSLWCharString(L"0 60000"), CKSLWCharString(), IDLE_PRIORITY_CLASS,
                              SW_HIDE, kShell));
    HANDLE hProcess = nullptr;
    ASSERT_TRUE(process.getHandle(hProcess));
    EXPECT_EQ(static_cast<DWORD>(IDLE_PRIORITY_CLASS), GetPriorityClass(hProcess));
    TerminateProcess(hProcess, 0);
    WaitForSingleObject(hProcess, INFINITE);
    CloseHandle(hProcess);
}

TEST_F(ProcessTest, ZeroTimeOutOnARunningProgramAnswersStillActive)
{
    CKSLWindowsProcess process;
    ASSERT_TRUE(process.start(text(quotedHelper()), CKSLWCharString(L"0 60000"), CKSLWCharString(), kNormal, SW_HIDE,
                              kCreateProcess));
    unsigned long ulExitCode = 0;
    EXPECT_TRUE(process.waitForFinish(ulExitCode, 0));
    EXPECT_EQ(259u, ulExitCode);

    // The test's own handle ends the program; the object still waits on its own one.
    HANDLE hProcess = nullptr;
    ASSERT_TRUE(process.getHandle(hProcess));
    ASSERT_NE(nullptr, hProcess);
    EXPECT_TRUE(TerminateProcess(hProcess, 3));
    EXPECT_TRUE(CloseHandle(hProcess));
    EXPECT_TRUE(process.waitForFinish(ulExitCode, INFINITE));
    EXPECT_EQ(3u, ulExitCode);
}

// Every order of the calls works: the caller's handle is a duplicate it closes, the object
// keeps its own until it is destroyed.
TEST_F(ProcessTest, GetHandleThenWaitForFinishBothSeeTheProgram)
{
    runHelper(L"0", kCreateProcess); // first use loads what the later ones share
    const DWORD dwBefore = openHandleCount();
    {
        CKSLWindowsProcess process;
        ASSERT_TRUE(process.start(text(quotedHelper()), CKSLWCharString(L"7 100"), CKSLWCharString(), kNormal,
                                  SW_HIDE, kCreateProcess));
        HANDLE hFirst = nullptr;
        HANDLE hSecond = nullptr;
        ASSERT_TRUE(process.getHandle(hFirst));
        ASSERT_TRUE(process.getHandle(hSecond));
        EXPECT_NE(hFirst, hSecond) << "each caller gets a handle of its own";
        unsigned long ulExitCode = 0;
        EXPECT_TRUE(process.waitForFinish(ulExitCode, INFINITE));
        EXPECT_EQ(7u, ulExitCode);
        for (HANDLE hProcess : {hFirst, hSecond}) {
            DWORD dwExitCode = 0;
            EXPECT_TRUE(GetExitCodeProcess(hProcess, &dwExitCode));
            EXPECT_EQ(7u, dwExitCode);
            EXPECT_TRUE(CloseHandle(hProcess));
        }
        EXPECT_TRUE(process.waitForFinish(ulExitCode, 0)) << "closing the duplicates leaves the object's own";
    }
    EXPECT_EQ(dwBefore, openHandleCount());
    EXPECT_EQ(0u, logCount(L"\"No valid process handle to wait for.\""));
}

TEST_F(ProcessTest, EmptyCommandLineIsRejectedAndStartsNothing)
{
    CKSLWindowsProcess process;
    EXPECT_FALSE(process.start(CKSLWCharString(), CKSLWCharString(L"1"), CKSLWCharString(), kNormal, SW_HIDE,
                               kCreateProcess));
    EXPECT_FALSE(process.start(CKSLWCharString(L""), CKSLWCharString(L"1"), CKSLWCharString(), kNormal, SW_HIDE,
                               kShell));
    EXPECT_EQ(2u, logCount(L"\"A bad argument was provided ( wcsCommandLine ). The string isn't valid\""));
    HANDLE hProcess = nullptr;
    EXPECT_FALSE(process.getHandle(hProcess));
    EXPECT_EQ(nullptr, hProcess);
}

TEST_F(ProcessTest, WaitingOrTakingTheHandleBeforeAnyStartFails)
{
    CKSLWindowsProcess process;
    unsigned long ulExitCode = 12345;
    EXPECT_FALSE(process.waitForFinish(ulExitCode, 0));
    EXPECT_EQ(12345u, ulExitCode);
    HANDLE hProcess = nullptr;
    EXPECT_FALSE(process.getHandle(hProcess));
    EXPECT_EQ(2u, logCount(L"\"No valid process handle to wait for.\""));
}

TEST_F(ProcessTest, MissingProgramFailsWithTheCommandAndTheWindowsError)
{
    const std::wstring missing = testScratchDir() + L"no_such_program.exe";
    EXPECT_EQ(-1, runCommand(missing, L"x", kCreateProcess));
    EXPECT_TRUE(logHas(L"\"Unable to create process ( " + missing + L" x )\" <Error: 0x00000002>"));
    CKSLWindowsProcess process;
    EXPECT_FALSE(process.start(text(missing), CKSLWCharString(L"y"), CKSLWCharString(), kNormal, SW_HIDE, kShell));
    EXPECT_TRUE(logHas(L"\"Unable to create process ( " + missing + L" y )\""));
    HANDLE hProcess = nullptr;
    EXPECT_FALSE(process.getHandle(hProcess));
}

TEST_F(ProcessTest, StartingAndWaitingManyTimesLeavesNoHandleBehind)
{
    runHelper(L"0", kCreateProcess); // first use loads what the later ones share
    const DWORD dwBefore = openHandleCount();
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(i, runHelper(std::to_wstring(i), kCreateProcess));
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(i, runHelper(std::to_wstring(i), kShell, SW_SHOWNORMAL));
    {
        // Starting again on the same object lets the earlier program's handle go.
        CKSLWindowsProcess process;
        unsigned long ulExitCode = 0;
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(process.start(text(quotedHelper()), CKSLWCharString(L"0"), CKSLWCharString(), kNormal,
                                      SW_HIDE, kCreateProcess));
        ASSERT_TRUE(process.waitForFinish(ulExitCode, INFINITE));
    }
    EXPECT_EQ(dwBefore, openHandleCount());
}

TEST_F(ProcessTest, EveryPublicOperationIsTraced)
{
    setLogDetail(KSL_LOG_ENTRY | KSL_LOG_EXIT);
    {
        CKSLWindowsProcess process;
        runHelper(L"0", kCreateProcess);
        unsigned long ulExitCode = 0;
        process.start(text(quotedHelper()), CKSLWCharString(L"0"), CKSLWCharString(), kNormal, SW_HIDE,
                      kCreateProcess);
        process.waitForFinish(ulExitCode, INFINITE);
        HANDLE hProcess = nullptr;
        if (process.getHandle(hProcess))
            CloseHandle(hProcess);
        CKSLWindowsProcess::setPrivilege(CKSLWCharString(L"SeBackupPrivilege"), true);
    }
    for (const wchar_t* wcsMethod : {L"Constructor", L"Destructor ~CKSLWindowsProcess", L"start",
                                     L"startAndWaitForFinish", L"waitForFinish", L"getHandle", L"setPrivilege"}) {
        const std::wstring tag = std::wstring(L"<CKSLWindowsProcess::") + wcsMethod + L">";
        EXPECT_TRUE(logHas(L"<ENTRY> <test_os> " + tag)) << tag;
        EXPECT_TRUE(logHas(L"<EXIT> <test_os> " + tag + L" <Passed>")) << tag;
    }
}

TEST_F(ProcessTest, QuitMessageTakenWhileWaitingIsPostedAgain)
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    PostQuitMessage(17);
    EXPECT_EQ(5, runHelper(L"5 100", kCreateProcess));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(17u, msg.wParam);
}

// Thread messages have no window to be dispatched to: the wait keeps them and posts them again,
// in their order and with their parameters, before the WM_QUIT that follows them.
TEST_F(ProcessTest, ThreadMessagesPostedDuringTheWaitAreStillThereAfterIt)
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP + 1, 11, 12));
    const DWORD dwWaiter = GetCurrentThreadId();
    // One more arrives from another thread while the wait is going on.
    std::thread poster([dwWaiter] {
        Sleep(30);
        PostThreadMessageW(dwWaiter, WM_APP + 2, 21, 22);
        PostThreadMessageW(dwWaiter, WM_QUIT, 5, 0);
    });
    EXPECT_EQ(0, runHelper(L"0 300", kCreateProcess));
    poster.join();
    struct Expected {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    const Expected expected[] = {{WM_APP + 1, 11, 12}, {WM_APP + 2, 21, 22}, {WM_QUIT, 5, 0}};
    for (const Expected& e : expected) {
        ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << e.message;
        EXPECT_EQ(e.message, msg.message);
        EXPECT_EQ(e.wParam, msg.wParam);
        EXPECT_EQ(e.lParam, msg.lParam);
        EXPECT_EQ(nullptr, msg.hwnd);
    }
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "nothing twice";
}

} // namespace
