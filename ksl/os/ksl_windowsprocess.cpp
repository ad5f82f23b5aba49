#include "ksl_windowsprocess.h"

#include <shellapi.h>

#include <string>

#include "ksl_catch.h"
#include "ksl_exceptions.h"
#include "ksl_format.h"
#include "ksl_method_trace.h"
#include "ksl_privilege.h"
#include "ksl_pumping_wait.h"

namespace {

const wchar_t kClassName[] = L"CKSLWindowsProcess";
const wchar_t kNoHandle[] = L"No valid process handle to wait for.";

// The records the shell and CreateProcessW expect, for each of the two platforms.
#ifdef _WIN64
static_assert(sizeof(STARTUPINFOW) == 104, "STARTUPINFOW is 104 bytes");
static_assert(sizeof(SHELLEXECUTEINFOW) == 112, "SHELLEXECUTEINFOW is 112 bytes");
#else
static_assert(sizeof(STARTUPINFOW) == 68, "STARTUPINFOW is 68 bytes");
static_assert(sizeof(SHELLEXECUTEINFOW) == 60, "SHELLEXECUTEINFOW is 60 bytes");
#endif
static_assert((SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NO_CONSOLE) == 0x8440, "shell start mask");

// An invalid string and one that starts with its terminator both count as empty.
bool hasText(const CKSLWCharString& wcsText)
{
    return wcsText.getString()[0] != L'\0';
}

const wchar_t* textOrNull(const CKSLWCharString& wcsText)
{
    return hasText(wcsText) ? wcsText.getString() : nullptr;
}

// CreateProcessW takes an unquoted command line up to its first blank as the program, so
// "C:\Program Files\x y\tool.exe" would start C:\Program.exe: a program path with a blank is
// quoted, as the shell start names the program apart from its arguments anyway. One already
// quoted is left as it is.
std::wstring programForCreateProcess(const CKSLWCharString& wcsProgram)
{
    const std::wstring program(wcsProgram.getString());
    if (program[0] == L'"' || program.find_first_of(L" \t") == std::wstring::npos)
        return program;
    return L'"' + program + L'"';
}

// The command line as the program sees it: empty arguments add nothing, not even the blank.
std::wstring joinCommand(std::wstring command, const CKSLWCharString& wcsArguments)
{
    if (hasText(wcsArguments)) {
        command += L' ';
        command += wcsArguments.getString();
    }
    return command;
}

} // namespace

CKSLWindowsProcess::CKSLWindowsProcess()
{
    CKSLMethodTrace trace(kClassName, L"Constructor", KSL_HERE);
    trace.boolean(true);
}

CKSLWindowsProcess::~CKSLWindowsProcess()
{
    CKSLMethodTrace trace(kClassName, L"Destructor ~CKSLWindowsProcess", KSL_HERE);
    trace.boolean(true);
}

bool CKSLWindowsProcess::start(const CKSLWCharString& wcsCommandLine, const CKSLWCharString& wcsArguments,
                               const CKSLWCharString& wcsCurrentDirectory, unsigned long ulPriorityClass,
                               unsigned long ulShowWindow, bool bUseCreateProcess)
{
    CKSLMethodTrace trace(kClassName, L"start", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        if (!hasText(wcsCommandLine))
            throw CKSLBadArgException(L"wcsCommandLine", L"The string isn't valid", KSL_HERE);
        // The program started before (if its handle was not handed out) is let go.
        m_hProcess.reset();
        if (bUseCreateProcess)
            createProcess(joinCommand(programForCreateProcess(wcsCommandLine), wcsArguments),
                          textOrNull(wcsCurrentDirectory), ulPriorityClass, ulShowWindow);
        else
            shellExecute(wcsCommandLine.getString(), wcsArguments.getString(),
                         joinCommand(wcsCommandLine.getString(), wcsArguments), textOrNull(wcsCurrentDirectory),
                         ulPriorityClass, ulShowWindow);
        return true;
    }));
}

