// The whole loop as a launcher and a user see it: the catalogue's entries started the way their
// exec interfaces say, and back up now making a backup that changes the status line.
//
// The product lies in a folder whose path holds blanks, and the plug-in is installed where its
// quick links say (under a "Program Files" folder of this test, named by ProgramFiles). The
// programs this test starts (hubhost, the service stand-in) are pointed at this test's scratch
// registry with --registry, so that every process of the loop reads and writes the same keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "hub_window.h"
#include "ksl_scoped_handle.h"
#include "launcher.h"
#include "plugin_loader.h"
#include "scratch_registry.h"
#include "sk_actions.h"
#include "sk_backup_request.h"
#include "sk_date_format.h"
#include "sk_pipe.h"
#include "sk_product_policy.h"
#include "test_paths.h"

namespace {

const wchar_t kProductKey[] = L"Software\\Tessil\\Safekeep";
const wchar_t kUsageKey[] = L"Software\\Tessil\\Safekeep\\Settings\\Usage";
const DWORD kPatienceMs = 30000; // generous: the machine is shared; nothing here is a speed goal

std::string narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end()); // the paths and names here are ASCII
}

std::wstring text(const LP_WCHAR* pField, size_t nChars)
{
    const wchar_t* wcs = reinterpret_cast<const wchar_t*>(pField);
    return std::wstring(wcs, wcsnlen(wcs, nChars));
}
#define FIELD(f) text(f, sizeof(f) / sizeof(f[0]))

