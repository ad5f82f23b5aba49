// CKSLIni against real profile files: reads, writes, the "missing" answers and their records.
#include <gtest/gtest.h>

#include <string>

#include "ini_test_support.h"

namespace {

using IniFileTest = IniTest;

const wchar_t kIntFailed[] = L"<EXCEPTION_BAD> <test_ini> <CKSLIni::getProfileInt> \"GetPrivateProfileInt( ) failed.\"";

} // namespace

TEST_F(IniFileTest, StringsAndNumbersRoundTripAndNegativesAreWrittenAsDecimalText)
{
    const std::wstring path = freshFile(L"values.ini");
    CKSLIni ini(path.c_str());
    EXPECT_TRUE(ini.setProfileString(L"Main", L"Name", L"a \"quoted\" text = 1; [x]"));
    EXPECT_TRUE(ini.setProfileInt(L"Main", L"Minus", -5));
    EXPECT_TRUE(ini.setProfileInt(L"Main", L"Count", 42));

    CKSLWCharString szValue;
    EXPECT_TRUE(ini.getProfileString(L"Main", L"Name", szValue));
    EXPECT_STREQ(L"a \"quoted\" text = 1; [x]", szValue.getString());
    EXPECT_EQ((std::vector<std::wstring>{L"Name=a \"quoted\" text = 1; [x]", L"Minus=-5", L"Count=42"}),
              sectionLines(path, L"Main"));
    long lValue = 0;
    EXPECT_TRUE(ini.getProfileInt(L"Main", L"Count", lValue));
    EXPECT_EQ(42, lValue);
    EXPECT_TRUE(ini.getProfileInt(L"Main", L"Minus", lValue));
    EXPECT_EQ(-5, lValue);
    EXPECT_FALSE(logHas(L"EXCEPTION_BAD"));
}

TEST_F(IniFileTest, MinusOneAndMissingKeysFailTheNumberReadWithARecord)
{
    const std::wstring path = freshFile(L"ints.ini");
    writeIni(path, L"[Main]\r\nMinusOne=-1\r\n");
    CKSLIni ini(path.c_str());
    long lValue = 7;
    EXPECT_FALSE(ini.getProfileInt(L"Main", L"MinusOne", lValue));
    EXPECT_FALSE(ini.getProfileInt(L"Main", L"Missing", lValue));
    EXPECT_EQ(7, lValue);
    EXPECT_EQ(2u, logCount(kIntFailed));
}

TEST_F(IniFileTest, MissingNotFoundAndOverlongStringsReadAsMissingWithoutRecords)
{
    const std::wstring path = freshFile(L"strings.ini");
    writeIni(path, L"[Main]\r\nLiteral=Not Found\r\nFits=" + std::wstring(1021, L'f') + L"\r\nCut=" +
                       std::wstring(1022, L'c') + L"\r\nLong=" + std::wstring(2000, L'l') + L"\r\n");
    CKSLIni ini(path.c_str());
    CKSLWCharString szValue(L"untouched");
    EXPECT_FALSE(ini.getProfileString(L"Main", L"Missing", szValue));
    EXPECT_FALSE(ini.getProfileString(L"Other", L"Fits", szValue));
    EXPECT_FALSE(ini.getProfileString(L"Main", L"Literal", szValue));
    EXPECT_FALSE(ini.getProfileString(L"Main", L"Cut", szValue));
    EXPECT_FALSE(ini.getProfileString(L"Main", L"Long", szValue));
    EXPECT_STREQ(L"untouched", szValue.getString());
    EXPECT_TRUE(ini.getProfileString(L"Main", L"Fits", szValue));
    EXPECT_EQ(1021u, szValue.getLength());
    EXPECT_TRUE(logText().find(L"EXCEPTION_BAD") == std::wstring::npos);
}

