// Shared set-up of the logging tests: the logging key inside the scratch registry, a private
// log file per test, and readers for what was written.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "scratch_registry.h"

class LogFileTest : public ScratchRegistryTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // "Logging" = 1 and "TextOutput" = this test's log file.
    void enableLogging();
    static void setLogDword(const wchar_t* wcsName, DWORD dwValue);
    static void setLogText(const wchar_t* wcsName, const std::wstring& text);

    const std::wstring& logPath() const { return m_path; }
    std::string logBytes() const;
    // The lines of the log file without the byte-order mark and line ends; an empty list when
    // there is no file. Fails the test when the file is not whole UTF-16LE lines.
    std::vector<std::wstring> logLines() const;

private:
    std::wstring m_path;
};

// A line without its "<time stamp>: " part.
std::wstring afterStamp(const std::wstring& line);
// This test program's object name (its file name without extension).
std::wstring programObjectName();

// Counts heap allocations made by the calling thread while a counter is alive.
class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;
    unsigned count() const;
};
