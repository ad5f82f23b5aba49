// Product descriptions: where Safekeep and ZDR are found, version checks against the installed
// version, and the records they leave in the library log.
#include <windows.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "ksl_product_skp.h"
#include "ksl_product_zdr.h"
#include "log_capture.h"

namespace {

const wchar_t kCurrentKey[] = L"Software\\Tessil\\Safekeep";
const wchar_t kOlderKey[] = L"Software\\Altmark Brightwell\\Safekeep";
const wchar_t kZdrKey[] = L"Software\\Tessil\\ZDR";

// Levels for the checks below: the default errors plus method entry and exit.
const DWORD kDetailWithTrace = 27 | 0x100 | 0x200;

std::wstring w(const CKSLWCharString& s)
{
    return s.getString();
}

class ProductTest : public LogCaptureTest {
protected:
    static void putVersion(const wchar_t* key, const std::wstring& version)
    {
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, key, L"Version", version));
    }
    static void putInstallPath(const wchar_t* key, const std::wstring& path)
    {
        ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, key, L"InstallPath", path));
    }
    static void installSafekeep(const wchar_t* key, const std::wstring& version)
    {
        putVersion(key, version);
        putInstallPath(key, L"C:\\Program Files\\Safekeep");
    }
    // Position of the first log line holding the text; npos when there is none.
    size_t logAt(const std::wstring& part) const { return logText().find(part); }
};

TEST_F(ProductTest, AnyVersionNeedsAReadableVersionInEitherKey)
{
    CKSLProduct_SKP safekeep;
    EXPECT_FALSE(safekeep.isInstalled(-1, -1, -1, -1)) << "neither key";
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kCurrentKey)) << "a lookup creates nothing";

    putInstallPath(kCurrentKey, L"C:\\Safekeep");
    EXPECT_FALSE(safekeep.isInstalled(-1, -1, -1, -1)) << "a key without Version does not count";

    putVersion(kOlderKey, L"2.1");
    EXPECT_TRUE(safekeep.isInstalled(-1, -1, -1, -1)) << "the older key alone";

    ASSERT_TRUE(deleteRegTree(HKEY_LOCAL_MACHINE, kOlderKey));
    putVersion(kCurrentKey, L"abc");
    EXPECT_TRUE(safekeep.isInstalled(-1, -1, -1, -1)) << "any readable text, even one without numbers";
}

TEST_F(ProductTest, ARealPartAfterAWildcardIsRejectedBeforeAnyLookup)
{
    CKSLProduct_SKP safekeep;
    installSafekeep(kCurrentKey, L"9.9.9.9");
    setLogDetail(kDetailWithTrace);

    EXPECT_FALSE(safekeep.isInstalled(7, -1, 3, -1));

    const size_t first = logAt(L"\"A bad argument was provided ( lVersions[2] ). "
                               L"Cannot be real value, KSL_DONT_CAREs prior\"");
    const size_t second = logAt(L"\"A bad argument was provided ( lMinorVer, lBuildVer, or lPatchVer ). "
                                L"Cannot have value after KSL_DONT_CARE\"");
    ASSERT_NE(std::wstring::npos, first) << logText();
    ASSERT_NE(std::wstring::npos, second) << logText();
    EXPECT_LT(first, second);
    EXPECT_EQ(2u, logCount(L"<EXCEPTION_BAD>")) << "each rejection is written once";
    EXPECT_EQ(1u, logCount(L"<ENTRY> <test_product> <CKSLProduct_SKP::isInstalled> <ksl_product_skp.cpp, "));
    EXPECT_FALSE(logHas(L"getRegistryItem")) << "the registry is not searched";
    EXPECT_FALSE(logHas(L"getProductVersion"));
}

TEST_F(ProductTest, CheckParmsNamesTheFirstRealPartAfterAWildcard)
{
    CKSLProduct_SKP safekeep;
    const long afterMajor[4] = {-1, 2, 3, 4};
    const long patchOnly[4] = {1, 2, -1, 5};
    const long allWild[4] = {-1, -1, -1, -1};
    const long noneWild[4] = {0, 0, 0, 0};
    EXPECT_FALSE(safekeep.checkParms(afterMajor));
    EXPECT_FALSE(safekeep.checkParms(patchOnly));
    EXPECT_FALSE(safekeep.checkParms(nullptr));
    EXPECT_TRUE(safekeep.checkParms(allWild));
    EXPECT_TRUE(safekeep.checkParms(noneWild));

    EXPECT_TRUE(logHas(L"( lVersions[1] ). Cannot be real value, KSL_DONT_CAREs prior"));
    EXPECT_FALSE(logHas(L"lVersions[2]")) << "only the first offending part is named";
    EXPECT_TRUE(logHas(L"( lVersions[3] ). Cannot be real value, KSL_DONT_CAREs prior"));
    EXPECT_TRUE(logHas(L"\"A bad argument was provided ( lVersions ). Cannot have NULL value\""));
    EXPECT_EQ(3u, logCount(L"<EXCEPTION_BAD>"));
}

