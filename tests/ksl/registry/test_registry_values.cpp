// The registry value classes against the (scratch) registry: reads, writes, defaults, caches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ksl_registry_binary.h"
#include "ksl_registry_dword.h"
#include "ksl_registry_expand.h"
#include "ksl_registry_multi_string.h"
#include "ksl_registry_string.h"
#include "registry_test_support.h"

namespace {

using RegistryValueTest = RegistryTest;

const std::wstring kKey = kTestKey;
const wchar_t* const kPath = kTestKey;

std::vector<BYTE> rawBytes(const wchar_t* wcsName, DWORD dwExpectedType)
{
    DWORD dwType = REG_NONE;
    std::vector<BYTE> data;
    EXPECT_TRUE(readRawValue(HKEY_LOCAL_MACHINE, kKey, wcsName, dwType, data)) << wcsName;
    EXPECT_EQ(dwExpectedType, dwType) << wcsName;
    return data;
}

std::vector<BYTE> textBytes(const std::wstring& text)
{
    const BYTE* pBytes = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(pBytes, pBytes + (text.size() + 1) * sizeof(wchar_t));
}

CKSLWCharStringList makeList(std::initializer_list<const wchar_t*> strings)
{
    CKSLWCharStringList list;
    for (const wchar_t* wcsString : strings)
        list.add(wcsString);
    return list;
}

std::vector<std::wstring> parsed(const std::wstring& chars)
{
    CKSLWCharStringList strings;
    EXPECT_TRUE(CKSLRegistryMultiString::parse(reinterpret_cast<const BYTE*>(chars.data()),
                                               static_cast<unsigned long>(chars.size() * sizeof(wchar_t)), strings));
    return toVector(strings);
}

} // namespace

// --- reads ------------------------------------------------------------------------------------

TEST_F(RegistryValueTest, StringOf259CharactersReadsAndOf260DoesNot)
{
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Fits", std::wstring(259, L'x')));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"TooLong", std::wstring(260, L'y')));
    CKSLWCharString szValue;
    CKSLRegistryValue fits(HKEY_LOCAL_MACHINE, kPath, L"Fits");
    ASSERT_TRUE(fits.getValue(szValue, false));
    EXPECT_EQ(std::wstring(259, L'x'), szValue.getString());
    CKSLRegistryValue tooLong(HKEY_LOCAL_MACHINE, kPath, L"TooLong");
    EXPECT_FALSE(tooLong.readRegistry());
    EXPECT_FALSE(tooLong.getValue(szValue, false));
    EXPECT_EQ(std::wstring(259, L'x'), szValue.getString()); // untouched
    EXPECT_FALSE(tooLong.isOpen());
    EXPECT_TRUE(logLines().empty());
}

TEST_F(RegistryValueTest, StringStoredWithoutTerminatorReadsBounded)
{
    const std::wstring full(260, L'z'); // 520 bytes and no terminator: the buffer is filled exactly
    ASSERT_TRUE(setRegBinary(HKEY_LOCAL_MACHINE, kKey, L"Raw", full.data(), 520));
    CKSLWCharString szValue;
    CKSLRegistryValue raw(HKEY_LOCAL_MACHINE, kPath, L"Raw");
    ASSERT_TRUE(raw.getValue(szValue, false));
    EXPECT_EQ(full, szValue.getString());
}

TEST_F(RegistryValueTest, ReadsNeverCheckTheStoredType)
{
    const BYTE four[] = {0x78, 0x56, 0x34, 0x12};
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Expandable", L"%TEMP%\\x", REG_EXPAND_SZ));
    ASSERT_TRUE(setRegBinary(HKEY_LOCAL_MACHINE, kKey, L"FourBytes", four, sizeof four));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"Number", 0x0000002A));

    CKSLWCharString szValue;
    EXPECT_TRUE(CKSLRegistryValue(HKEY_LOCAL_MACHINE, kPath, L"Expandable").getValue(szValue, false));
    EXPECT_STREQ(L"%TEMP%\\x", szValue.getString());
    unsigned long ulValue = 0;
    EXPECT_TRUE(CKSLRegistryDword(HKEY_LOCAL_MACHINE, kPath, L"FourBytes").getValue(ulValue, false));
    EXPECT_EQ(0x12345678u, ulValue);
    CKSLByteBuffer bytes;
    EXPECT_TRUE(CKSLRegistryBinary(HKEY_LOCAL_MACHINE, kPath, L"Number").getValue(bytes, false));
    ASSERT_EQ(4u, bytes.getCount());
    EXPECT_EQ(0x2A, bytes.getBuffer()[0]);
}

