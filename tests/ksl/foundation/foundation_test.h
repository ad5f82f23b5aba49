// Fixture of the buffer, flags and string tests: the scratch registry (logging off unless a test
// turns it on) and a private log file whose text the tests can search.
#pragma once

#include <windows.h>

#include <string>

#include "scratch_registry.h"

class FoundationTest : public ScratchRegistryTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // "Logging" = 1 with the default detail, records going to this test's log file.
    void enableLogging(DWORD dwLogDetail = 27);
    // The log file's text (without byte-order mark); empty when nothing was written.
    std::wstring logText() const;
    // How many lines of the log contain the text.
    int countLogged(const std::wstring& text) const;
    // The line "A bad argument was provided ( name ). text" of a rejected argument.
    int countBadArg(const std::wstring& name, const std::wstring& text) const;

private:
    std::wstring m_path;
};