struct Requirement {
    long parts[4];
    bool expected;
};

void expectRequirements(CKSLProduct& product, std::initializer_list<Requirement> cases)
{
    for (const Requirement& r : cases)
        EXPECT_EQ(r.expected, product.isInstalled(r.parts[0], r.parts[1], r.parts[2], r.parts[3]))
            << "required " << r.parts[0] << "." << r.parts[1] << "." << r.parts[2] << "." << r.parts[3];
}

TEST_F(ProductTest, RequiredVersionsAgainstAFullVersion)
{
    CKSLProduct_SKP safekeep;
    installSafekeep(kCurrentKey, L"4.0.12.3");
    expectRequirements(safekeep, {{{4, 0, 12, 3}, true},
                        {{4, 0, 12, 4}, false},
                        {{4, 1, -1, -1}, false},
                        {{3, 9, 99, 99}, true},
                        {{4, -1, -1, -1}, true},
                        {{4, 0, 11, 99}, true},
                        {{5, 0, 0, 0}, false}});
}

TEST_F(ProductTest, MissingPartsOfAShortVersionCountAsZero)
{
    CKSLProduct_SKP safekeep;
    installSafekeep(kCurrentKey, L"4.0");
    expectRequirements(safekeep, {{{4, 0, 0, 1}, false}, {{4, 0, 0, 0}, true}, {{4, 0, -1, -1}, true}});
}

TEST_F(ProductTest, AVersionWithoutNumbersCountsAsZero)
{
    CKSLProduct_SKP safekeep;
    installSafekeep(kCurrentKey, L"abc");
    expectRequirements(safekeep, {{{0, 0, 0, 0}, true}, {{1, -1, -1, -1}, false}});
}

TEST_F(ProductTest, VersionPartsThatDoNotParseKeepTheirValue)
{
    CKSLProduct_SKP safekeep;
    installSafekeep(kCurrentKey, L" 7 . 1 ");
    long major = 9, minor = 9, build = 9, patch = 9;
    EXPECT_TRUE(safekeep.getProductVersion(major, minor, build, patch));
    EXPECT_EQ(7, major);
    EXPECT_EQ(1, minor);
    EXPECT_EQ(9, build) << "a missing field leaves its part";
    EXPECT_EQ(9, patch);

    major = minor = build = patch = 5;
    EXPECT_TRUE(safekeep.convertVersion(L"x.-2.99999999999.3", major, minor, build, patch));
    EXPECT_EQ(5, major) << "not a number";
    EXPECT_EQ(-2, minor);
    EXPECT_EQ(5, build) << "too large for a part";
    EXPECT_EQ(3, patch);
}

TEST_F(ProductTest, EachItemRunsItsOwnSearchOverTheLocations)
{
    CKSLProduct_SKP safekeep;
    putVersion(kCurrentKey, L"5.0");
    installSafekeep(kOlderKey, L"3.0");
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kOlderKey, L"InstallPath", L"C:\\Old Safekeep"));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kOlderKey, L"CommonFiles", L"C:\\Common"));

    CKSLWCharString text;
    EXPECT_TRUE(safekeep.getRegistryLocation(text));
    EXPECT_EQ(kOlderKey, w(text)) << "the first key has no InstallPath";
    EXPECT_TRUE(safekeep.getProductVersion(text));
    EXPECT_EQ(L"5.0", w(text)) << "the first key holds Version";
    EXPECT_TRUE(safekeep.getRegistryItem(CKSLProduct::riInstallPath, text));
    EXPECT_EQ(L"C:\\Old Safekeep", w(text));
    EXPECT_TRUE(safekeep.getCommonPath(text));
    EXPECT_EQ(L"C:\\Common", w(text));
    EXPECT_TRUE(safekeep.isInstalled(5, 0, 0, 0));
    EXPECT_FALSE(safekeep.isInstalled(5, 0, 0, 1));
}

TEST_F(ProductTest, NothingFoundLeavesTheOutputAlone)
{
    CKSLProduct_SKP safekeep;
    CKSLWCharString text(L"unchanged");
    EXPECT_FALSE(safekeep.getRegistryLocation(text));
    EXPECT_FALSE(safekeep.getProductVersion(text));
    EXPECT_FALSE(safekeep.getCommonPath(text));
    EXPECT_EQ(L"unchanged", w(text));

    installSafekeep(kCurrentKey, L"1.0");
    EXPECT_FALSE(safekeep.getCommonPath(text)) << "installed, but no CommonFiles value";
    EXPECT_EQ(L"unchanged", w(text));
    EXPECT_TRUE(logText().empty()) << "not found is no error";
}

