// What the registry configuration lets through, and how records reach the log file.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "ksl_catch.h"
#include "ksl_method_trace.h"
#include "log_test_support.h"
#include "test_paths.h"

namespace {

// A traced method as library classes write it; *pLine receives the tracer's source line.
bool tracedBoolean(bool bResult, int* pLine)
{
    CKSLMethodTrace trace(L"CKSLFlags", L"operator!=", KSL_HERE); *pLine = __LINE__;
    return trace.boolean(bResult);
}

bool tracedLogical(bool bResult, int* pLine)
{
    CKSLMethodTrace trace(L"CKSLFlags", L"hasFlags", KSL_HERE); *pLine = __LINE__;
    return trace.logical(bResult);
}

// A failing library operation following the catching convention.
bool failsWithBadArgument(int* pLine)
{
    return kslCatch(false, KSL_HERE, [&] {
        *pLine = __LINE__; throw CKSLBadArgException(L"ulOffset", L"value is out of bounds", KSL_HERE);
        return true;
    });
}

void logWithClass(const wchar_t* wcsClass)
{
    CKSLRegValueQueryException record(L"query failed", 2, KSL_HERE, wcsClass, L"getValue");
}

std::wstring at(int nLine)
{
    return L"<test_log_filter.cpp, " + std::to_wstring(nLine) + L"> ";
}

using LogFilter = LogFileTest;

} // namespace

TEST_F(LogFilter, LoggingOffWritesNothingAndTracerAllocatesNothing)
{
    setLogText(L"TextOutput", logPath()); // a path alone does not switch logging on
    int nLine = 0;
    for (bool bValuePresent : {false, true}) {
        if (bValuePresent)
            setLogDword(L"Logging", 0);
        {
            AllocationCounter allocations;
            EXPECT_TRUE(tracedBoolean(true, &nLine));
            EXPECT_FALSE(tracedLogical(false, &nLine));
            EXPECT_EQ(0u, allocations.count());
        }
        EXPECT_FALSE(failsWithBadArgument(&nLine)); // still thrown and caught
        CKSLMemoryCopyException(12, KSL_HERE);
        EXPECT_FALSE(fileExists(logPath()));
    }
}

TEST_F(LogFilter, DefaultDetailWritesExceptionsButNoTrace)
{
    enableLogging();
    int nThrowLine = 0, nTraceLine = 0;
    EXPECT_FALSE(failsWithBadArgument(&nThrowLine));
    EXPECT_TRUE(tracedBoolean(true, &nTraceLine));
    const auto lines = logLines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(L"<EXCEPTION_BAD> <" + programObjectName() +
                  L"> \"A bad argument was provided ( ulOffset ). value is out of bounds\" " + at(nThrowLine),
              afterStamp(lines[0]));
    EXPECT_EQ(L"test_logging", programObjectName());
}

TEST_F(LogFilter, TraceWritesEntryAndExitWithResult)
{
    enableLogging();
    setLogDword(L"LogDetail", KSL_LOG_ENTRY | KSL_LOG_EXIT);
    int nBoolLine = 0, nLogicalLine = 0;
    tracedBoolean(true, &nBoolLine);
    tracedLogical(false, &nLogicalLine);
    const std::wstring object = L"<" + programObjectName() + L"> ";
    const auto lines = logLines();
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ(L"<ENTRY> " + object + L"<CKSLFlags::operator!=> " + at(nBoolLine), afterStamp(lines[0]));
    EXPECT_EQ(L"<EXIT> " + object + L"<CKSLFlags::operator!=> <Passed> " + at(nBoolLine), afterStamp(lines[1]));
    EXPECT_EQ(L"<ENTRY> " + object + L"<CKSLFlags::hasFlags> " + at(nLogicalLine), afterStamp(lines[2]));
    EXPECT_EQ(L"<EXIT> " + object + L"<CKSLFlags::hasFlags> <Failed Logical Result> " + at(nLogicalLine),
              afterStamp(lines[3]));
}

