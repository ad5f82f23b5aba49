#include "sk_tool_runner.h"

#include <algorithm>
#include <cwctype>
#include <vector>

#include "ksl_catch.h"
#include "ksl_wchar_string.h"
#include "ksl_windowsprocess.h"
#include "sk_copy.h"
#include "sk_trace.h"

namespace {

const size_t kNameChars = 260;        // a variable name of at most 259 characters
const size_t kLongestCommand = 32767; // the longest command line Windows takes
const size_t kLongestProgram = MAX_PATH + 1; // a path of at most 259 characters, quoted or not
const int kMaxExpansions = 256;       // ends chains of variables that name each other

// The variable's value, or false when it is not defined (an empty value is defined).
bool lookUpVariable(const wchar_t* wcsName, std::wstring& value)
{
    std::vector<wchar_t> buffer(256);
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD n = GetEnvironmentVariableW(wcsName, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
            return false;
        if (n < buffer.size()) {
            value.assign(buffer.data(), n);
            return true;
        }
        buffer.resize(n); // n counts the terminator when the buffer was too small
    }
}

// Replaces every occurrence of the reference. A text that outgrows the longest command line is
// cut there and false answered, so that no round builds more than one command line and one value.
bool replaceAll(std::wstring& text, const std::wstring& reference, const std::wstring& value)
{
    for (size_t at = text.find(reference); at != std::wstring::npos; at = text.find(reference, at + value.size())) {
        text.replace(at, reference.size(), value);
        if (text.size() > kLongestCommand) {
            text.resize(kLongestCommand);
            return false;
        }
    }
    return true;
}

// Expands the first reference of the text; false when there is none, it cannot be expanded, or
// the text had to be cut.
bool expandFirstReference(std::wstring& text)
{
    const size_t open = text.find(L'%');
    if (open == std::wstring::npos)
        return false;
    const size_t close = text.find(L'%', open + 1);
    if (close == std::wstring::npos)
        return false;
    const std::wstring reference = text.substr(open, close - open + 1);
    wchar_t name[kNameChars];
    // A name that had to be cut could never be found again in the text: it counts as undefined.
    if (SK_tcscpy(name, sizeof name, reference.substr(1, reference.size() - 2).c_str()) != S_OK)
        return false;
    std::wstring value;
    if (!lookUpVariable(name, value))
        return false;
    value.erase(value.find_last_not_of(L'\\') + 1);
    return replaceAll(text, reference, value);
}

// Case-insensitive, as file names on Windows are; wcsPart is written in lower case.
bool contains(const std::wstring& text, const wchar_t* wcsPart)
{
    const wchar_t* const wcsPartEnd = wcsPart + wcslen(wcsPart);
    return std::search(text.begin(), text.end(), wcsPart, wcsPartEnd, [](wchar_t a, wchar_t b) {
               return std::towlower(a) == b;
           }) != text.end();
}

// Tools whose command lines carry passwords or machine secrets are kept out of the trace.
void traceCommand(const wchar_t* wcsSource, const std::wstring& program, const std::wstring& arguments)
{
    if (contains(program, L"netmount.exe")) {
        SKTrace(wcsSource, L"Running: %s *", program.c_str());
        return;
    }
    static const wchar_t* const kQuietPrograms[] = {L"reg.exe", L"cacls.exe", L"inspekt.exe", L"bootsel32.exe"};
    for (const wchar_t* wcsTool : kQuietPrograms)
        if (contains(program, wcsTool))
            return;
    if (contains(arguments, L"bcdedit.exe\"") || contains(program, L"volsnap.exe"))
        return;
    SKTrace(wcsSource, L"Running: %s %s", program.c_str(), arguments.c_str());
}

struct CSKToolCommand {
    CKSLWCharString program;
    CKSLWCharString arguments;
    CKSLWCharString directory; // empty: the process wrapper's default
    unsigned long ulPriorityClass;
    unsigned long ulShow;
    bool bUseCreateProcess;
};

int waitForTool(const CSKToolCommand& command, bool& bStarted)
{
    CKSLWindowsProcess process;
    unsigned long ulExitCode = 0;
    bStarted = process.startAndWaitForFinish(ulExitCode, command.program, command.arguments, command.directory,
                                             INFINITE, command.ulPriorityClass, command.ulShow,
                                             command.bUseCreateProcess);
    return bStarted ? static_cast<int>(ulExitCode) : -1;
}

// Starts the tool and leaves it running; the handle goes to the caller when asked for.
int startTool(const CSKToolCommand& command, HANDLE* phProcess, const wchar_t* wcsTraceSource, bool& bStarted)
{
    CKSLWindowsProcess process;
    bStarted = process.start(command.program, command.arguments, command.directory, command.ulPriorityClass,
                             command.ulShow, command.bUseCreateProcess);
    if (!bStarted || phProcess == nullptr)
        return bStarted ? 0 : -1;
    if (!process.getHandle(*phProcess)) {
        SKTrace(wcsTraceSource, L"Could not get the valid handle for the process from getHandle()");
        *phProcess = nullptr;
        return -1;
    }
    return 0;
}

} // namespace

void expandEnvironment(std::wstring& text)
{
    kslCatchTraced(false, KSL_HERE, [&] {
        for (int round = 0; round < kMaxExpansions; ++round)
            if (!expandFirstReference(text))
                break;
        return true;
    });
}

int runTool(std::wstring program, std::wstring arguments, int nShow, int nWait, int nPriorityClass,
            std::wstring workingDirectory, HANDLE* phProcess, const wchar_t* wcsTraceSource, int nTraceCommand,
            int nUseCreateProcess)
{
    bool bStarted = false;
    // Nothing may escape into the caller, not even a failed allocation.
    const int nResult = kslCatchTraced(-1, KSL_HERE, [&] {
        expandEnvironment(program);
        expandEnvironment(arguments);
        if (nTraceCommand != 0)
            traceCommand(wcsTraceSource, program, arguments);
        // No program lies at a longer path, and a shell handed one overruns its buffers (seen
        // under Wine): such a name counts as a failed start.
        if (program.size() > kLongestProgram)
            return -1;
        const CSKToolCommand command{program.c_str(),
                                     arguments.c_str(),
                                     workingDirectory.c_str(),
                                     static_cast<unsigned long>(nPriorityClass),
                                     static_cast<unsigned long>(nShow != 0 ? SK_TOOL_SHOWN : 0),
                                     nUseCreateProcess != 0};
        if (nWait == 0)
            return startTool(command, phProcess, wcsTraceSource, bStarted);
        return waitForTool(command, bStarted);
    });
    if (!bStarted) {
        SKTrace(wcsTraceSource, L"Start function or startAndWaitForFinish function failed");
        if (phProcess != nullptr)
            *phProcess = nullptr;
    }
    return nResult;
}