TEST_F(RegistryValueTest, MissingValuesWithoutCreateFailSilentlyAndWriteNothing)
{
    CKSLWCharString szValue;
    unsigned long ulValue = 7;
    CKSLWCharStringList strings;
    CKSLByteBuffer bytes;
    EXPECT_FALSE(CKSLRegistryValue(HKEY_LOCAL_MACHINE, kPath, L"None").getValue(szValue, false));
    EXPECT_FALSE(CKSLRegistryStringExpand(HKEY_LOCAL_MACHINE, kPath, L"None").getValue(szValue, false, true));
    EXPECT_FALSE(CKSLRegistryDword(HKEY_LOCAL_MACHINE, kPath, L"None").getValue(ulValue, false));
    EXPECT_FALSE(CKSLRegistryMultiString(HKEY_LOCAL_MACHINE, kPath, L"None").getValue(strings, false));
    EXPECT_FALSE(CKSLRegistryBinary(HKEY_LOCAL_MACHINE, kPath, L"None").getValue(bytes, false));
    EXPECT_EQ(7u, ulValue);
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kKey));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"Other", 1));
    EXPECT_FALSE(CKSLRegistryDword(HKEY_LOCAL_MACHINE, kPath, L"None").getValue(ulValue, false));
    EXPECT_TRUE(logLines().empty());
}

TEST_F(RegistryValueTest, MissingValuesWithCreateWriteTheEmptyDefaults)
{
    CKSLRegistryValue text(HKEY_LOCAL_MACHINE, kPath, L"Text", KSL_KEY_WRITE_ACCESS, true);
    CKSLRegistryMultiString multi(HKEY_LOCAL_MACHINE, kPath, L"Multi", KSL_KEY_WRITE_ACCESS, true);
    CKSLRegistryBinary binary(HKEY_LOCAL_MACHINE, kPath, L"Binary", KSL_KEY_WRITE_ACCESS, true);
    CKSLRegistryDword number(HKEY_LOCAL_MACHINE, kPath, L"Number", KSL_KEY_WRITE_ACCESS, true);
    EXPECT_TRUE(text.readRegistry());
    EXPECT_TRUE(multi.readRegistry());
    EXPECT_TRUE(binary.readRegistry());
    unsigned long ulValue = 99;
    EXPECT_TRUE(number.getValue(ulValue, false));
    EXPECT_EQ(0u, ulValue);

    EXPECT_TRUE(rawBytes(L"Text", REG_SZ).empty());
    EXPECT_TRUE(rawBytes(L"Multi", REG_MULTI_SZ).empty());
    EXPECT_TRUE(rawBytes(L"Binary", REG_BINARY).empty());
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0, 0}), rawBytes(L"Number", REG_DWORD));
    EXPECT_TRUE(multi.isCacheValid());
    EXPECT_TRUE(number.isCacheValid());

    // The defaults read back as empty values.
    CKSLWCharString szText(L"old");
    EXPECT_TRUE(text.getValue(szText, false));
    EXPECT_EQ(0u, szText.getLength());
    CKSLWCharStringList strings = makeList({L"old"});
    EXPECT_TRUE(multi.getValue(strings, false));
    EXPECT_EQ(0u, strings.getCount());
    EXPECT_TRUE(logLines().empty());
}