TEST_F(LogFilter, BooleanFailureRuleKeepsOnlyFailedBooleanExits)
{
    enableLogging();
    setLogDword(L"LogDetail", 0x2200);
    int nLine = 0, nFailedLine = 0;
    tracedBoolean(true, &nLine);
    tracedLogical(false, &nLine);
    tracedLogical(true, &nLine);
    tracedBoolean(false, &nFailedLine);
    EXPECT_FALSE(failsWithBadArgument(&nLine));
    const auto lines = logLines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(L"<EXIT> <" + programObjectName() + L"> <CKSLFlags::operator!=> <Failed> " + at(nFailedLine),
              afterStamp(lines[0]));
}

TEST_F(LogFilter, ExitRulesPerResultKind)
{
    CKSLLogRecord exitRecord;
    exitRecord.setLevel(KSL_LOG_EXIT);
    auto passes = [&](unsigned long ulKind, long lValue, unsigned short usDetail) {
        exitRecord.setResultKind(ulKind);
        exitRecord.setValue(lValue);
        return CKSLLogSettings::passesDetail(exitRecord, usDetail);
    };
    EXPECT_TRUE(passes(KSL_RESULT_ERROR_CODE, 5, 0x1200));
    EXPECT_FALSE(passes(KSL_RESULT_ERROR_CODE, 0, 0x1200));
    EXPECT_TRUE(passes(KSL_RESULT_LOGICAL, 0, 0x4200));
    EXPECT_FALSE(passes(KSL_RESULT_LOGICAL, 1, 0x4200));
    EXPECT_FALSE(passes(KSL_RESULT_BOOLEAN, 0, 0x4200)); // a rule for another kind is set
    EXPECT_FALSE(passes(KSL_RESULT_RETURN_CODE, 0, 0x1200));
    EXPECT_TRUE(passes(KSL_RESULT_RETURN_CODE, 0, 0x0200));
    EXPECT_FALSE(passes(KSL_RESULT_BOOLEAN, 0, 27));
    CKSLLogRecord warning;
    warning.setLevel(KSL_LOG_WARNING);
    EXPECT_TRUE(CKSLLogSettings::passesDetail(warning, 27));
    EXPECT_FALSE(CKSLLogSettings::passesDetail(warning, 0x2200));
}

TEST_F(LogFilter, AllowObjectsPassesNamedClassesAndClasslessRecords)
{
    enableLogging();
    setLogText(L"AllowObjects", L"CKSLWCharString CKSLFlags");
    setLogText(L"ExcludeObjects", L"CKSLFlags"); // ignored while an allow list exists
    logWithClass(L"CKSLFlags");
    logWithClass(L"CKSLIni");
    logWithClass(L"CKSLWCharString");
    logWithClass(nullptr);
    const auto lines = logLines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<CKSLFlags::getValue>"));
    EXPECT_NE(std::wstring::npos, lines[1].find(L"<CKSLWCharString::getValue>"));
    EXPECT_NE(std::wstring::npos, lines[2].find(L"<::getValue>"));
}

TEST_F(LogFilter, ExcludeObjectsSuppressesNamedClasses)
{
    enableLogging();
    setLogText(L"ExcludeObjects", L"CKSLIni,CKSLFlags");
    logWithClass(L"CKSLFlags");
    logWithClass(L"CKSLRegistryKey");
    const auto lines = logLines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::wstring::npos, lines[0].find(L"<CKSLRegistryKey::getValue> \"query failed\" <Error: 0x00000002> "));
}

TEST_F(LogFilter, ProgramOverridePassesEveryLevelButNotTheClassFilter)
{
    enableLogging();
    setLogDword(L"LogDetail", 0);
    const std::wstring unusedPath = testScratchPath(L"override.txt");
    setLogText(programObjectName().c_str(), L"1,512," + unusedPath);
    setLogText(L"ExcludeObjects", L"CKSLIni");
    int nLine = 0;
    tracedBoolean(true, &nLine);
    logWithClass(L"CKSLIni");
    EXPECT_EQ(2u, logLines().size()); // ENTRY and EXIT, whatever "LogDetail" says
    EXPECT_FALSE(fileExists(unusedPath));

    setLogDword(L"Logging", 0);
    tracedBoolean(true, &nLine);
    EXPECT_EQ(2u, logLines().size());
}

