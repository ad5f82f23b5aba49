// Exceptions as log records: when each is written, copies, and the catching convention.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "ksl_catch.h"
#include "log_test_support.h"

namespace {

using LogExceptions = LogFileTest;

std::wstring bodyAfterObject(const std::wstring& line)
{
    const std::wstring body = afterStamp(line);
    const std::wstring object = L"<" + programObjectName() + L"> ";
    const size_t nAt = body.find(object);
    return nAt == std::wstring::npos ? body : body.substr(nAt + object.size());
}

std::wstring at(int nLine)
{
    return L"<test_log_exceptions.cpp, " + std::to_wstring(nLine) + L"> ";
}

} // namespace

TEST_F(LogExceptions, MessagesValuesAndWhenWritten)
{
    enableLogging();
    const int nLine = __LINE__;
    {
        CKSLBadArgException badArg(nullptr, L"text", L"x.cpp", nLine);
        CKSLMemAllocException alloc(L"m_pBuffer", L"x.cpp", nLine);
        CKSLIndexOutOfBoundsException index(L"x.cpp", nLine);
        CKSLUnhandledExceptionException unhandled(22, L"x.cpp", nLine);
        kslLogMemFreeWarning(nullptr, L"x.cpp", nLine);
        EXPECT_EQ(5u, logLines().size()); // written when built
        EXPECT_EQ(0, badArg.getValue());
        EXPECT_EQ(-1, alloc.getValue());
        CKSLMemoryCopyException copy(12, L"x.cpp", nLine);
        CKSLBufferInitException init(L"x.cpp", nLine);
        kslLogMemsetFailure(EINVAL, L"x.cpp", nLine);
        EXPECT_EQ(6u, logLines().size()); // only the memset record, on its way out
        EXPECT_FALSE(copy.isLogged());
    }
    const auto lines = logLines();
    ASSERT_EQ(8u, lines.size());
    const std::wstring where = L"<x.cpp, " + std::to_wstring(nLine) + L"> ";
    const wchar_t* expected[] = {
        L"<EXCEPTION_BAD> ", L"\"A bad argument was provided ( Unknown ). text\" ",
        L"<EXCEPTION_BAD> ", L"\"Unable to allocate memory ( m_pBuffer )\" ",
        L"<EXCEPTION_BAD> ", L"\"Index out of array bounds\" ",
        L"<EXCEPTION_BAD> ", L"\"An unhandled exception occurred\" <Error: 0x00000016> ",
        L"<WARNING> ",       L"\"Unable to free memory ( Unknown )\" ",
        L"<EXCEPTION_BAD> ", L"\"memset() function failed\" <Error: 0x00000016> ",
        L"<EXCEPTION_BAD> ", L"\"Unable to initialize CKSLBuffer\" ", // destroyed in reverse order
        L"<EXCEPTION_BAD> ", L"\"memcpy() function failed\" <Error: 0x0000000c> ",
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::wstring body = afterStamp(lines[i]);
        EXPECT_EQ(0u, body.find(expected[2 * i])) << i;
        EXPECT_EQ(expected[2 * i + 1] + where, bodyAfterObject(lines[i])) << i;
    }
}

TEST_F(LogExceptions, MessageExceptionsCarryClassMethodAndLevel)
{
    enableLogging();
    CKSLRegKeyInitException init(L"Unable to open the key", ERROR_FILE_NOT_FOUND, L"ksl_registry_key.cpp", 10,
                                 L"CKSLRegistryKey", L"CKSLRegistryKey");
    CKSLRegCloseKeyWarning warning(L"Unable to close the key", 6, L"ksl_registry_key.cpp", 11, L"CKSLRegistryKey",
                                   L"~CKSLRegistryKey");
    const auto lines = logLines();
    ASSERT_EQ(2u, lines.size());
    const std::wstring object = L"<" + programObjectName() + L"> ";
    EXPECT_EQ(L"<EXCEPTION_BAD> " + object +
                  L"<CKSLRegistryKey::CKSLRegistryKey> \"Unable to open the key\" <Error: 0x00000002> "
                  L"<ksl_registry_key.cpp, 10> ",
              afterStamp(lines[0]));
    EXPECT_EQ(L"<WARNING> " + object +
                  L"<CKSLRegistryKey::~CKSLRegistryKey> \"Unable to close the key\" <Error: 0x00000006> "
                  L"<ksl_registry_key.cpp, 11> ",
              afterStamp(lines[1]));
}

TEST_F(LogExceptions, CopiesDoNotWriteARecordTwice)
{
    enableLogging();
    {
        CKSLMemoryCopyException original(12, KSL_HERE);
        CKSLMemoryCopyException copy(original);
        CKSLMemoryCopyException copyOfCopy(copy);
    }
    EXPECT_EQ(1u, logLines().size());
    try {
        throw CKSLBufferInitException(KSL_HERE);
    } catch (const CKSLBufferInitException& caught) {
        const CKSLBufferInitException kept(caught); // takes the duty to write from the thrown object
        EXPECT_FALSE(kept.isLogged());
    }
    EXPECT_EQ(2u, logLines().size());
}

TEST_F(LogExceptions, CatchLogsALibraryExceptionOnlyWhenNotYetWritten)
{
    enableLogging();
    EXPECT_EQ(-1, kslCatch(-1, KSL_HERE, []() -> int { throw CKSLIndexOutOfBoundsException(KSL_HERE); }));
    EXPECT_EQ(1u, logLines().size()); // written when built, not again by the handler
    // Written by the handler, and once more by its destructor.
    EXPECT_FALSE(kslCatch(false, KSL_HERE, []() -> bool { throw CKSLMemoryCopyException(5, KSL_HERE); }));
    EXPECT_EQ(3u, logLines().size());
}

TEST_F(LogExceptions, ForeignExceptionBecomesAnUnhandledRecord)
{
    enableLogging();
    const int nCatchLine = __LINE__ + 1;
    const wchar_t* result = kslCatch<const wchar_t*>(L"failed", KSL_HERE, [&]() -> const wchar_t* {
        errno = ERANGE;
        throw 42;
    });
    EXPECT_STREQ(L"failed", result);
    const int nTracedLine = __LINE__ + 1;
    EXPECT_FALSE(kslCatchTraced(false, KSL_HERE, [&]() -> bool {
        SetLastError(ERROR_ACCESS_DENIED);
        throw std::wstring(L"foreign");
    }));
    const auto lines = logLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(L"\"An unhandled exception occurred\" <Error: 0x00000022> " + at(nCatchLine), bodyAfterObject(lines[0]));
    EXPECT_EQ(L"\"An unhandled exception occurred\" <Error: 0x00000005> " + at(nTracedLine),
              bodyAfterObject(lines[1]));
}

TEST_F(LogExceptions, SuccessPassesTheResultThrough)
{
    enableLogging();
    EXPECT_EQ(7, kslCatch(-1, KSL_HERE, [] { return 7; }));
    EXPECT_TRUE(logLines().empty());
}