// The expandable string's default is the empty text, which its own write check refuses.
TEST_F(RegistryValueTest, MissingExpandableValueWithCreateIsRefusedByTheWriteCheck)
{
    CKSLRegistryStringExpand expand(HKEY_LOCAL_MACHINE, kPath, L"Path", KSL_KEY_WRITE_ACCESS, true);
    EXPECT_FALSE(expand.readRegistry());
    EXPECT_FALSE(rawValueExists(HKEY_LOCAL_MACHINE, kKey, L"Path"));
    EXPECT_EQ(1u, logCount(L"( m_szRegStringCache )"));
}

// --- writes -----------------------------------------------------------------------------------

TEST_F(RegistryValueTest, EachClassWritesItsTypeAndItsBytes)
{
    EXPECT_TRUE(CKSLRegistryValue(HKEY_LOCAL_MACHINE, kPath, L"Text", KSL_KEY_WRITE_ACCESS, true)
                    .setValue(L"hello", false));
    EXPECT_EQ(textBytes(L"hello"), rawBytes(L"Text", REG_SZ));
    EXPECT_TRUE(CKSLRegistryStringExpand(HKEY_LOCAL_MACHINE, kPath, L"Path", KSL_KEY_WRITE_ACCESS, true)
                    .setValue(L"%SystemRoot%\\x", false));
    EXPECT_EQ(textBytes(L"%SystemRoot%\\x"), rawBytes(L"Path", REG_EXPAND_SZ));
    EXPECT_TRUE(CKSLRegistryDword(HKEY_LOCAL_MACHINE, kPath, L"Number", KSL_KEY_WRITE_ACCESS, true)
                    .setValue(0x01020304, false));
    EXPECT_EQ((std::vector<BYTE>{4, 3, 2, 1}), rawBytes(L"Number", REG_DWORD));
    const BYTE three[] = {9, 8, 7};
    EXPECT_TRUE(CKSLRegistryBinary(HKEY_LOCAL_MACHINE, kPath, L"Binary", KSL_KEY_WRITE_ACCESS, true)
                    .setValue(CKSLByteBuffer(three, 3), false));
    EXPECT_EQ((std::vector<BYTE>{9, 8, 7}), rawBytes(L"Binary", REG_BINARY));
    EXPECT_TRUE(CKSLRegistryMultiString(HKEY_LOCAL_MACHINE, kPath, L"Multi", KSL_KEY_WRITE_ACCESS, true)
                    .setValue(makeList({L"x", L"yy"}), false));
    EXPECT_EQ(textBytes(std::wstring(L"x\0yy\0", 5)), rawBytes(L"Multi", REG_MULTI_SZ));
    EXPECT_TRUE(logLines().empty());
}

TEST_F(RegistryValueTest, ExpandableWriteNeedsAPairOfPercentSigns)
{
    CKSLRegistryStringExpand expand(HKEY_LOCAL_MACHINE, kPath, L"Path", KSL_KEY_WRITE_ACCESS, true);
    EXPECT_TRUE(expand.setValue(L"%TEMP%\\app", false));
    EXPECT_TRUE(expand.isCacheValid());
    for (const wchar_t* wcsRefused : {L"no variable", L"50%", L"%a%b%"}) {
        EXPECT_FALSE(expand.setValue(wcsRefused, false)) << wcsRefused;
        EXPECT_EQ(textBytes(L"%TEMP%\\app"), rawBytes(L"Path", REG_EXPAND_SZ)) << wcsRefused;
    }
    EXPECT_TRUE(expand.setValue(L"%a%%b%", false));
    EXPECT_EQ(3u, logCount(L"<EXCEPTION_BAD> <test_registry> \"A bad argument was provided ( m_szRegStringCache ). "
                           L"value doesn't represent an expandable value which is required\""));
    EXPECT_EQ(3u, logLines().size());
    EXPECT_FALSE(expand.isOpen());
}

