// The record, the bounded formatter and the text layout of one log line.
#include <gtest/gtest.h>

#include <string>

#include "ksl_exceptions.h"
#include "ksl_log_record.h"
#include "ksl_text_log.h"

namespace {

const wchar_t kStamp[] = L"Sun Dec 06 22:16:29 2026";

CKSLLogRecord makeRecord(unsigned long ulLevel, const wchar_t* wcsMessage, unsigned long ulKind, long lValue,
                         const wchar_t* wcsClass, const wchar_t* wcsMethod, const wchar_t* wcsFile, int nLine)
{
    CKSLLogRecord record;
    record.setLevel(ulLevel);
    record.setObjectName(L"hubhost");
    record.setMessage(wcsMessage);
    record.setResultKind(ulKind);
    record.setValue(lValue);
    record.setClassName(wcsClass);
    record.setMethodName(wcsMethod);
    record.setSourceFile(wcsFile);
    record.setLine(nLine);
    return record;
}

std::wstring lineOf(const CKSLLogRecord& record)
{
    wchar_t wcsLine[CKSLTextLog::s_nLineCapacity];
    const int nChars = CKSLTextLog::formatLine(record, kStamp, wcsLine, CKSLTextLog::s_nLineCapacity);
    EXPECT_EQ(static_cast<size_t>(nChars), wcslen(wcsLine));
    return wcsLine;
}

// The line without its time stamp and line end.
std::wstring bodyOf(const CKSLLogRecord& record)
{
    const std::wstring line = lineOf(record);
    const std::wstring prefix = std::wstring(L"<") + kStamp + L">: ";
    EXPECT_EQ(prefix, line.substr(0, prefix.size()));
    EXPECT_EQ(L"\r\n", line.substr(line.size() - 2));
    return line.substr(prefix.size(), line.size() - prefix.size() - 2);
}

} // namespace

TEST(LogRecord, TextFieldsArePrivateCopiesAndEmptyMeansNull)
{
    CKSLLogRecord record;
    EXPECT_EQ(KSL_RESULT_BOOLEAN, record.getResultKind());
    EXPECT_EQ(0, record.getValue());
    wchar_t wcsMessage[] = L"first";
    record.setMessage(wcsMessage);
    wcsMessage[0] = L'X';
    EXPECT_STREQ(L"first", record.getMessage());
    record.setMessage(L"");
    EXPECT_EQ(nullptr, record.getMessage());
    record.setClassName(L"CKSLIni");
    record.setClassName(nullptr);
    EXPECT_EQ(nullptr, record.getClassName());
}

TEST(LogRecord, CopyCopiesEveryField)
{
    CKSLLogRecord original = makeRecord(KSL_LOG_EXIT, L"msg", KSL_RESULT_RETURN_CODE, 7, L"CKSLIni",
                                        L"getProfileString", L"ksl_ini.cpp", 42);
    original.setOutputPath(L"C:\\l\\a.log");
    CKSLLogRecord copy(original);
    CKSLLogRecord assigned;
    assigned = original;
    original.setMessage(L"changed");
    for (const CKSLLogRecord* p : {&copy, &assigned}) {
        EXPECT_EQ(KSL_LOG_EXIT, p->getLevel());
        EXPECT_STREQ(L"msg", p->getMessage());
        EXPECT_STREQ(L"hubhost", p->getObjectName());
        EXPECT_STREQ(L"C:\\l\\a.log", p->getOutputPath());
        EXPECT_EQ(KSL_RESULT_RETURN_CODE, p->getResultKind());
        EXPECT_EQ(7, p->getValue());
        EXPECT_STREQ(L"CKSLIni", p->getClassName());
        EXPECT_STREQ(L"getProfileString", p->getMethodName());
        EXPECT_STREQ(L"ksl_ini.cpp", p->getSourceFile());
        EXPECT_EQ(42, p->getLine());
    }
    assigned = assigned; // self-assignment keeps the texts
    EXPECT_STREQ(L"msg", assigned.getMessage());
}

TEST(LogRecord, SourceFileKeepsOnlyTheNameAfterEitherSeparator)
{
    CKSLLogRecord record;
    record.setSourceFile(L"/work/main/ksl/include/ksl_buffer.h");
    EXPECT_STREQ(L"ksl_buffer.h", record.getSourceFile());
    record.setSourceFile(L"C:\\src\\ksl/ksl_wchar_string.cpp");
    EXPECT_STREQ(L"ksl_wchar_string.cpp", record.getSourceFile());
    record.setSourceFile(L"C:\\src\\");
    EXPECT_EQ(nullptr, record.getSourceFile());
}

