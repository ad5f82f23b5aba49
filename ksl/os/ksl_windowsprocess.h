// CKSLWindowsProcess: starts one program (CreateProcessW or the shell), waits for it while the
// calling thread's window messages keep flowing, and hands out its process handle. It also
// switches single privileges of a process token on or off.
//
// Handle ownership: the object owns the process handle of the program it started and closes it
// when it is destroyed or starts the next program. getHandle() gives the caller a duplicate of
// it, which the caller closes with CloseHandle; the object keeps its own, so start, getHandle and
// waitForFinish work in any order.
//
// Every public operation is traced and answers false on failure after logging it.
#pragma once

#include <windows.h>

#include <string>

#include "ksl_scoped_handle.h"
#include "ksl_wchar_string.h"

class CKSLWindowsProcess {
public:
    // Show-window value that leaves the window state to the started program (CreateProcessW).
    static const unsigned long kShowLeaveToProgram = 14;

    CKSLWindowsProcess();
    ~CKSLWindowsProcess();
    CKSLWindowsProcess(const CKSLWindowsProcess&) = delete;
    CKSLWindowsProcess& operator=(const CKSLWindowsProcess&) = delete;

    // Starts the command line followed by the arguments (when not empty) in the directory (when
    // not empty). bUseCreateProcess: CreateProcessW without console or window, with the priority
    // class among the creation flags, the program path quoted when it holds a blank (unless it is
    // quoted already); otherwise the shell's default verb, then the priority class.
    bool start(const CKSLWCharString& wcsCommandLine, const CKSLWCharString& wcsArguments,
               const CKSLWCharString& wcsCurrentDirectory, unsigned long ulPriorityClass, unsigned long ulShowWindow,
               bool bUseCreateProcess);
    // Waits up to ulTimeout milliseconds (INFINITE: no limit; restarted after every window
    // message) and gives the exit code; a program still running gives STILL_ACTIVE (259).
    bool waitForFinish(unsigned long& ulExitCode, unsigned long ulTimeout);
    // start, then waitForFinish when the start succeeded.
    bool startAndWaitForFinish(unsigned long& ulExitCode, const CKSLWCharString& wcsCommandLine,
                               const CKSLWCharString& wcsArguments, const CKSLWCharString& wcsCurrentDirectory,
                               unsigned long ulTimeout, unsigned long ulPriorityClass, unsigned long ulShowWindow,
                               bool bUseCreateProcess);
    // Gives the caller a duplicate of the process handle, which the caller closes.
    bool getHandle(HANDLE& hProcess);

    // Enables or disables the named privilege in hToken, or in the current process's token when
    // hToken is 0 (opened and closed within this call). Enabling a privilege the token does not
    // hold fails.
    static bool setPrivilege(const CKSLWCharString& wcsPrivilegeName, bool bEnable, HANDLE hToken = nullptr);

private:
    void createProcess(std::wstring command, const wchar_t* wcsDirectory, unsigned long ulPriorityClass,
                       unsigned long ulShowWindow);
    void shellExecute(const wchar_t* wcsFile, const wchar_t* wcsArguments, const std::wstring& command,
                      const wchar_t* wcsDirectory, unsigned long ulPriorityClass, unsigned long ulShowWindow);

    CKSLScopedHandle m_hProcess;
};