void CKSLWindowsProcess::createProcess(std::wstring command, const wchar_t* wcsDirectory,
                                       unsigned long ulPriorityClass, unsigned long ulShowWindow)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (ulShowWindow != kShowLeaveToProgram) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(ulShowWindow);
    }
    PROCESS_INFORMATION info = {};
    // CreateProcessW may write into the command line, so it gets this private copy.
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE,
                        ulPriorityClass | CREATE_NO_WINDOW | DETACHED_PROCESS, nullptr, wcsDirectory, &startup,
                        &info))
        kslThrowWindowsFailure<CKSLCreateProcessException>(L"Unable to create process ( %s )", command.c_str(),
                                                        KSL_HERE);
    CKSLScopedHandle unusedThread(info.hThread);
    m_hProcess.reset(info.hProcess);
}

void CKSLWindowsProcess::shellExecute(const wchar_t* wcsFile, const wchar_t* wcsArguments,
                                      const std::wstring& command, const wchar_t* wcsDirectory,
                                      unsigned long ulPriorityClass, unsigned long ulShowWindow)
{
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NO_CONSOLE;
    execute.lpFile = wcsFile;
    execute.lpParameters = wcsArguments;
    execute.lpDirectory = wcsDirectory;
    execute.nShow = static_cast<int>(ulShowWindow);
    if (!ShellExecuteExW(&execute))
        kslThrowWindowsFailure<CKSLCreateProcessException>(L"Unable to create process ( %s )", command.c_str(),
                                                        KSL_HERE);
    // No process handle when the shell handed the file to a program that was already running.
    m_hProcess.reset(execute.hProcess);
    if (m_hProcess)
        SetPriorityClass(m_hProcess.get(), ulPriorityClass);
}

bool CKSLWindowsProcess::waitForFinish(unsigned long& ulExitCode, unsigned long ulTimeout)
{
    CKSLMethodTrace trace(kClassName, L"waitForFinish", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        if (!m_hProcess)
            throw CKSLWindowsProcessInvalidHandleException(kNoHandle, 0, KSL_HERE);
        const HANDLE hProcess = m_hProcess.get();
        kslWaitPumping(&hProcess, 1, ulTimeout, EKSLWaitClock::RestartAfterMessage);
        DWORD dwExitCode = 0;
        if (!GetExitCodeProcess(m_hProcess.get(), &dwExitCode))
            return false;
        ulExitCode = dwExitCode;
        return true;
    }));
}

bool CKSLWindowsProcess::startAndWaitForFinish(unsigned long& ulExitCode, const CKSLWCharString& wcsCommandLine,
                                               const CKSLWCharString& wcsArguments,
                                               const CKSLWCharString& wcsCurrentDirectory, unsigned long ulTimeout,
                                               unsigned long ulPriorityClass, unsigned long ulShowWindow,
                                               bool bUseCreateProcess)
{
    CKSLMethodTrace trace(kClassName, L"startAndWaitForFinish", KSL_HERE);
    const bool bDone =
        start(wcsCommandLine, wcsArguments, wcsCurrentDirectory, ulPriorityClass, ulShowWindow, bUseCreateProcess) &&
        waitForFinish(ulExitCode, ulTimeout);
    return trace.boolean(bDone);
}

bool CKSLWindowsProcess::getHandle(HANDLE& hProcess)
{
    CKSLMethodTrace trace(kClassName, L"getHandle", KSL_HERE);
    return trace.boolean(kslCatchTraced(false, KSL_HERE, [&] {
        if (!m_hProcess)
            throw CKSLWindowsProcessInvalidHandleException(kNoHandle, 0, KSL_HERE);
        // The caller gets a handle of its own; this object keeps waiting on its own one.
        HANDLE hDuplicate = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), m_hProcess.get(), GetCurrentProcess(), &hDuplicate, 0, FALSE,
                             DUPLICATE_SAME_ACCESS))
            kslThrowWindowsFailure<CKSLWindowsProcessInvalidHandleException>(L"%s", kNoHandle, KSL_HERE);
        hProcess = hDuplicate;
        return true;
    }));
}

bool CKSLWindowsProcess::setPrivilege(const CKSLWCharString& wcsPrivilegeName, bool bEnable, HANDLE hToken)
{
    CKSLMethodTrace trace(kClassName, L"setPrivilege", KSL_HERE);
    return trace.boolean(kslSetPrivilege(wcsPrivilegeName, bEnable, hToken));
}
