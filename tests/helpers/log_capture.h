// A test fixture whose library log goes to a private file: the scratch registry switches logging
// on for this test only, and the tests read back the lines that were written.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "ksl_log_settings.h"
#include "scratch_registry.h"
#include "test_paths.h"

class LogCaptureTest : public ScratchRegistryTest {
protected:
    void SetUp() override
    {
        ScratchRegistryTest::SetUp();
        m_path = testScratchPath(L"ksl.log");
        ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, CKSLLogSettings::s_wcsKeyPath, L"Logging", 1));
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, CKSLLogSettings::s_wcsKeyPath, L"TextOutput", m_path));
    }

    void TearDown() override
    {
        DeleteFileW(m_path.c_str());
        ScratchRegistryTest::TearDown();
    }

    // Which levels are written (the default leaves out method entry and exit).
    static void setLogDetail(DWORD dwDetail)
    {
        ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, CKSLLogSettings::s_wcsKeyPath, L"LogDetail", dwDetail));
    }

    // Everything written so far, as text (byte-order mark dropped).
    std::wstring logText() const
    {
        const std::string bytes = readFileBytes(m_path);
        if (bytes.size() < 2)
            return std::wstring();
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    }

    bool logHas(const std::wstring& part) const { return logText().find(part) != std::wstring::npos; }

    // Number of lines that hold the text.
    size_t logCount(const std::wstring& part) const
    {
        const std::wstring text = logText();
        size_t n = 0;
        for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + part.size()))
            ++n;
        return n;
    }

private:
    std::wstring m_path;
};
