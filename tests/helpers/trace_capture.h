// A test fixture whose debug trace for one source goes to a private file, and the messages read
// back from it (the time stamp and the source name taken off). Header only.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scratch_registry.h"
#include "test_paths.h"
#include "trace_config.h"

class TraceCaptureTest : public ScratchRegistryTest {
protected:
    explicit TraceCaptureTest(const wchar_t* wcsSource = L"Safekeep") : m_source(wcsSource) {}

    void SetUp() override
    {
        ScratchRegistryTest::SetUp();
        m_path = testScratchPath(L"trace.log");
        ASSERT_TRUE(enableTrace(m_source.c_str(), m_path));
    }

    void TearDown() override
    {
        DeleteFileW(m_path.c_str());
        ScratchRegistryTest::TearDown();
    }

    // The messages traced so far, in order: each line without its 24-character time stamp, the
    // blank after it, the source name and ": ".
    std::vector<std::string> traceMessages() const
    {
        const std::string text = readFileBytes(m_path);
        const size_t prefix = 25 + m_source.size() + 2;
        std::vector<std::string> messages;
        size_t start = 0;
        for (size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
            const std::string line = text.substr(start, end - start);
            messages.push_back(line.size() >= prefix ? line.substr(prefix) : line);
            start = end + 2;
        }
        return messages;
    }

    // Starts the trace afresh.
    void clearTrace() const { DeleteFileW(m_path.c_str()); }

private:
    std::wstring m_source;
    std::wstring m_path;
};
