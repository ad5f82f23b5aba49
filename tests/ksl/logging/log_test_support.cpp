#include "log_test_support.h"

#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

#include "ksl_log_settings.h"
#include "test_paths.h"

namespace {

thread_local bool t_bCounting = false;
thread_local unsigned t_nAllocations = 0;

void* countedAllocation(std::size_t nBytes)
{
    if (t_bCounting)
        ++t_nAllocations;
    return std::malloc(nBytes != 0 ? nBytes : 1);
}

} // namespace

// Every form of operator new of this program goes through the counter.
void* operator new(std::size_t nBytes)
{
    if (void* p = countedAllocation(nBytes))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t nBytes)
{
    return operator new(nBytes);
}
void* operator new(std::size_t nBytes, const std::nothrow_t&) noexcept
{
    return countedAllocation(nBytes);
}
void* operator new[](std::size_t nBytes, const std::nothrow_t&) noexcept
{
    return countedAllocation(nBytes);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

AllocationCounter::AllocationCounter()
{
    t_nAllocations = 0;
    t_bCounting = true;
}

AllocationCounter::~AllocationCounter()
{
    t_bCounting = false;
}

unsigned AllocationCounter::count() const
{
    return t_nAllocations;
}

void LogFileTest::SetUp()
{
    ScratchRegistryTest::SetUp();
    m_path = testScratchPath(L"ksl.log");
}

void LogFileTest::TearDown()
{
    DeleteFileW(m_path.c_str());
    ScratchRegistryTest::TearDown();
}

void LogFileTest::enableLogging()
{
    setLogDword(L"Logging", 1);
    setLogText(L"TextOutput", m_path);
}

void LogFileTest::setLogDword(const wchar_t* wcsName, DWORD dwValue)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, CKSLLogSettings::s_wcsKeyPath, wcsName, dwValue));
}

void LogFileTest::setLogText(const wchar_t* wcsName, const std::wstring& text)
{
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, CKSLLogSettings::s_wcsKeyPath, wcsName, text));
}

std::string LogFileTest::logBytes() const
{
    return readFileBytes(m_path);
}

std::vector<std::wstring> LogFileTest::logLines() const
{
    std::vector<std::wstring> lines;
    const std::string bytes = logBytes();
    if (bytes.empty())
        return lines;
    EXPECT_EQ(0u, bytes.size() % 2) << "odd byte count";
    EXPECT_EQ("\xFF\xFE", bytes.substr(0, 2)) << "no byte-order mark";
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    size_t nStart = 0;
    while (nStart < text.size()) {
        const size_t nEnd = text.find(L"\r\n", nStart);
        if (nEnd == std::wstring::npos) {
            ADD_FAILURE() << "last line has no line end";
            break;
        }
        lines.push_back(text.substr(nStart, nEnd - nStart));
        nStart = nEnd + 2;
    }
    return lines;
}

std::wstring afterStamp(const std::wstring& line)
{
    // "<Sun Dec 06 22:16:29 2026>: "
    const size_t nStamp = 28;
    if (line.size() < nStamp || line[0] != L'<' || line.compare(25, 3, L">: ") != 0)
        return L"(no time stamp) " + line;
    return line.substr(nStamp);
}

std::wstring programObjectName()
{
    wchar_t wcsPath[MAX_PATH];
    GetModuleFileNameW(nullptr, wcsPath, MAX_PATH);
    std::wstring name = wcsPath;
    name = name.substr(name.find_last_of(L"\\/") + 1);
    return name.substr(0, name.rfind(L'.'));
}
