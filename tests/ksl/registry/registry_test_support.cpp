#include "registry_test_support.h"

#include <gtest/gtest.h>

#include "ksl_log_settings.h"
#include "ksl_scoped_handle.h"
#include "test_paths.h"

const wchar_t kTestKey[] = L"SOFTWARE\\RegistryTest";

void RegistryTest::SetUp()
{
    ScratchRegistryTest::SetUp();
    m_logPath = testScratchPath(L"registry.log");
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, CKSLLogSettings::s_wcsKeyPath, L"Logging", 1));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, CKSLLogSettings::s_wcsKeyPath, L"TextOutput", m_logPath));
}

void RegistryTest::TearDown()
{
    DeleteFileW(m_logPath.c_str());
    ScratchRegistryTest::TearDown();
}

std::vector<std::wstring> RegistryTest::logLines() const
{
    std::vector<std::wstring> lines;
    const std::string bytes = readFileBytes(m_logPath);
    if (bytes.size() < 2)
        return lines;
    const std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    for (size_t nStart = 0; nStart < text.size();) {
        size_t nEnd = text.find(L"\r\n", nStart);
        if (nEnd == std::wstring::npos)
            nEnd = text.size();
        lines.push_back(text.substr(nStart, nEnd - nStart));
        nStart = nEnd + 2;
    }
    return lines;
}

size_t RegistryTest::logCount(const std::wstring& text) const
{
    size_t nCount = 0;
    for (const std::wstring& line : logLines())
        nCount += line.find(text) != std::wstring::npos ? 1 : 0;
    return nCount;
}

void RegistryTest::clearLog() const
{
    DeleteFileW(m_logPath.c_str());
}

bool readRawValue(HKEY hRoot, const std::wstring& key, const wchar_t* name, DWORD& type, std::vector<BYTE>& data)
{
    CKSLScopedKey hKey;
    if (RegOpenKeyExW(hRoot, key.c_str(), 0, KEY_READ, hKey.receive()) != ERROR_SUCCESS)
        return false;
    DWORD dwBytes = 0;
    if (RegQueryValueExW(hKey.get(), name, nullptr, &type, nullptr, &dwBytes) != ERROR_SUCCESS)
        return false;
    data.assign(dwBytes, 0);
    return RegQueryValueExW(hKey.get(), name, nullptr, &type, data.data(), &dwBytes) == ERROR_SUCCESS;
}

bool rawValueExists(HKEY hRoot, const std::wstring& key, const wchar_t* name)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    return readRawValue(hRoot, key, name, type, data);
}

std::vector<std::wstring> toVector(const CKSLWCharStringList& list)
{
    std::vector<std::wstring> strings;
    for (const CKSLNode<CKSLWCharString>* pNode = list.getFirstNode(); pNode != nullptr; pNode = pNode->getNext())
        strings.push_back(pNode->getPayload().getString());
    return strings;
}