TEST(TextLogLine, ReferenceExamples)
{
    EXPECT_EQ(L"<EXCEPTION_BAD> <hubhost> \"Index out of array bounds\" <sample.h, 1299> ",
              bodyOf(makeRecord(KSL_LOG_EXCEPTION_BAD, L"Index out of array bounds", KSL_RESULT_ERROR_CODE, -1, nullptr,
                                nullptr, L"sample.h", 1299)));
    EXPECT_EQ(L"<ENTRY> <hubhost> <CKSLFlags::hasFlags> <sample.cpp, 281> ",
              bodyOf(makeRecord(KSL_LOG_ENTRY, nullptr, KSL_RESULT_BOOLEAN, 0, L"CKSLFlags", L"hasFlags",
                                L"sample.cpp", 281)));
    EXPECT_EQ(L"<EXIT> <hubhost> <CKSLFlags::hasFlags> <Failed Logical Result> <sample.cpp, 281> ",
              bodyOf(makeRecord(KSL_LOG_EXIT, nullptr, KSL_RESULT_LOGICAL, 0, L"CKSLFlags", L"hasFlags",
                                L"sample.cpp", 281)));
    EXPECT_EQ(L"<EXCEPTION_BAD> <hubhost> \"memcpy() function failed\" <Error: 0x0000000c> <sample.h, 904> ",
              bodyOf(makeRecord(KSL_LOG_EXCEPTION_BAD, L"memcpy() function failed", KSL_RESULT_ERROR_CODE, 12,
                                nullptr, nullptr, L"sample.h", 904)));
}

TEST(TextLogLine, OptionalParts)
{
    // No message, no class, line 0: the file part ends with '>'.
    EXPECT_EQ(L"<WARNING> <hubhost> <a.cpp>",
              bodyOf(makeRecord(KSL_LOG_WARNING, nullptr, KSL_RESULT_ERROR_CODE, 0, nullptr, nullptr, L"a.cpp", 0)));
    // A line without a file opens its own bracket.
    EXPECT_EQ(L"<DEBUG> <hubhost> <::run> <17> ",
              bodyOf(makeRecord(KSL_LOG_DEBUG, nullptr, KSL_RESULT_BOOLEAN, 0, nullptr, L"run", nullptr, 17)));
    EXPECT_EQ(L"<ERROR> <hubhost> <CKSLIni> <Error: 0x00000005> ",
              bodyOf(makeRecord(KSL_LOG_ERROR, nullptr, KSL_RESULT_ERROR_CODE, 5, L"CKSLIni", nullptr, nullptr, 0)));
    EXPECT_EQ(L"<SUCCESS> <hubhost> <Return Code: 0xffffffff> ",
              bodyOf(makeRecord(KSL_LOG_SUCCESS, nullptr, KSL_RESULT_RETURN_CODE, -1, nullptr, nullptr, nullptr, 0)));
    EXPECT_EQ(L"<UNSPECIFIED> <hubhost> ",
              bodyOf(makeRecord(3, nullptr, 9, 1, nullptr, nullptr, nullptr, 0)));
    CKSLLogRecord noObject;
    noObject.setLevel(KSL_LOG_ENTRY);
    EXPECT_EQ(L"<ENTRY> <> ", bodyOf(noObject));
}

TEST(TextLogLine, ResultPartByKindAndLevel)
{
    auto result = [](unsigned long ulLevel, unsigned long ulKind, long lValue) {
        return bodyOf(makeRecord(ulLevel, nullptr, ulKind, lValue, nullptr, nullptr, nullptr, 0))
            .substr(wcslen(CKSLLogRecord::levelName(ulLevel)) + 13);
    };
    EXPECT_EQ(L"", result(KSL_LOG_EXCEPTION_BAD, KSL_RESULT_ERROR_CODE, -1));
    EXPECT_EQ(L"", result(KSL_LOG_EXCEPTION_BAD, KSL_RESULT_ERROR_CODE, 0));
    EXPECT_EQ(L"<Error: 0x80070057> ", result(KSL_LOG_EXCEPTION_BAD, KSL_RESULT_ERROR_CODE, static_cast<long>(0x80070057)));
    EXPECT_EQ(L"", result(KSL_LOG_ENTRY, KSL_RESULT_BOOLEAN, 0));
    EXPECT_EQ(L"<Passed> ", result(KSL_LOG_EXIT, KSL_RESULT_BOOLEAN, 1));
    EXPECT_EQ(L"<Failed> ", result(KSL_LOG_EXIT, KSL_RESULT_BOOLEAN, 0));
    EXPECT_EQ(L"<Passed> ", result(KSL_LOG_EXIT, KSL_RESULT_LOGICAL, 1));
    EXPECT_EQ(L"", result(KSL_LOG_ENTRY, KSL_RESULT_LOGICAL, 0));
    EXPECT_EQ(L"<Return Code: 0x00000000> ", result(KSL_LOG_ENTRY, KSL_RESULT_RETURN_CODE, 0));
}