TEST_F(RegistryValueTest, RefusedWriteIsLoggedWithKeyValueAndClass)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"Number", 1));
    CKSLRegistryDword readOnly(HKEY_LOCAL_MACHINE, kPath, L"Number"); // KEY_READ cannot set values
    EXPECT_FALSE(readOnly.setValue(2, false));
    EXPECT_FALSE(readOnly.isCacheValid());
    EXPECT_FALSE(readOnly.isOpen());
    CKSLRegistryValue unnamed(HKEY_LOCAL_MACHINE, kPath, L"");
    EXPECT_FALSE(unnamed.setValue(L"x", false));
    expectLogLines({L"<EXCEPTION_BAD> <test_registry> <CKSLRegistryDword::writeRegistry> "
                    L"\"Unable to Set registry value ( \"SOFTWARE\\RegistryTest\\Number\" )\" <Error: 0x00000005>",
                    L"<CKSLRegistryValue::writeRegistry> "
                    L"\"Unable to Set registry value ( \"SOFTWARE\\RegistryTest\\Unknown\" )\""});
}

TEST_F(RegistryValueTest, SetValueCacheOnlyWritesNothingAndAnswersPerClass)
{
    CKSLRegistryValue text(HKEY_LOCAL_MACHINE, kPath, L"Text", KSL_KEY_WRITE_ACCESS, true);
    CKSLRegistryStringExpand expand(HKEY_LOCAL_MACHINE, kPath, L"Path", KSL_KEY_WRITE_ACCESS, true);
    CKSLRegistryMultiString multi(HKEY_LOCAL_MACHINE, kPath, L"Multi", KSL_KEY_WRITE_ACCESS, true);
    CKSLRegistryBinary binary(HKEY_LOCAL_MACHINE, kPath, L"Binary", KSL_KEY_WRITE_ACCESS, true);
    CKSLRegistryDword number(HKEY_LOCAL_MACHINE, kPath, L"Number", KSL_KEY_WRITE_ACCESS, true);
    EXPECT_TRUE(text.setValue(L"t", true));
    EXPECT_TRUE(expand.setValue(L"no check in the cache", true));
    EXPECT_FALSE(multi.setValue(makeList({L"m"}), true));
    EXPECT_TRUE(binary.setValue(CKSLByteBuffer(4), true));
    EXPECT_TRUE(number.setValue(5, true));
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kKey));
    EXPECT_FALSE(number.isCacheValid()); // only a write validates the cache

    // The cached value is what the next write stores.
    EXPECT_TRUE(number.writeRegistry());
    EXPECT_EQ((std::vector<BYTE>{5, 0, 0, 0}), rawBytes(L"Number", REG_DWORD));
    EXPECT_TRUE(multi.writeRegistry());
    EXPECT_EQ(textBytes(std::wstring(L"m\0", 2)), rawBytes(L"Multi", REG_MULTI_SZ));
}

// --- caches -----------------------------------------------------------------------------------

TEST_F(RegistryValueTest, StringCacheAnswersOnlyAfterAWrite)
{
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Text", L"one"));
    CKSLRegistryValue text(HKEY_LOCAL_MACHINE, kPath, L"Text", KSL_KEY_WRITE_ACCESS, true);
    CKSLWCharString szValue;
    ASSERT_TRUE(text.getValue(szValue, true));
    EXPECT_STREQ(L"one", szValue.getString());
    EXPECT_FALSE(text.isCacheValid());
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Text", L"two"));
    ASSERT_TRUE(text.getValue(szValue, true)); // a read does not validate the cache
    EXPECT_STREQ(L"two", szValue.getString());

    ASSERT_TRUE(text.setValue(L"three", false));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Text", L"four"));
    ASSERT_TRUE(text.getValue(szValue, true));
    EXPECT_STREQ(L"three", szValue.getString());
    ASSERT_TRUE(text.getValue(szValue, false));
    EXPECT_STREQ(L"four", szValue.getString());
}

