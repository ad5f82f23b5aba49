#include "registry_test_support.h"

#include <gtest/gtest.h>

#include "ksl_scoped_handle.h"

const wchar_t kTestKey[] = L"SOFTWARE\\RegistryTest";

std::vector<std::wstring> RegistryTest::logLines() const
{
    std::vector<std::wstring> lines;
    const std::wstring text = logText();
    for (size_t nStart = 0; nStart < text.size();) {
        size_t nEnd = text.find(L"\r\n", nStart);
        if (nEnd == std::wstring::npos)
            nEnd = text.size();
        lines.push_back(text.substr(nStart, nEnd - nStart));
        nStart = nEnd + 2;
    }
    return lines;
}

void RegistryTest::expectLogLines(const std::vector<std::wstring>& parts) const
{
    const std::vector<std::wstring> lines = logLines();
    ASSERT_EQ(parts.size(), lines.size());
    for (size_t n = 0; n < parts.size(); ++n)
        EXPECT_NE(std::wstring::npos, lines[n].find(parts[n])) << "line: " << lines[n] << "\nwanted: " << parts[n];
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
