#include "foundation_test.h"

#include "test_paths.h"

namespace {
const wchar_t kLogsKey[] = L"SOFTWARE\\Tessil\\Logs";
}

void FoundationTest::SetUp()
{
    ScratchRegistryTest::SetUp();
    m_path = testScratchPath(L"foundation.log");
}

void FoundationTest::TearDown()
{
    DeleteFileW(m_path.c_str());
    ScratchRegistryTest::TearDown();
}

void FoundationTest::enableLogging(DWORD dwLogDetail)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kLogsKey, L"Logging", 1));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kLogsKey, L"LogDetail", dwLogDetail));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kLogsKey, L"TextOutput", m_path));
}

std::wstring FoundationTest::logText() const
{
    const std::string bytes = readFileBytes(m_path);
    if (bytes.size() < 2)
        return std::wstring();
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
}

int FoundationTest::countLogged(const std::wstring& text) const
{
    const std::wstring log = logText();
    int nCount = 0;
    for (size_t nStart = 0; nStart < log.size();) {
        size_t nEnd = log.find(L"\r\n", nStart);
        if (nEnd == std::wstring::npos)
            nEnd = log.size();
        if (log.substr(nStart, nEnd - nStart).find(text) != std::wstring::npos)
            ++nCount;
        nStart = nEnd + 2;
    }
    return nCount;
}

int FoundationTest::countBadArg(const std::wstring& name, const std::wstring& text) const
{
    return countLogged(L"\"A bad argument was provided ( " + name + L" ). " + text + L"\"");
}