// The lines of a text file, without their line ends.
std::vector<std::string> readLines(const std::wstring& path)
{
    std::vector<std::string> lines;
    const std::string bytes = readFileBytes(path);
    size_t start = 0;
    for (size_t end = bytes.find('\n'); end != std::string::npos; end = bytes.find('\n', start)) {
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The lines a program printed itself: the product's programs, which share its console, indent theirs.
std::vector<std::string> ownLines(const std::wstring& path)
{
    std::vector<std::string> lines;
    for (const std::string& line : readLines(path))
        if (line.compare(0, 2, "  ") != 0)
            lines.push_back(line);
    return lines;
}

bool startsWith(const std::string& text, const std::string& head)
{
    return text.compare(0, head.size(), head) == 0;
}

// Polls a file until one of its lines satisfies the test, for at most kPatienceMs.
template <class Test>
bool waitForLine(const std::wstring& path, Test test)
{
    for (DWORD waited = 0; waited < kPatienceMs; waited += 50) {
        for (const std::string& line : readLines(path))
            if (test(line))
                return true;
        Sleep(50);
    }
    return false;
}

// A program this test starts, its output (and that of the programs it starts) going to a file.
class ChildProcess {
public:
    bool start(const std::wstring& wcsCommand, const std::wstring& wcsOutput)
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        CKSLScopedFile output(CreateFileW(wcsOutput.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!output)
            return false;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = output.get();
        std::wstring command = wcsCommand;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
            return false;
        CKSLScopedHandle hThread(process.hThread);
        m_hProcess.reset(process.hProcess);
        return true;
    }
    // The exit code, or STILL_ACTIVE when the program has not ended within the patience.
    DWORD waitForExit()
    {
        DWORD dwExitCode = STILL_ACTIVE;
        if (WaitForSingleObject(m_hProcess.get(), kPatienceMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(m_hProcess.get(), &dwExitCode);
        return dwExitCode;
    }
    ~ChildProcess()
    {
        if (m_hProcess && WaitForSingleObject(m_hProcess.get(), 0) == WAIT_TIMEOUT)
            TerminateProcess(m_hProcess.get(), 1); // only after a failed check
    }

private:
    CKSLScopedHandle m_hProcess;
};

// Sets an environment variable for the life of the object; the programs started inherit it.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* wcsName, const std::wstring& value) : m_name(wcsName)
    {
        wchar_t old[MAX_PATH];
        const DWORD n = GetEnvironmentVariableW(wcsName, old, MAX_PATH);
        m_bHadValue = n > 0 && n < MAX_PATH;
        if (m_bHadValue)
            m_old = old;
        SetEnvironmentVariableW(wcsName, value.c_str());
    }
    ~ScopedEnvironment() { SetEnvironmentVariableW(m_name.c_str(), m_bHadValue ? m_old.c_str() : nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::wstring m_name, m_old;
    bool m_bHadValue = false;
};

std::wstring quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

// A machine with the product installed in "...\N_Safe keep", its programs' stand-ins there, the
// plug-in installed as "...\N_Program Files\Tessil\skp_hub.dll", the resource library beside this
// program (and beside hubhost.exe, where it is built), and "BackupLocal" chosen as the destination.
class LoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        scratch.reset(new ScratchRegistry());
        installDir = testScratchPath(L"Safe keep");
        programFiles = testScratchPath(L"Program Files");
        installedPlugin = programFiles + L"\\Tessil\\skp_hub.dll";
        ASSERT_TRUE(CreateDirectoryW(installDir.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(programFiles.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((programFiles + L"\\Tessil").c_str(), nullptr));
        ASSERT_TRUE(CopyFileW((testBinDir() + L"skp_hub.dll").c_str(), installedPlugin.c_str(), FALSE));
        for (const wchar_t* program : {L"skp_gui.exe", L"rejuvenate_gui.exe", L"RestoreNow.exe"})
            ASSERT_TRUE(CopyFileW((testBinDir() + L"product\\" + program).c_str(),
                                  (installDir + L"\\" + program).c_str(), FALSE));
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kProductKey, L"Version", L"4.0.12.3"));
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kProductKey, L"InstallPath", installDir + L"\\"));
        ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep\\Settings\\Backup", L"BackupLocal", 1));
        ASSERT_TRUE(resources.copied());
        programLog = testScratchPath(L"programs.log");
        environment.emplace_back(new ScopedEnvironment(L"ProgramFiles", programFiles));
        environment.emplace_back(new ScopedEnvironment(L"SKP_STANDIN_LOG", programLog));
    }
    void TearDown() override
    {
        environment.clear();
        scratch.reset();
    }

    // hubhost with this test's registry, as a command line.
    std::wstring hubhost(const std::wstring& command) const
    {
        return quoted(testBinDir() + L"hubhost.exe") + L" --registry " + scratch->path() + L" --program-files " +
               quoted(programFiles) + L" " + command;
    }
    // The service stand-in on the product's pipe for one message, with this test's registry. Its
    // ready event is made here first, so that it is still there to be waited for when the service
    // has set it and let it go.
    bool startService(ChildProcess& service, const std::wstring& options, const std::wstring& output,
                      const wchar_t* wcsReadyEvent = L"SK_ServerReadyEvent")
    {
        CKSLScopedHandle hReady(CreateEventW(nullptr, TRUE, FALSE, wcsReadyEvent));
        const std::wstring command =
            quoted(testBinDir() + L"sk_service.exe") + L" --count 1 --registry " + scratch->path() + L" " + options;
        return hReady && service.start(command, output) &&
               WaitForSingleObject(hReady.get(), kPatienceMs) == WAIT_OBJECT_0;
    }
    std::vector<std::string> programRuns() const { return readLines(programLog); }

    std::unique_ptr<ScratchRegistry> scratch;
    LocalResourceLibrary resources;
    std::vector<std::unique_ptr<ScopedEnvironment>> environment;
    std::wstring installDir, programFiles, installedPlugin, programLog;
};

// ---------------------------------------------------------------------------------------------

// What the status line says for a backup made at the given time, formatted as the user's
// regional settings show it.
std::string statusAfterBackupAt(const FILETIME& utc)
{
    FILETIME local;
    SYSTEMTIME time;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time))
        return std::string();
    wchar_t date[SK_DATE_TEXT_CHARS], clock[SK_DATE_TEXT_CHARS];
    SKFormatDate(time, date);
    SKFormatTime(time, clock);
    return "Last backup to this computer " + narrow(date) + " " + narrow(clock);
}

