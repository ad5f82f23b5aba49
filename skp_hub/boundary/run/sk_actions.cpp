#include "sk_actions.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>

#include "ksl_format.h"
#include "ksl_pumping_wait.h"
#include "sk_backup_request.h"
#include "sk_install_path.h"
#include "sk_pipe.h"
#include "sk_resource.h"
#include "sk_shared_product_policy.h"
#include "sk_tool_runner.h"
#include "sk_trace.h"

namespace {

const UINT kBackupNowText = 560;
const DWORD kPauseBeforeProgramMs = 1000;

// Starts a program of the product's install folder through the shell, shown, and waits for it.
// Without an install path nothing is started: "\skp_gui.exe" would be whatever lies at the root
// of the launcher's current drive.
void runProductProgram(const wchar_t* wcsProgram)
{
    const wchar_t* wcsInstallPath = getInstallPath(L"SOFTWARE\\Tessil\\Safekeep", L"InstallPath");
    if (wcsInstallPath[0] == L'\0') {
        SKTrace(SK_TRACE_HUB, L"No install path: %s not started", wcsProgram);
        return;
    }
    wchar_t wcsPath[MAX_PATH];
    kslFormat(wcsPath, MAX_PATH, L"%s\\%s", wcsInstallPath, wcsProgram);
    SKTrace(SK_TRACE_HUB, L"RUN CMD = %s", wcsPath);
    runTool(wcsPath, L"", SK_TOOL_SHOWN, SK_TOOL_WAIT, NORMAL_PRIORITY_CLASS, L"", nullptr, SK_TRACE_SAFEKEEP,
            SK_TOOL_TRACE_COMMAND, SK_TOOL_THROUGH_SHELL);
}

} // namespace

void sendBackupRequest(int32_t nLocations, const wchar_t* wcsText)
{
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[SK_REQUEST_BUFFER_BYTES]);
    const size_t cbMessage = buildBackupRequest(nLocations, wcsText, buffer.get());
    CSKPipe client(false, false, SK_SERVICE_PIPE_NAME, 0, nullptr, nullptr, 1);
    client.SendData(buffer.get(), static_cast<DWORD>(cbMessage));
    client.shutdown();
}

int32_t SKBackupNow()
{
    const std::wstring text = SKLoadText(kBackupNowText);
    CSKSharedProductPolicy policy;
    sendBackupRequest(policy.getBackupLocations(), text.c_str());
    kslPausePumping(kPauseBeforeProgramMs); // the launcher's window keeps answering
    runProductProgram(L"skp_gui.exe");
    return 0;
}

int32_t SKRejuvenate()
{
    runProductProgram(L"rejuvenate_gui.exe");
    return 0;
}
