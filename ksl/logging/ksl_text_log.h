// The text output of the log: one UTF-16LE line per record, appended to the log file.
#pragma once

#include <windows.h>

class CKSLLogRecord;
class CKSLLogSettings;

class CKSLTextLog {
public:
    // Capacity of an assembled line in characters; a longer line is cut (still ending "\r\n").
    static const int s_nLineCapacity = 2048;

    // Writes the record to its output path, or to "TextOutput" (then stored in the record).
    // False when there is no usable path or the file cannot be opened or written. Inside a
    // CKSLLogSettingsScope the line is held and the scope's lines go to the file in one append
    // when it ends (or when a record names another file).
    static bool write(CKSLLogRecord& record, const CKSLLogSettings& settings);
    // Appends lines to a log file in one write: wcsText[0] is a free slot for the byte-order
    // mark, nChars characters follow it. Creates the file's folder (one level) first.
    static bool append(const wchar_t* wcsPath, wchar_t* wcsText, int nChars);

    // The line of one record, ending "\r\n"; returns its length in characters.
    static int formatLine(const CKSLLogRecord& record, const wchar_t* wcsTimeStamp, wchar_t* wcsLine,
                          int nCapacity);
    // Directory part of a drive path, up to and including its last backslash; false when the
    // path is not a drive path. A drive path without backslash yields an empty directory.
    static bool directoryOf(const wchar_t* wcsPath, wchar_t* wcsDirectory, int nCapacity);
};
