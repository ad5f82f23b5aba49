// The one way the product's utility services start other programs: environment references in the
// command are expanded, the command is traced (except for tools whose command lines must stay out
// of the trace), and the program is started through CKSLWindowsProcess.
#pragma once

#include <windows.h>

#include <string>

// Replaces each reference "%NAME%" by the value of the environment variable NAME with its
// trailing backslashes removed, so "%DIR%\file" gets exactly one separator. Expansion stops at
// the first reference to an undefined variable (it and every later one stay as written). Values
// may refer to further variables; a chain that never ends (a variable that names itself) is cut
// off after a bounded number of rounds. A text that outgrows the longest command line (32,767
// characters) in any round is cut there and expanded no further. Never throws.
void expandEnvironment(std::wstring& text);

// The values of runTool's switches as the product's callers pass them.
const int SK_TOOL_SHOWN = 5;          // nShow: the program's window shown (any non-zero value)
const int SK_TOOL_HIDDEN = 0;
const int SK_TOOL_WAIT = 0x40;        // nWait: wait until the program has ended (any non-zero value)
const int SK_TOOL_NO_WAIT = 0;
const int SK_TOOL_TRACE_COMMAND = 1;  // nTraceCommand: trace the command line
const int SK_TOOL_QUIET = 0;
const int SK_TOOL_THROUGH_SHELL = 0;  // nUseCreateProcess: the shell's default verb ...
const int SK_TOOL_CREATE_PROCESS = 1; // ... or CreateProcessW

// Starts program with arguments (both expanded first) shown (nShow != 0, show state 5) or hidden.
// nWait != 0: waits without limit and answers the program's exit code. nWait == 0: answers 0 at
// once and, when phProcess is given, hands over the process handle, which the caller then closes.
// The priority class and nUseCreateProcess go to CKSLWindowsProcess unchanged (0 starts through
// the shell); an empty working directory leaves the choice to it. With nTraceCommand != 0 the
// command is traced under wcsTraceSource. Answers -1 (and stores 0 in *phProcess) when the program
// could not be started or its handle could not be obtained; a program path longer than 259
// characters (quotes aside) is not started. The quiet list of tools whose command
// lines stay out of the trace is matched case-insensitively. Never throws.
int runTool(std::wstring program, std::wstring arguments, int nShow, int nWait, int nPriorityClass,
            std::wstring workingDirectory, HANDLE* phProcess, const wchar_t* wcsTraceSource, int nTraceCommand,
            int nUseCreateProcess);
