// CKSLIni against real profile files: reads, writes, the "missing" answers and their records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ksl_scoped_handle.h"

#include "ini_test_support.h"

namespace {

using IniFileTest = IniTest;

const wchar_t kIntFailed[] = L"<EXCEPTION_BAD> <test_formats> <CKSLIni::getProfileInt> \"GetPrivateProfileInt( ) failed.\"";

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
    EXPECT_TRUE(logHas(L"<EXCEPTION_BAD> <test_formats> <CKSLIni::setProfileString> "
                       L"\"Unable to write profile string ( section: Sec, key name: Key )\""));
    EXPECT_TRUE(logHas(L"<CKSLIni::setProfileInt> \"Unable to write profile string ( section: Sec, key name: Num )\""));
    EXPECT_TRUE(logHas(L"<EXCEPTION_BAD> <test_formats> <CKSLIni::createProfileSection> "
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

namespace {

std::string fileBytes(const std::wstring& path)
{
    return readFileBytes(path);
}

void writeAnsiFile(const std::wstring& path, const std::string& bytes)
{
    CKSLScopedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid());
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

const wchar_t kSection[] = L"Sektion-\x0436";
const wchar_t kKey[] = L"\x4E2D\x6587";
const wchar_t kValue[] = L"Wert \x20AC \x0436 \xD83D\xDE00";

} // namespace

TEST_F(IniFileTest, NewFileIsUnicodeSoTextsOutsideTheCodePageComeBackByTheirNames)
{
    const std::wstring path = freshFile(L"unicode.ini");
    CKSLIni ini(path.c_str());
    ASSERT_TRUE(ini.setProfileString(kSection, kKey, kValue));
    EXPECT_TRUE(ini.setProfileInt(kSection, L"Zahl-\x00FC", -7));
    EXPECT_EQ(std::string("\xFF\xFE", 2), fileBytes(path).substr(0, 2));

    CKSLWCharString szValue;
    EXPECT_TRUE(ini.getProfileString(kSection, kKey, szValue));
    EXPECT_STREQ(kValue, szValue.getString());
    long lValue = 0;
    EXPECT_TRUE(ini.getProfileInt(kSection, L"Zahl-\x00FC", lValue));
    EXPECT_EQ(-7, lValue);
    CKSLIni::StringList list;
    EXPECT_TRUE(ini.getProfileSectionNames(list));
    EXPECT_EQ((std::vector<std::wstring>{kSection}), toVector(list));
    EXPECT_TRUE(ini.getProfileSection(kSection, list));
    EXPECT_EQ((std::vector<std::wstring>{std::wstring(kKey) + L"=" + kValue, L"Zahl-\x00FC=-7"}), toVector(list));
    EXPECT_FALSE(logHas(L"EXCEPTION_BAD"));
}

TEST_F(IniFileTest, ExistingAnsiFileKeepsItsEncodingAndRefusesWhatItsCodePageCannotHold)
{
    ASSERT_EQ(1252u, GetACP()); // the test's texts are chosen for the western code page
    const std::wstring path = freshFile(L"ansi.ini");
    writeAnsiFile(path, "[Main]\r\nA=1\r\n");
    CKSLIni ini(path.c_str());
    EXPECT_TRUE(ini.setProfileString(L"Main", L"\x00DC", L"\x00E4 \x20AC")); // both in code page 1252
    const std::string before = fileBytes(path);
    EXPECT_EQ('[', before[0]);
    EXPECT_NE(std::string::npos, before.find("\xDC=\xE4 \x80"));

    EXPECT_FALSE(ini.setProfileString(kSection, L"k", L"v"));
    EXPECT_FALSE(ini.setProfileString(L"Main", kKey, L"v"));
    EXPECT_FALSE(ini.setProfileString(L"Main", L"k", kValue));
    EXPECT_FALSE(ini.createProfileSection(kSection));
    EXPECT_EQ(before, fileBytes(path));
    const std::wstring refused = L"the text cannot be represented in the ANSI code page of the file\"";
    EXPECT_EQ((std::vector<std::wstring>{
                  L"\"A bad argument was provided ( szSection ). " + refused,
                  L"\"Unable to write profile string ( section: " + std::wstring(kSection) + L", key name: k )\"",
                  L"\"A bad argument was provided ( szKeyName ). " + refused,
                  L"\"Unable to write profile string ( section: Main, key name: " + std::wstring(kKey) + L" )\"",
                  L"\"A bad argument was provided ( szValue ). " + refused,
                  L"\"Unable to write profile string ( section: Main, key name: k )\"",
                  L"\"A bad argument was provided ( szSection ). " + refused,
                  L"\"Unable to write profile section ( section: " + std::wstring(kSection) + L" )\""}),
              logMessages(L"EXCEPTION_BAD"));

    CKSLWCharString szValue;
    EXPECT_TRUE(ini.getProfileString(L"Main", L"\x00DC", szValue));
    EXPECT_STREQ(L"\x00E4 \x20AC", szValue.getString());
}

TEST_F(IniFileTest, LineBreaksInSectionsKeysAndValuesAreRefusedAndInjectNothing)
{
    const std::wstring path = freshFile(L"breaks.ini");
    CKSLIni ini(path.c_str());
    ASSERT_TRUE(ini.setProfileString(L"Main", L"Keep", L"1"));
    struct Case {
        const wchar_t* wcsSection;
        const wchar_t* wcsKey;
        const wchar_t* wcsValue;
        const wchar_t* wcsArgument;
    };
    const Case cases[] = {
        {L"Main", L"Note", L"x\r\n[Evil]\r\nInjected=1", L"szValue"},
        {L"Main", L"Note", L"x\nInjected=1", L"szValue"},
        {L"Main", L"Note\r", L"x", L"szKeyName"},
        {L"Main\n[Evil", L"Note", L"x", L"szSection"},
    };
    std::vector<std::wstring> expected;
    for (const Case& c : cases) {
        EXPECT_FALSE(ini.setProfileString(c.wcsSection, c.wcsKey, c.wcsValue)) << c.wcsArgument;
        expected.push_back(std::wstring(L"\"A bad argument was provided ( ") + c.wcsArgument +
                           L" ). a line break cannot be written to a profile file\"");
        expected.push_back(std::wstring(L"\"Unable to write profile string ( section: ") + c.wcsSection +
                           L", key name: " + c.wcsKey + L" )\"");
    }
    EXPECT_FALSE(ini.createProfileSection(L"New\nSection"));
    expected.push_back(L"\"A bad argument was provided ( szSection ). a line break cannot be written to a profile file\"");
    expected.push_back(L"\"Unable to write profile section ( section: New\nSection )\"");
    EXPECT_EQ(expected, logMessages(L"EXCEPTION_BAD"));
    CKSLIni::StringList list;
    EXPECT_TRUE(ini.getProfileSectionNames(list));
    EXPECT_EQ((std::vector<std::wstring>{L"Main"}), toVector(list));
    EXPECT_EQ((std::vector<std::wstring>{L"Keep=1"}), sectionLines(path, L"Main"));
}

TEST_F(IniFileTest, CreateProfileSectionAddsAMissingSectionAndLeavesAnExistingOneAlone)
{
    const std::wstring path = freshFile(L"create.ini");
    writeIni(path, L"[Full]\r\na=1\r\nb=2\r\n");
    CKSLIni ini(path.c_str());
    EXPECT_TRUE(ini.createProfileSection(L"full")); // section names are matched as Windows does, any case
    EXPECT_TRUE(ini.createProfileSection(L"Full"));
    EXPECT_EQ((std::vector<std::wstring>{L"a=1", L"b=2"}), sectionLines(path, L"Full"));
    EXPECT_TRUE(ini.createProfileSection(L"Neu-\x0436"));
    CKSLIni::StringList list;
    EXPECT_TRUE(ini.getProfileSectionNames(list));
    EXPECT_EQ((std::vector<std::wstring>{L"Full", L"Neu-\x0436"}), toVector(list));
    EXPECT_TRUE(sectionLines(path, L"Neu-\x0436").empty());

    const std::wstring fresh = freshFile(L"created.ini");
    EXPECT_TRUE(CKSLIni(fresh.c_str()).createProfileSection(L"Only"));
    EXPECT_EQ(std::string("\xFF\xFE", 2), fileBytes(fresh).substr(0, 2));
    EXPECT_TRUE(CKSLIni(fresh.c_str()).getProfileSectionNames(list));
    EXPECT_EQ((std::vector<std::wstring>{L"Only"}), toVector(list));
    EXPECT_FALSE(logHas(L"EXCEPTION_BAD"));
}

TEST_F(IniFileTest, SectionsAndSectionListsBeyondTheFirstBufferAreReadWhole)
{
    const std::wstring path = freshFile(L"large.ini");
    std::wstring text, names;
    std::vector<std::wstring> sections, lines;
    for (int n = 0; n < 400; ++n) // 400 names of 100 characters: more than 32767 in all
        sections.push_back(std::wstring(96, static_cast<wchar_t>(L'a' + n % 26)) + std::to_wstring(1000 + n));
    for (int n = 0; n < 40; ++n) // 40 lines of about 1,000 characters in the first section
        lines.push_back(L"k" + std::to_wstring(n) + L"=" + std::wstring(1000, static_cast<wchar_t>(0x0430 + n % 32)));
    text = L"[" + sections[0] + L"]\r\n";
    for (const std::wstring& line : lines)
        text += line + L"\r\n";
    for (size_t n = 1; n < sections.size(); ++n)
        text += L"[" + sections[n] + L"]\r\nx=1\r\n";
    writeIni(path, text);

    CKSLIni ini(path.c_str());
    CKSLIni::StringList list;
    EXPECT_TRUE(ini.getProfileSectionNames(list));
    EXPECT_EQ(sections, toVector(list));
    EXPECT_TRUE(ini.getProfileSection(sections[0].c_str(), list));
    EXPECT_EQ(lines, toVector(list));
}