TEST_F(RegistryValueTest, NumberBytesAndListCachesAnswerAfterARead)
{
    const BYTE one[] = {1};
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"Number", 1));
    ASSERT_TRUE(setRegBinary(HKEY_LOCAL_MACHINE, kKey, L"Binary", one, 1));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Multi", std::wstring(L"a\0", 2), REG_MULTI_SZ));
    CKSLRegistryDword number(HKEY_LOCAL_MACHINE, kPath, L"Number");
    CKSLRegistryBinary binary(HKEY_LOCAL_MACHINE, kPath, L"Binary");
    CKSLRegistryMultiString multi(HKEY_LOCAL_MACHINE, kPath, L"Multi");
    unsigned long ulValue = 0;
    CKSLByteBuffer bytes;
    CKSLWCharStringList strings;
    ASSERT_TRUE(number.getValue(ulValue, true));
    ASSERT_TRUE(binary.getValue(bytes, true));
    ASSERT_TRUE(multi.getValue(strings, true));

    const BYTE two[] = {2, 2};
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"Number", 2));
    ASSERT_TRUE(setRegBinary(HKEY_LOCAL_MACHINE, kKey, L"Binary", two, 2));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Multi", std::wstring(L"b\0", 2), REG_MULTI_SZ));
    EXPECT_TRUE(number.getValue(ulValue, true));
    EXPECT_EQ(1u, ulValue);
    EXPECT_TRUE(binary.getValue(bytes, true));
    EXPECT_EQ(1u, bytes.getCount());
    EXPECT_TRUE(multi.getValue(strings, true));
    EXPECT_EQ(std::vector<std::wstring>{L"a"}, toVector(strings));

    EXPECT_TRUE(number.getValue(ulValue, false));
    EXPECT_EQ(2u, ulValue);
    EXPECT_TRUE(binary.getValue(bytes, false));
    EXPECT_EQ(2u, bytes.getCount());
    EXPECT_TRUE(multi.getValue(strings, false));
    EXPECT_EQ(std::vector<std::wstring>{L"b"}, toVector(strings));
}

// --- multi-strings and expansion --------------------------------------------------------------

TEST(RegistryMultiStringParse, SplitsAtZerosAndStopsAtTwoInARow)
{
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b"}), parsed(std::wstring(L"a\0b\0\0", 5)));
    EXPECT_EQ((std::vector<std::wstring>{L""}), parsed(std::wstring(L"\0\0", 2)));
    EXPECT_EQ((std::vector<std::wstring>{L""}), parsed(std::wstring(L"\0", 1)));
    EXPECT_EQ((std::vector<std::wstring>{L"one", L"two"}), parsed(std::wstring(L"one\0two\0", 8)));
    EXPECT_EQ((std::vector<std::wstring>{L"a"}), parsed(std::wstring(L"a\0\0b\0\0", 6)));
    EXPECT_EQ(std::vector<std::wstring>{}, parsed(std::wstring()));
    // A last string without its zero is not lost; an odd last byte is no character.
    EXPECT_EQ((std::vector<std::wstring>{L"ab", L"cd"}), parsed(std::wstring(L"ab\0cd", 5)));
    const BYTE odd[] = {'a', 0, 0, 0, 'b'};
    CKSLWCharStringList strings = makeList({L"stale"});
    EXPECT_TRUE(CKSLRegistryMultiString::parse(odd, sizeof odd, strings));
    EXPECT_EQ(std::vector<std::wstring>{L"a"}, toVector(strings));
    EXPECT_TRUE(CKSLRegistryMultiString::parse(nullptr, 10, strings));
    EXPECT_EQ(0u, strings.getCount());
}

TEST_F(RegistryValueTest, ExpandableStringExpandsOnlyWhenAsked)
{
    ASSERT_TRUE(SetEnvironmentVariableW(L"KSL_REGISTRY_TEST", L"C:\\expanded"));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Path", L"%KSL_REGISTRY_TEST%\\bin", REG_EXPAND_SZ));
    CKSLRegistryStringExpand expand(HKEY_LOCAL_MACHINE, kPath, L"Path");
    CKSLWCharString szValue;
    ASSERT_TRUE(expand.getValue(szValue, false, false));
    EXPECT_STREQ(L"%KSL_REGISTRY_TEST%\\bin", szValue.getString());
    ASSERT_TRUE(expand.getValue(szValue, false, true));
    EXPECT_STREQ(L"C:\\expanded\\bin", szValue.getString());
    ASSERT_TRUE(CKSLRegistryStringExpand::expandText(L"%UNSET_KSL_VARIABLE%", szValue));
    EXPECT_STREQ(L"%UNSET_KSL_VARIABLE%", szValue.getString()); // unknown names stay
    SetEnvironmentVariableW(L"KSL_REGISTRY_TEST", nullptr);
}