ULONGLONG asNumber(const FILETIME& time)
{
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The service's account of the time it stored.
std::string storedLine(const FILETIME& utc)
{
    SYSTEMTIME time{};
    FileTimeToSystemTime(&utc, &time);
    char line[128];
    snprintf(line, sizeof line,
             "  stored the backup time %04u-%02u-%02u %02u:%02u:%02u UTC (LastBackupTimeHigh 0x%08lx, Low 0x%08lx)",
             time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond, utc.dwHighDateTime,
             utc.dwLowDateTime);
    return line;
}

// The backup time the product's settings hold in its machine branch.
bool storedBackupTime(FILETIME& time)
{
    CKSLScopedKey hKey;
    DWORD cb = sizeof(DWORD);
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUsageKey, 0, KEY_READ, hKey.receive()) == ERROR_SUCCESS &&
           RegQueryValueExW(hKey.get(), L"LastBackupTimeHigh", nullptr, nullptr,
                            reinterpret_cast<BYTE*>(&time.dwHighDateTime), &cb) == ERROR_SUCCESS &&
           RegQueryValueExW(hKey.get(), L"LastBackupTimeLow", nullptr, nullptr,
                            reinterpret_cast<BYTE*>(&time.dwLowDateTime), &cb) == ERROR_SUCCESS;
}