TEST_F(IniFileTest, SectionsAndSectionNamesComeInFileOrder)
{
    const std::wstring path = freshFile(L"sections.ini");
    writeIni(path, L"[Zeta]\r\nb=2\r\na=1\r\n[Alpha]\r\nx=\"q\"\r\n[Empty]\r\n");
    CKSLIni ini(path.c_str());
    CKSLIni::StringList list;
    EXPECT_TRUE(ini.getProfileSectionNames(list));
    EXPECT_EQ((std::vector<std::wstring>{L"Zeta", L"Alpha", L"Empty"}), toVector(list));
    EXPECT_TRUE(ini.getProfileSection(L"Zeta", list));
    EXPECT_EQ((std::vector<std::wstring>{L"b=2", L"a=1"}), toVector(list));
    EXPECT_TRUE(ini.getProfileSection(L"Alpha", list));
    EXPECT_EQ((std::vector<std::wstring>{L"x=\"q\""}), toVector(list)); // the quotes are kept
    EXPECT_FALSE(ini.getProfileSection(L"Empty", list));
    EXPECT_FALSE(ini.getProfileSection(L"Missing", list));

    CKSLIni missing(freshFile(L"missing.ini").c_str()); // a missing file leaves the list alone
    EXPECT_FALSE(missing.getProfileSectionNames(list));
    EXPECT_EQ((std::vector<std::wstring>{L"x=\"q\""}), toVector(list));
}

TEST_F(IniFileTest, EmptyValueIsWrittenAndEmptyNamesNeverWipeASection)
{
    const std::wstring path = freshFile(L"empty.ini");
    CKSLIni ini(path.c_str());
    ASSERT_TRUE(ini.setProfileString(L"Main", L"Keep", L"1"));
    EXPECT_TRUE(ini.setProfileString(L"Main", L"Blank", CKSLWCharString()));
    EXPECT_EQ((std::vector<std::wstring>{L"Keep=1", L"Blank="}), sectionLines(path, L"Main"));

    EXPECT_FALSE(ini.setProfileString(L"Main", CKSLWCharString(), L"x"));
    EXPECT_FALSE(ini.setProfileInt(CKSLWCharString(), L"Keep", 3));
    EXPECT_EQ((std::vector<std::wstring>{L"Keep=1", L"Blank="}), sectionLines(path, L"Main"));
    EXPECT_TRUE(logHas(L"<CKSLIni::setProfileString> \"Unable to write profile string ( section: Main, key name: "
                       L"Unknown )\""));
    EXPECT_TRUE(logHas(L"<CKSLIni::setProfileInt> \"Unable to write profile string ( section: Unknown, key name: "
                       L"Keep )\""));
}

TEST_F(IniFileTest, RefusedWritesAreLoggedWithTheirNames)
{
    const std::wstring path = freshFile(L"no_such_folder\\x.ini");
    CKSLIni ini(path.c_str());
    EXPECT_FALSE(ini.setProfileString(L"Sec", L"Key", L"v"));
    EXPECT_FALSE(ini.setProfileInt(L"Sec", L"Num", 1));
    EXPECT_FALSE(ini.createProfileSection(L"Sec"));
    EXPECT_TRUE(logHas(L"<EXCEPTION_BAD> <test_ini> <CKSLIni::setProfileString> "
                       L"\"Unable to write profile string ( section: Sec, key name: Key )\""));
    EXPECT_TRUE(logHas(L"<CKSLIni::setProfileInt> \"Unable to write profile string ( section: Sec, key name: Num )\""));
    EXPECT_TRUE(logHas(L"<EXCEPTION_BAD> <test_ini> <CKSLIni::createProfileSection> "
                       L"\"Unable to write profile section ( section: Sec )\""));
}

TEST_F(IniFileTest, EmptyFileNameIsRefusedRatherThanTakenForWinIni)
{
    CKSLIni ini{CKSLWCharString()};
    EXPECT_FALSE(ini.setProfileString(L"Sec", L"Key", L"v"));
    CKSLIni::StringList list;
    EXPECT_FALSE(ini.getProfileSectionNames(list));
    EXPECT_EQ(2u, logCount(L"A bad argument was provided ( m_szFileName )"));
}