// --- all values of a key ------------------------------------------------------------------------

TEST_F(RegistryValueTest, ReadKeyValuesGivesEachClassOnlyItsType)
{
    const BYTE bytes[] = {1, 2, 3};
    ASSERT_TRUE(SetEnvironmentVariableW(L"KSL_REGISTRY_TEST", L"X"));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"N1", 1));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"N2", 2));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"S", L"text"));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"E", L"%KSL_REGISTRY_TEST%y", REG_EXPAND_SZ));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"M", std::wstring(L"p\0q\0", 4), REG_MULTI_SZ));
    ASSERT_TRUE(setRegBinary(HKEY_LOCAL_MACHINE, kKey, L"B", bytes, sizeof bytes));

    CKSLRegistryDword::ValueList numbers;
    ASSERT_TRUE(CKSLRegistryDword(HKEY_LOCAL_MACHINE, kPath, L"").readKeyValues(numbers));
    unsigned long ulSum = 0;
    for (auto* pNode = numbers.getFirstNode(); pNode != nullptr; pNode = pNode->getNext())
        ulSum += pNode->getPayload().m_value;
    EXPECT_EQ(2u, numbers.getCount());
    EXPECT_EQ(3u, ulSum);

    CKSLRegistryValue::ValueList texts;
    ASSERT_TRUE(CKSLRegistryValue(HKEY_LOCAL_MACHINE, kPath, L"").readKeyValues(texts));
    ASSERT_EQ(1u, texts.getCount());
    EXPECT_STREQ(L"S", texts.getFirstNode()->getPayload().m_szValueName.getString());
    EXPECT_STREQ(L"text", texts.getFirstNode()->getPayload().m_value.getString());

    CKSLRegistryStringExpand expand(HKEY_LOCAL_MACHINE, kPath, L"");
    ASSERT_TRUE(expand.readKeyValues(texts));
    ASSERT_EQ(1u, texts.getCount());
    EXPECT_STREQ(L"%KSL_REGISTRY_TEST%y", texts.getFirstNode()->getPayload().m_value.getString());
    ASSERT_TRUE(expand.readKeyValues(texts, true));
    EXPECT_STREQ(L"Xy", texts.getFirstNode()->getPayload().m_value.getString());

    CKSLRegistryMultiString::ValueList lists;
    ASSERT_TRUE(CKSLRegistryMultiString(HKEY_LOCAL_MACHINE, kPath, L"").readKeyValues(lists));
    ASSERT_EQ(1u, lists.getCount());
    EXPECT_EQ((std::vector<std::wstring>{L"p", L"q"}), toVector(lists.getFirstNode()->getPayload().m_value));

    CKSLRegistryBinary::ValueList blobs;
    ASSERT_TRUE(CKSLRegistryBinary(HKEY_LOCAL_MACHINE, kPath, L"").readKeyValues(blobs));
    ASSERT_EQ(1u, blobs.getCount());
    EXPECT_EQ(3u, blobs.getFirstNode()->getPayload().m_value.getCount());
    EXPECT_TRUE(logLines().empty());
    SetEnvironmentVariableW(L"KSL_REGISTRY_TEST", nullptr);
}

TEST_F(RegistryValueTest, ReadKeyValuesOfAKeyWithoutValuesFailsWithAnEmptyList)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey + L"\\Child", L"N", 1));
    CKSLRegistryDword::ValueList numbers;
    CKSLRegValuePair<unsigned long> stale;
    numbers.add(stale);
    EXPECT_FALSE(CKSLRegistryDword(HKEY_LOCAL_MACHINE, kPath, L"").readKeyValues(numbers));
    EXPECT_EQ(0u, numbers.getCount());
}