TEST_F(LogFilter, OverrideOutputMaskDecides)
{
    enableLogging();
    setLogText(programObjectName().c_str(), L"2,27,C:\\x.txt"); // XML only: no writer
    CKSLIndexOutOfBoundsException record(KSL_HERE);
    EXPECT_FALSE(record.isLogged());
    EXPECT_FALSE(fileExists(logPath()));
}

TEST_F(LogFilter, OverrideParsing)
{
    unsigned short usMask = 0, usDetail = 0;
    EXPECT_TRUE(CKSLLogSettings::parseOverride(L"1,512,C:\\x.txt", usMask, usDetail));
    EXPECT_EQ(1, usMask);
    EXPECT_EQ(512, usDetail);
    EXPECT_TRUE(CKSLLogSettings::parseOverride(L"9, 27 ,C:\\a,b.txt", usMask, usDetail));
    EXPECT_EQ(9, usMask);
    EXPECT_EQ(27, usDetail);
    EXPECT_FALSE(CKSLLogSettings::parseOverride(L"1", usMask, usDetail));
}

TEST_F(LogFilter, NewFileStartsWithByteOrderMarkAndIsAppendedTo)
{
    enableLogging();
    const std::wstring dir = testScratchPath(L"newdir");
    const std::wstring path = dir + L"\\a.log";
    setLogText(L"TextOutput", path);
    CKSLIndexOutOfBoundsException first(KSL_HERE);
    CKSLIndexOutOfBoundsException second(KSL_HERE);
    EXPECT_TRUE(first.isLogged());
    const std::string bytes = readFileBytes(path);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ("\xFF\xFE<", bytes.substr(0, 3));
    EXPECT_EQ(std::string::npos, bytes.find("\xFF\xFE", 2)); // one mark only
    DeleteFileW(path.c_str());
    RemoveDirectoryW(dir.c_str());
}

TEST_F(LogFilter, PathWithoutDriveWritesNothing)
{
    enableLogging();
    const std::wstring name = L"ksl_nodrive_" + std::to_wstring(GetCurrentProcessId()) + L".log";
    for (const std::wstring& path : {name, L"\\\\server\\share\\" + name}) {
        setLogText(L"TextOutput", path);
        CKSLIndexOutOfBoundsException record(KSL_HERE);
        EXPECT_FALSE(record.isLogged());
        EXPECT_FALSE(record.log());
    }
    EXPECT_FALSE(fileExists(name));
}

TEST_F(LogFilter, MissingTextOutputFailsAndALaterHandlerMayRetry)
{
    setLogDword(L"Logging", 1);
    CKSLIndexOutOfBoundsException record(KSL_HERE);
    EXPECT_FALSE(record.isLogged());
    setLogText(L"TextOutput", logPath());
    EXPECT_TRUE(record.log());
    EXPECT_TRUE(record.isLogged());
    EXPECT_EQ(1u, logLines().size());
}

TEST_F(LogFilter, LastErrorIsKeptAcrossLogging)
{
    for (bool bOn : {false, true}) {
        if (bOn)
            enableLogging();
        setLogDword(L"LogDetail", 0xFFF);
        int nLine = 0;
        SetLastError(12345);
        tracedBoolean(false, &nLine);
        EXPECT_EQ(12345u, GetLastError()) << bOn;
        failsWithBadArgument(&nLine);
        EXPECT_EQ(12345u, GetLastError()) << bOn;
        kslLogMemsetFailure(12, KSL_HERE);
        kslLogMemFreeWarning(L"m_pBuffer", KSL_HERE);
        EXPECT_EQ(12345u, GetLastError()) << bOn;
    }
    EXPECT_EQ(5u, logLines().size()); // ENTRY, EXIT, bad argument, memset, memory release
}
