// Reader of the logging configuration under HKEY_LOCAL_MACHINE "SOFTWARE\Tessil\Logs" and the
// filter that decides whether a record is written (the outputs: ksl_log_output). Outside a
// CKSLLogSettingsScope nothing is cached: every read opens the key, reads one value and closes
// it again. Inside one, the values the filter and the text output ask for come from the scope's
// snapshot. No read changes the thread's last Windows error.
#pragma once

#include <windows.h>

class CKSLLogRecord;
class CKSLLogSnapshot;

// One reading of the logging configuration for everything the current thread logs until the
// scope ends: the switch, the detail, the text output path, the class lists and the running
// program's override, all read through one opening of the key. A program (or each call into a
// library) opens one around a unit of work, so that a traced method costs no registry access and
// a configuration change takes effect at the next unit; the text log lines of the unit are
// appended to the file in one write when the scope ends, or earlier, before the unit waits
// (kslWaitPumping). A unit that runs longer than s_dwLifetimeMs (one that waited for another
// program) reads the configuration again at its next record. An inner scope uses the outer one's
// snapshot; a wait puts the snapshot aside (CKSLThreadSlot::CAside), so that a call made on the
// same thread during the wait reads and writes its own. Values the snapshot does not hold are read
// from the registry as without a scope.
class CKSLLogSettingsScope {
public:
    enum EMode {
        ReadOnce, // read the configuration now
        Off,      // read nothing: logging counts as off (code that must not touch the registry)
    };
    explicit CKSLLogSettingsScope(EMode mode = ReadOnce);
    ~CKSLLogSettingsScope();
    CKSLLogSettingsScope(const CKSLLogSettingsScope&) = delete;
    CKSLLogSettingsScope& operator=(const CKSLLogSettingsScope&) = delete;

    static const DWORD s_dwLifetimeMs = 1000;

    // The snapshot in force on this thread, or null.
    static CKSLLogSnapshot* current();
    // Inside a scope: keeps a text log line for the scope's one append to wcsPath and answers
    // true; false outside a scope (the caller writes the line itself).
    static bool holdLine(const wchar_t* wcsPath, const wchar_t* wcsLine, int nChars);
    // Appends the lines this thread's scope holds now. A wait that may block calls it first: a
    // program that ends during the wait (the user ends the launcher) must not take them along.
    static void writeHeldLines();

private:
    CKSLLogSnapshot* m_pOwned; // null when an outer scope's snapshot serves
    CKSLLogSnapshot* m_pPrevious;
};

class CKSLLogSettings {
public:
    static const wchar_t* const s_wcsKeyPath; // "SOFTWARE\Tessil\Logs"

    // One DWORD value; false when the key or value is missing or unreadable.
    bool readDword(const wchar_t* wcsName, DWORD& dwValue) const;
    // One text value into a buffer of cbBuffer bytes; always terminated. False when missing,
    // unreadable or larger than the buffer.
    bool readText(const wchar_t* wcsName, wchar_t* wcsBuffer, DWORD cbBuffer) const;

    // "Logging" present and non-zero.
    bool isLoggingOn() const;
    // "LogDetail" (low 16 bits), 27 when absent.
    unsigned short getLogDetail() const;
    // Path value of one output type: 1 "TextOutput", 2 "XMLOutput", 4 "ServerOutput",
    // 8 "HTMLOutput", 32 "UnknownOutput".
    bool getOutputPath(unsigned short usOutputType, wchar_t* wcsBuffer, DWORD cbBuffer) const;

    // The filter, in its fixed order. Fills the record's object name when it has none; a
    // per-program override replaces the output mask and the detail flags.
    bool filter(CKSLLogRecord& record, unsigned short& usOutputMask, unsigned short& usDetailFlags) const;
    // The level test and the EXIT rules for given detail flags (filter step without override).
    static bool passesDetail(const CKSLLogRecord& record, unsigned short usDetailFlags);

    // The running program's file name without directory and extension.
    static bool programName(wchar_t* wcsBuffer, int nCapacity);
    // Parses a per-program override "mask,detail,path"; false when it has no comma.
    static bool parseOverride(const wchar_t* wcsText, unsigned short& usOutputMask, unsigned short& usDetailFlags);

private:
    bool passesClassFilter(const CKSLLogRecord& record) const;
};
