// One reading of the log configuration per scope, its records appended when the scope ends, and
// the two mends: a record that one output took is not written again, and an array length the
// runtime refuses is the buffer's allocation failure.
#include <gtest/gtest.h>

#include "ksl_buffer.h"
#include "ksl_catch.h"
#include "ksl_exceptions.h"
#include "ksl_log_settings.h"
#include "ksl_logging.h"
#include "log_capture.h"

namespace {

class LogScopeTest : public LogCaptureTest {};

void throwAndCatch(unsigned short usOutputMask)
{
    kslCatch(false, KSL_HERE, [&]() -> bool {
        throw CKSLDetailedLog(KSL_LOG_ERROR, L"two outputs", 0, KSL_RESULT_ERROR_CODE, L"CKSLTest", L"run", KSL_HERE,
                              false, false, usOutputMask);
    });
}

TEST_F(LogScopeTest, AChangeInsideAScopeTakesEffectAtTheNextScope)
{
    {
        CKSLLogSettingsScope scope;
        CKSLBadArgException first(L"a", L"first", KSL_HERE);
        ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, CKSLLogSettings::s_wcsKeyPath, L"Logging", 0));
        CKSLBadArgException second(L"b", L"second", KSL_HERE);
        EXPECT_EQ(L"", logText()) << "held until the scope ends";
    }
    EXPECT_EQ(1u, logCount(L"( a ). first"));
    EXPECT_EQ(1u, logCount(L"( b ). second")) << "the scope's configuration still had logging on";
    {
        CKSLLogSettingsScope scope;
        CKSLBadArgException third(L"c", L"third", KSL_HERE);
    }
    EXPECT_EQ(0u, logCount(L"( c ). third")) << "the next scope reads the switch again";
}

void badArgument()
{
    CKSLBadArgException record(L"ulOffset", L"value is out of bounds", KSL_HERE);
}

TEST_F(LogScopeTest, ARecordsLinesAreTheSameInsideAndOutsideAScope)
{
    badArgument();
    const std::wstring unscoped = logText();
    {
        CKSLLogSettingsScope scope;
        badArgument();
    }
    const std::wstring both = logText();
    ASSERT_EQ(2 * unscoped.size(), both.size());
    // Only the time stamps may differ: "<Www Mmm dd hh:mm:ss yyyy>: " is 28 characters.
    EXPECT_EQ(unscoped.substr(28), both.substr(unscoped.size() + 28));
}

TEST_F(LogScopeTest, AnOffScopeReadsNothingAndWritesNothing)
{
    CKSLLogSettingsScope scope(CKSLLogSettingsScope::Off);
    CKSLBadArgException ignored(L"a", L"not written", KSL_HERE);
    EXPECT_FALSE(CKSLLogSettings().isLoggingOn());
    EXPECT_EQ(L"", logText());
}

TEST_F(LogScopeTest, ARecordWithAFailingLastOutputIsWrittenOnce)
{
    throwAndCatch(KSL_OUTPUT_TEXT | KSL_OUTPUT_UNKNOWN);
    EXPECT_EQ(1u, logCount(L"\"two outputs\"")) << "the handler does not write it again";
}

TEST_F(LogScopeTest, ARecordWithAFailingXmlOutputIsWrittenOnce)
{
    throwAndCatch(KSL_OUTPUT_TEXT | KSL_OUTPUT_XML);
    EXPECT_EQ(1u, logCount(L"\"two outputs\""));
}

TEST_F(LogScopeTest, ABlockTheRuntimeRefusesIsTheAllocationFailure)
{
    // A 64-bit runtime takes every size a buffer can name (up to 0xFFFFFFFF wide characters).
    if (sizeof(void*) == 8)
        GTEST_SKIP() << "no buffer size is refused by the x64 runtime";
    for (unsigned long ulCount : {0x3FFFFFFFUL, 0x40000000UL, 0x7FFFFFFFUL, 0xFFFFFFFFUL}) {
        bool bBuilt = true;
        try {
            CKSLBuffer<wchar_t> buffer(ulCount);
        } catch (const CKSLLogging&) {
            bBuilt = false;
        } catch (...) {
            ADD_FAILURE() << "a foreign exception for " << std::hex << ulCount;
        }
        EXPECT_FALSE(bBuilt) << std::hex << ulCount;
    }
    EXPECT_EQ(4u, logCount(L"\"Unable to allocate memory ( m_pBuffer )\""));
}

} // namespace