TEST_F(LoopTest, BackUpNowThroughTheInstalledCopyChangesTheStatusLineTheWatchShows)
{
    const std::wstring documents = testScratchPath(L"documents");
    const std::wstring backups = testScratchPath(L"backups");
    ASSERT_TRUE(CreateDirectoryW(documents.c_str(), nullptr));
    const std::string notes = "the notes to keep\r\n";
    {
        CKSLScopedFile file(CreateFileW((documents + L"\\notes.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD cb = 0;
        ASSERT_TRUE(file && WriteFile(file.get(), notes.data(), static_cast<DWORD>(notes.size()), &cb, nullptr));
    }
    FILETIME ignored;
    ASSERT_FALSE(storedBackupTime(ignored)) << "a machine where no backup was made";

    const std::wstring serviceLog = testScratchPath(L"service.log");
    ChildProcess service;
    ASSERT_TRUE(startService(service,
                             L"--backup-to " + quoted(backups) + L" --source " + quoted(documents) + L" --log " +
                                 quoted(serviceLog),
                             testScratchPath(L"service.out")));

    const std::wstring watchOutput = testScratchPath(L"watch.out");
    const std::wstring stopName = L"SkpLoopTestWatchStop_" + std::to_wstring(GetCurrentProcessId());
    CKSLScopedHandle hStop(CreateEventW(nullptr, TRUE, FALSE, stopName.c_str()));
    ChildProcess watch;
    ASSERT_TRUE(watch.start(hubhost(L"watch --timeout 60 --stop-event " + stopName), watchOutput));
    ASSERT_TRUE(waitForLine(watchOutput, [](const std::string& line) { return line == "waiting for BackupStatusEvent"; }));
    const std::vector<std::string> started = readLines(watchOutput);
    ASSERT_LE(2u, started.size());
    EXPECT_EQ((std::vector<std::string>{"Back up now: \"No backup has been made yet\"", "waiting for BackupStatusEvent"}),
              std::vector<std::string>(started.begin(), started.begin() + 2))
        << "the first status line, then the wait";

    FILETIME before, after;
    GetSystemTimeAsFileTime(&before);
    const std::wstring runOutput = testScratchPath(L"run.out");
    ChildProcess run;
    ASSERT_TRUE(run.start(hubhost(L"run 1"), runOutput));
    EXPECT_EQ(0u, run.waitForExit());
    GetSystemTimeAsFileTime(&after);
    const std::vector<std::string> ran = ownLines(runOutput);
    ASSERT_EQ(3u, ran.size()) << readFileBytes(runOutput);
    EXPECT_EQ("Back up now (1)", ran[0]);
    EXPECT_EQ("calling LP_BackupNow in " + narrow(installedPlugin), ran[1]) << "the installed copy, not hubhost's own";
    EXPECT_TRUE(startsWith(ran[2], "LP_BackupNow() -> return 0 after ")) << ran[2];
    EXPECT_EQ(0u, service.waitForExit()) << "the service served its one message";

    // The service stored the time of the backup in the product's settings ...
    FILETIME stored{};
    ASSERT_TRUE(storedBackupTime(stored));
    EXPECT_LE(asNumber(before), asNumber(stored));
    EXPECT_LE(asNumber(stored), asNumber(after));
    // ... and the watch, woken by the event, showed the status line queried anew with that time.
    const std::string changed = "BackupStatusEvent was set -> Back up now: \"" + statusAfterBackupAt(stored) + "\"";
    EXPECT_TRUE(waitForLine(watchOutput, [&](const std::string& line) { return line == changed; }))
        << "expected " << changed << "\n" << readFileBytes(watchOutput);
    SetEvent(hStop.get());
    EXPECT_EQ(0u, watch.waitForExit()) << "the stop event ends the watch";

    // What the service did, step by step, and the copy it made.
    const std::vector<std::string> served = readLines(serviceLog);
    ASSERT_EQ(4u, served.size()) << readFileBytes(serviceLog);
    EXPECT_EQ("message len=31 bytes=32 01 01 0b 00 00 00 42 00 61 00 63 00 6b 00 20 00 75 00 70 00 20 00 6e 00 6f "
              "00 77 00 00 00 backup destinations=0x01 text=\"Back up now\"",
              served[0]);
    EXPECT_EQ("  backup to This computer: notes.txt (" + std::to_string(notes.size()) + " bytes)", served[1]);
    EXPECT_EQ(storedLine(stored), served[2]);
    EXPECT_EQ("  set BackupStatusEvent", served[3]);
    EXPECT_EQ(notes, readFileBytes(backups + L"\\This computer\\notes.txt"));
    // Back up now then opened the product's program from its install folder.
    const std::vector<std::string> runs = programRuns();
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ("skp_gui.exe ran: path=\"" + narrow(installDir) + "\\skp_gui.exe\" arguments=\"\"", runs[0]);
}

// The rows of hubhost's window as its list holds them ("name<TAB>status line"), asked of the
// window's process as any program may.
std::vector<std::string> windowRows(HWND hList)
{
    std::vector<std::string> rows;
    DWORD_PTR nRows = 0;
    if (!SendMessageTimeoutW(hList, LB_GETCOUNT, 0, 0, SMTO_NORMAL, kPatienceMs, &nRows))
        return rows;
    for (DWORD_PTR i = 0; i < nRows; ++i) {
        wchar_t wcsRow[512] = L"";
        DWORD_PTR nChars = 0;
        if (SendMessageTimeoutW(hList, LB_GETTEXTLEN, i, 0, SMTO_NORMAL, kPatienceMs, &nChars) && nChars < 512)
            SendMessageTimeoutW(hList, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wcsRow), SMTO_NORMAL, kPatienceMs,
                                &nChars);
        rows.push_back(narrow(wcsRow));
    }
    return rows;
}

// Polls until the test holds, for at most kPatienceMs.
template <class Test>
bool eventually(Test test)
{
    for (DWORD waited = 0; waited < kPatienceMs; waited += 50) {
        if (test())
            return true;
        Sleep(50);
    }
    return false;
}

// hubhost's window, the reference for launcher authors: it lists the six entries with the status
// line, and shows the new line by itself once a backup made behind its back (the service stand-in
// stores one and signals the event) is there. Then the user picks an entry with the keyboard and
// one with the mouse, and each runs; closing the window ends hubhost.
TEST_F(LoopTest, TheWindowListsTheEntriesFollowsTheStatusAndRunsWhatTheUserPicks)
{
    const std::wstring documents = testScratchPath(L"documents");
    ASSERT_TRUE(CreateDirectoryW(documents.c_str(), nullptr));
    const std::wstring windowOutput = testScratchPath(L"window.out");
    ChildProcess window;
    ASSERT_TRUE(window.start(hubhost(L"window"), windowOutput));
    ASSERT_TRUE(waitForLine(windowOutput, [](const std::string& line) { return line == "window: 6 entries"; }))
        << readFileBytes(windowOutput);
    const HWND hWnd = FindWindowW(HUB_WINDOW_CLASS, nullptr);
    ASSERT_NE(nullptr, hWnd);
    const HWND hList = GetDlgItem(hWnd, kHubWindowListId);
    const std::vector<std::string> expected = {
        "Back up now\tNo backup has been made yet", "Rejuvenate your computer\t", "Back up files and settings\t",
        "Restore files\t", "Rejuvenate your computer\t", "Safekeep\t"};
    EXPECT_EQ(expected, windowRows(hList));

    ChildProcess service;
    ASSERT_TRUE(startService(service, L"--backup-to " + quoted(testScratchPath(L"backups")) + L" --source " +
                                          quoted(documents),
                             testScratchPath(L"service.out")));
    sendBackupRequest(SK_BACKUP_LOCAL, L"Back up now"); // not through the window: no input reaches it
    EXPECT_EQ(0u, service.waitForExit());
    FILETIME stored{};
    ASSERT_TRUE(storedBackupTime(stored));
    const std::string changed = "Back up now\t" + statusAfterBackupAt(stored);
    EXPECT_TRUE(eventually([&] { return windowRows(hList)[0] == changed; })) << "expected " << changed;
    EXPECT_TRUE(waitForLine(windowOutput, [&](const std::string& line) {
        return line == "shown: Back up now | " + statusAfterBackupAt(stored);
    }));

    // The quick rejuvenate link, selected and opened with Enter; the backup entry, with a double click.
    SendMessageTimeoutW(hList, LB_SETCURSEL, 1, 0, SMTO_NORMAL, kPatienceMs, nullptr);
    PostMessageW(hList, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(eventually([&] { return programRuns().size() == 1; }));
    RECT row{};
    SendMessageTimeoutW(hList, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&row), SMTO_NORMAL, kPatienceMs, nullptr);
    const LPARAM at = MAKELPARAM((row.left + row.right) / 2, (row.top + row.bottom) / 2);
    PostMessageW(hList, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(hList, WM_LBUTTONUP, 0, at);
    PostMessageW(hList, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageW(hList, WM_LBUTTONUP, 0, at);
    EXPECT_TRUE(eventually([&] { return programRuns().size() == 2; }));
    const std::vector<std::string> runs = programRuns();
    ASSERT_EQ(2u, runs.size()) << readFileBytes(windowOutput);
    EXPECT_TRUE(startsWith(runs[0], "rejuvenate_gui.exe ran: ")) << runs[0];
    EXPECT_EQ("skp_gui.exe ran: path=\"" + narrow(installDir) + "\\skp_gui.exe\" arguments=\"/hub\"", runs[1]);
    PostMessageW(hWnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, window.waitForExit());
}

// The folders directly inside a folder, in name order.
std::vector<std::wstring> subfolders(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    CKSLScopedFind hFind(FindFirstFileW((folder + L"\\*").c_str(), &found));
    for (bool more = hFind.valid(); more; more = FindNextFileW(hFind.get(), &found) != FALSE)
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.cFileName[0] != L'.')
            names.push_back(found.cFileName);
    std::sort(names.begin(), names.end());
    return names;
}

struct DestinationCase {
    int32_t nFlags;
    std::vector<std::wstring> folders; // the destinations' folders, in name order
    bool bTimeStored;
};

// The service on a pipe of this test's own, sent one request per case.
TEST_F(LoopTest, TheServiceBacksUpToEachDestinationTheRequestNames)
{
    const DestinationCase cases[] = {
        {0x01, {L"This computer"}, true},
        {0x38, {L"Network", L"Second disk", L"USB"}, true},
        {0x02, {}, false}, // no destination the service knows: nothing backed up, no time stored
    };
    const std::wstring documents = testScratchPath(L"documents");
    ASSERT_TRUE(CreateDirectoryW(documents.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW((testBinDir() + L"sk_res.dll").c_str(), (documents + L"\\sk_res.dll").c_str(), FALSE));
    int nCase = 0;
    for (const DestinationCase& c : cases) {
        SCOPED_TRACE(c.nFlags);
        deleteRegTree(HKEY_LOCAL_MACHINE, kUsageKey);
        const std::wstring suffix = std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++nCase);
        const std::wstring pipe = L"\\\\.\\pipe\\SKOrbitPipeLoopTest_" + suffix;
        const std::wstring ready = L"SKReadyLoopTest_" + suffix;
        const std::wstring backups = testScratchPath(L"backups");
        ChildProcess service;
        ASSERT_TRUE(startService(service,
                                 L"--pipe " + pipe + L" --ready-event " + ready + L" --backup-to " + quoted(backups) +
                                     L" --source " + quoted(documents),
                                 testScratchPath(L"service.out"), ready.c_str()));
        std::vector<unsigned char> message(SK_REQUEST_BUFFER_BYTES);
        const DWORD cbMessage = static_cast<DWORD>(buildBackupRequest(c.nFlags, L"Back up now", message.data()));
        SKPipeSettings settings;
        settings.wcsReadyEventName = ready.c_str();
        CSKPipe client(false, false, pipe.c_str(), 0, nullptr, nullptr, 0, settings);
        EXPECT_EQ(static_cast<int>(cbMessage), client.SendData(message.data(), cbMessage));
        client.shutdown();
        EXPECT_EQ(0u, service.waitForExit());
        EXPECT_EQ(c.folders, subfolders(backups));
        for (const std::wstring& folder : c.folders)
            EXPECT_TRUE(fileExists(backups + L"\\" + folder + L"\\sk_res.dll")) << narrow(folder);
        FILETIME stored;
        EXPECT_EQ(c.bTimeStored, storedBackupTime(stored));
    }
}

// ---------------------------------------------------------------------------------------------

// What starting one catalogue entry must do: the program that ran and its command line, or the
// export called in the installed copy of the plug-in.
struct EntryCase {
    int32_t nFunctionId;
    int32_t nExecType;
    const wchar_t* wcsExport;   // type 2: the export named; null for a command line
    const wchar_t* wcsProgram;  // the product's program that ran
    const wchar_t* wcsArguments; // and the arguments it received
    bool bSetsRejuvenateEvent;
};

const EntryCase kEntries[] = {
    {SKP_ID_QUICK_BACKUP_NOW, LP_EXEC_LIBRARY_EXPORT, L"LP_BackupNow", L"skp_gui.exe", L"", false},
    {SKP_ID_QUICK_REJUVENATE, LP_EXEC_LIBRARY_EXPORT, L"LP_Rejuvenate", L"rejuvenate_gui.exe", L"", true},
    {SKP_ID_RC_BACKUP, LP_EXEC_COMMAND_LINE, nullptr, L"skp_gui.exe", L"/hub", false},
    {SKP_ID_RC_RESTORE, LP_EXEC_COMMAND_LINE, nullptr, L"RestoreNow.exe", L"", false},
    {SKP_ID_RC_MAINTENANCE_REJUVENATE, LP_EXEC_COMMAND_LINE, nullptr, L"rejuvenate_gui.exe", L"", true},
    {SKP_ID_RC_PRODUCT, LP_EXEC_COMMAND_LINE, nullptr, L"skp_gui.exe", L"", false},
};

// This test runs in one process: the plug-in loaded as a launcher loads it, hubhost's own code
// following each entry, so the scratch registry of this process serves every copy of the plug-in.
TEST_F(LoopTest, EveryEntryStartsWhatItsExecInterfaceNames)
{
    ChildProcess service; // Back up now's request is received at once, not waited for
    ASSERT_TRUE(startService(service, L"", testScratchPath(L"service.out")));
    PluginLoader plugin;
    CHubPlugin host;
    host.getFunctionInfo = plugin.getFunctionInfo;
    size_t nRuns = 0;
    for (const EntryCase& entry : kEntries) {
        SCOPED_TRACE(entry.nFunctionId);
        LP_FUNCTION_INFO info;
        ASSERT_TRUE(queryFunctionInfo(host, entry.nFunctionId, info, false));
        ASSERT_EQ(entry.nExecType, info.nExecType);
        const std::wstring exec = FIELD(info.szExecInterface);
        const std::wstring program = installDir + L"\\" + entry.wcsProgram;
        if (entry.wcsExport)
            EXPECT_EQ(installedPlugin + L", " + entry.wcsExport, exec);
        else
            EXPECT_EQ(program + (*entry.wcsArguments ? L" " : L"") + entry.wcsArguments, exec)
                << "a command line with blanks, unquoted";
        CKSLScopedHandle hRejuvenated(OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, L"RejuvenateStatusEvent"));
        ASSERT_TRUE(hRejuvenated) << "the plug-in created it at the first query";
        ResetEvent(hRejuvenated.get());

        CHubRunResult result;
        ASSERT_TRUE(runEntry(info, result));
        EXPECT_TRUE(result.bStarted);
        EXPECT_EQ(0u, result.dwResult);
        EXPECT_EQ(entry.wcsExport ? installedPlugin : std::wstring(), result.wcsCalledModule);
        const std::vector<std::string> runs = programRuns();
        ASSERT_EQ(++nRuns, runs.size()) << "one program ran";
        EXPECT_EQ(narrow(std::wstring(entry.wcsProgram) + L" ran: path=\"" + program + L"\" arguments=\"" +
                         entry.wcsArguments + L"\""),
                  runs.back());
        const bool bSignalled = WaitForSingleObject(hRejuvenated.get(), 0) == WAIT_OBJECT_0;
        EXPECT_EQ(entry.bSetsRejuvenateEvent, bSignalled);
        SetEvent(hRejuvenated.get()); // as the plug-in creates it, for whoever else holds it
    }
    EXPECT_EQ(0u, service.waitForExit()) << "the request of the quick link arrived";
}

// ---------------------------------------------------------------------------------------------

struct SplitCase {
    const wchar_t* wcsExec;
    bool bSplit;
    const wchar_t* wcsLibrary;
    const wchar_t* wcsExport;
};

TEST(ExecInterface, LibraryAndExportAreSplitAtTheLastComma)
{
    const SplitCase cases[] = {
        {L"C:\\Program Files\\Tessil\\skp_hub.dll, LP_BackupNow", true, L"C:\\Program Files\\Tessil\\skp_hub.dll",
         L"LP_BackupNow"},
        {L"C:\\a,b\\skp_hub.dll,LP_Rejuvenate", true, L"C:\\a,b\\skp_hub.dll", L"LP_Rejuvenate"},
        {L"  C:\\x y\\p.dll \t,  LP_X  ", true, L"C:\\x y\\p.dll", L"LP_X"},
        {L"C:\\x\\p.dll", false, L"", L""},
        {L", LP_X", false, L"", L""},
        {L"C:\\x\\p.dll,  ", false, L"", L""},
    };
    for (const SplitCase& c : cases) {
        std::wstring library, exportName;
        EXPECT_EQ(c.bSplit, splitLibraryExport(c.wcsExec, library, exportName)) << narrow(c.wcsExec);
        if (c.bSplit) {
            EXPECT_EQ(c.wcsLibrary, library);
            EXPECT_EQ(c.wcsExport, exportName);
        }
    }
}

TEST(ExecInterface, NoLibraryIsLoadedButByItsFullPathNorAnUnknownTypeStarted)
{
    struct {
        int32_t nExecType;
        const wchar_t* wcsExec;
    } const refused[] = {
        {LP_EXEC_LIBRARY_EXPORT, L"\\Tessil\\skp_hub.dll, LP_BackupNow"}, // the root of the current drive
        {LP_EXEC_LIBRARY_EXPORT, L"skp_hub.dll, LP_BackupNow"},           // wherever the search finds one
        {LP_EXEC_LIBRARY_EXPORT, L"C:\\no such folder\\skp_hub.dll, LP_BackupNow"},
        {1, L"C:\\windows\\system32\\cmd.exe /c exit 0"},
    };
    for (const auto& c : refused) {
        LP_FUNCTION_INFO info{};
        info.nExecType = c.nExecType;
        wcsncpy(reinterpret_cast<wchar_t*>(info.szExecInterface), c.wcsExec, 259);
        CHubRunResult result;
        EXPECT_FALSE(runEntry(info, result)) << narrow(c.wcsExec);
        EXPECT_FALSE(result.bStarted);
    }
}

} // namespace