TEST_F(ProductTest, OperationsAreTracedUnderTheirClassAndSource)
{
    CKSLProduct_SKP safekeep;
    installSafekeep(kCurrentKey, L"4.0");
    setLogDetail(kDetailWithTrace);
    EXPECT_TRUE(safekeep.isInstalled(4, -1, -1, -1));

    EXPECT_TRUE(logHas(L"<EXIT> <test_product> <CKSLProduct_SKP::isInstalled> <Passed> <ksl_product_skp.cpp, "));
    EXPECT_TRUE(logHas(L"<ENTRY> <test_product> <CKSLProduct_SKP::getProductVersion> <ksl_product_skp.cpp, "));
    EXPECT_TRUE(logHas(L"<CKSLProduct::checkParms> <Passed> <ksl_product.cpp, "));
    EXPECT_TRUE(logHas(L"<CKSLProduct::getRegistryItem> <Passed> <ksl_product.cpp, "));
    EXPECT_TRUE(logHas(L"<CKSLProduct::convertVersion> <Passed> <ksl_product.cpp, "));
    EXPECT_TRUE(logHas(L"<CKSLProduct::isVersionInstalled> <Passed> <ksl_product.cpp, "));
    EXPECT_EQ(logCount(L"<ENTRY>"), logCount(L"<EXIT>"));
}

TEST_F(ProductTest, ZdrHasAFixedLocationAndCountsAsInstalled)
{
    CKSLProduct_ZDR zdr;
    CKSLWCharString text;
    EXPECT_TRUE(zdr.getRegistryLocation(text));
    EXPECT_EQ(kZdrKey, w(text));
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kZdrKey));
    EXPECT_TRUE(zdr.isInstalled(-1, -1, -1, -1));
    EXPECT_TRUE(zdr.isInstalled(7, -1, 3, -1)) << "the arguments are not looked at";
    EXPECT_FALSE(zdr.getProductVersion(text));

    // Its version is the key's unnamed default value.
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kZdrKey, nullptr, L"2.5"));
    long major = 0, minor = 0, build = 8, patch = 8;
    EXPECT_TRUE(zdr.getProductVersion(major, minor, build, patch));
    EXPECT_EQ(2, major);
    EXPECT_EQ(5, minor);
    EXPECT_EQ(8, build);
}

// Strings and records may consult the log settings: keep them inside the scratch registry too.
using ProductRegistryInfoTest = ScratchRegistryTest;

TEST_F(ProductRegistryInfoTest, EqualWhenAllThreeNamesAre)
{
    const CKSLProductRegistryInfo base(L"Software\\A", L"Version", L"InstallPath");
    EXPECT_TRUE(base == CKSLProductRegistryInfo(L"Software\\A", L"Version", L"InstallPath"));
    EXPECT_TRUE(base != CKSLProductRegistryInfo(L"Software\\B", L"Version", L"InstallPath"));
    EXPECT_TRUE(base != CKSLProductRegistryInfo(L"Software\\A", L"Ver", L"InstallPath"));
    EXPECT_TRUE(base != CKSLProductRegistryInfo(L"Software\\A", L"Version", L"Path"));
    EXPECT_TRUE(base != CKSLProductRegistryInfo(L"Software\\A", L"Version", CKSLWCharString()));
    EXPECT_TRUE(base == CKSLProductRegistryInfoEx(L"Software\\A", L"Version", L"InstallPath", L"VAULTINSTALLED"))
        << "the Vault value name takes no part";
}

TEST_F(ProductRegistryInfoTest, BothAssignmentsCopyTheThreeNames)
{
    const CKSLProductRegistryInfo source(L"Software\\A", L"Version", L"InstallPath");
    CKSLProductRegistryInfo byReference(L"x", L"y", L"z");
    CKSLProductRegistryInfo byPointer(L"x", L"y", L"z");
    byReference = source;
    byPointer = &source;
    EXPECT_TRUE(byReference == source);
    EXPECT_TRUE(byPointer == source);
    EXPECT_EQ(L"Software\\A", w(byPointer.getKeyPath()));

    byPointer = static_cast<const CKSLProductRegistryInfo*>(nullptr);
    EXPECT_TRUE(byPointer == source) << "a null source changes nothing";

    CKSLProductRegistryInfoEx ex(L"x", L"y", L"z", L"VAULTINSTALLED");
    ex = source;
    EXPECT_TRUE(ex == source);
    EXPECT_EQ(L"VAULTINSTALLED", w(ex.getVaultValueName()));
}

} // namespace
