// Shared set-up of the INI and registry text tests: scratch registry, private log, private files.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ksl_ini.h"
#include "ksl_registry_key.h"
#include "ksl_scoped_handle.h"
#include "log_capture.h"

class IniTest : public LogCaptureTest {
protected:
    // A fresh file path of this test (nothing there yet).
    static std::wstring freshFile(const wchar_t* wcsName) { return testScratchPath(wcsName); }

    // Writes an INI file as UTF-16 text, so every character arrives as written.
    static void writeIni(const std::wstring& path, const std::wstring& text)
    {
        std::wstring content = L"\xFEFF" + text;
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        DWORD written = 0;
        WriteFile(h, content.data(), static_cast<DWORD>(content.size() * sizeof(wchar_t)), &written, nullptr);
        CloseHandle(h);
    }

    // Writes a file of exactly these bytes.
    static void writeBytes(const std::wstring& path, const std::string& bytes)
    {
        CKSLScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }

    // The lines of a section as Windows returns them ("key=value").
    static std::vector<std::wstring> sectionLines(const std::wstring& path, const std::wstring& section)
    {
        std::vector<wchar_t> buffer(32767);
        const DWORD n = GetPrivateProfileSectionW(section.c_str(), buffer.data(), 32767, path.c_str());
        return splitZeros(buffer.data(), n);
    }

    static std::vector<std::wstring> toVector(const CKSLIni::StringList& list)
    {
        std::vector<std::wstring> strings;
        for (auto* pNode = list.getFirstNode(); pNode != nullptr; pNode = pNode->getNext())
            strings.push_back(pNode->getPayload().getString());
        return strings;
    }

    // The quoted messages of the log lines at the level ("EXCEPTION_BAD"), in the order written.
    std::vector<std::wstring> logMessages(const std::wstring& level) const
    {
        std::vector<std::wstring> messages;
        const std::wstring text = logText(), tag = L"<" + level + L">";
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find(L"\r\n", start);
            if (end == std::wstring::npos)
                end = text.size();
            const std::wstring line = text.substr(start, end - start);
            const size_t open = line.find(L'"'), close = line.rfind(L'"');
            if (line.find(tag) != std::wstring::npos && open != std::wstring::npos && close > open)
                messages.push_back(line.substr(open, close - open + 1));
            start = end + 2;
        }
        return messages;
    }

private:
    static std::vector<std::wstring> splitZeros(const wchar_t* pText, DWORD n)
    {
        std::vector<std::wstring> strings;
        for (DWORD at = 0; at < n && pText[at] != L'\0'; at += static_cast<DWORD>(strings.back().size()) + 1)
            strings.emplace_back(pText + at);
        return strings;
    }
};

// The registry text form through its entry points: saveKey format 8 and restoreKey flags 16.
class RegistryFileTest : public IniTest {
protected:
    static bool saveText(HKEY hRoot, const std::wstring& path, const std::wstring& file, bool bDeleteFirst = true)
    {
        CKSLRegistryKey key(hRoot, path.c_str());
        return key.saveKey(file.c_str(), KSL_REG_TEXT_FORMAT, bDeleteFirst);
    }

    static bool restoreText(const std::wstring& file)
    {
        // The import goes where the sections say, whatever key asks for it.
        CKSLRegistryKey key(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Elsewhere");
        return key.restoreKey(file.c_str(), KSL_REG_TEXT_RESTORE);
    }
};