TEST(TextLogLine, LongLineIsCutButEndsTheLine)
{
    const std::wstring longMessage(5000, L'm');
    CKSLLogRecord record = makeRecord(KSL_LOG_ERROR, longMessage.c_str(), KSL_RESULT_ERROR_CODE, 5, nullptr, nullptr,
                                      L"a.cpp", 9);
    static wchar_t s_wcsLine[CKSLTextLog::s_nLineCapacity + 8];
    wmemset(s_wcsLine, L'#', CKSLTextLog::s_nLineCapacity + 8);
    const int nChars = CKSLTextLog::formatLine(record, kStamp, s_wcsLine, CKSLTextLog::s_nLineCapacity);
    EXPECT_EQ(CKSLTextLog::s_nLineCapacity - 1, nChars);
    EXPECT_EQ(L'\0', s_wcsLine[nChars]);
    EXPECT_EQ(L'#', s_wcsLine[CKSLTextLog::s_nLineCapacity]);
    EXPECT_EQ(L"\r\n", std::wstring(s_wcsLine + nChars - 2));
    EXPECT_EQ(std::wstring::npos, std::wstring(s_wcsLine).find(L"<Error"));
}

TEST(TextLogLine, CutNeverSplitsASurrogatePair)
{
    std::wstring message;
    while (message.size() < 3000)
        message += L"\xD83D\xDE00";
    CKSLLogRecord record = makeRecord(KSL_LOG_ERROR, message.c_str(), KSL_RESULT_ERROR_CODE, 0, nullptr, nullptr,
                                      nullptr, 0);
    for (int nCapacity : {60, 61}) {
        wchar_t wcsLine[61];
        const int nChars = CKSLTextLog::formatLine(record, kStamp, wcsLine, nCapacity);
        ASSERT_GE(nChars, 3);
        EXPECT_FALSE(wcsLine[nChars - 3] >= 0xD800 && wcsLine[nChars - 3] <= 0xDBFF) << nCapacity;
        EXPECT_EQ(L"\r\n", std::wstring(wcsLine + nChars - 2));
    }
}

TEST(TextLogLine, TooSmallBufferGivesNothing)
{
    const CKSLLogRecord record = makeRecord(KSL_LOG_ERROR, L"m", KSL_RESULT_ERROR_CODE, 0, nullptr, nullptr, nullptr, 0);
    wchar_t wcsLine[2] = {L'#', L'#'};
    EXPECT_EQ(0, CKSLTextLog::formatLine(record, kStamp, wcsLine, 2));
    EXPECT_EQ(L'\0', wcsLine[0]);
}

TEST(TextLogLine, DirectoryOfADrivePath)
{
    wchar_t wcsDirectory[16];
    EXPECT_TRUE(CKSLTextLog::directoryOf(L"C:\\logs\\a.log", wcsDirectory, 16));
    EXPECT_STREQ(L"C:\\logs\\", wcsDirectory);
    EXPECT_TRUE(CKSLTextLog::directoryOf(L"C:a.log", wcsDirectory, 16));
    EXPECT_STREQ(L"", wcsDirectory);
    EXPECT_FALSE(CKSLTextLog::directoryOf(L"\\\\server\\share\\a.log", wcsDirectory, 16));
    EXPECT_FALSE(CKSLTextLog::directoryOf(L"a.log", wcsDirectory, 16));
    EXPECT_FALSE(CKSLTextLog::directoryOf(L"", wcsDirectory, 16));
    EXPECT_FALSE(CKSLTextLog::directoryOf(L"C:\\a-rather-long-folder\\a.log", wcsDirectory, 16));
}
