// The registry key against the (scratch) registry: open rules, enumeration, value queries, hives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ksl_registry_key.h"
#include "ksl_scoped_handle.h"
#include "registry_test_support.h"
#include "test_paths.h"

namespace {

using RegistryKeyTest = RegistryTest;

const std::wstring kKey = kTestKey;
const std::wstring kMissing = kKey + L"\\Missing";

} // namespace

// --- open, create, close, exists -------------------------------------------------------------

TEST_F(RegistryKeyTest, OpenOfMissingKeyFailsSilentlyWithoutCreateAndCreatesWithIt)
{
    CKSLRegistryKey reader(HKEY_LOCAL_MACHINE, kMissing.c_str());
    EXPECT_FALSE(reader.open());
    EXPECT_FALSE(reader.isOpen());
    EXPECT_FALSE(reader.exists());
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kMissing));

    CKSLRegistryKey writer(HKEY_LOCAL_MACHINE, kMissing.c_str(), KSL_KEY_WRITE_ACCESS, true);
    EXPECT_TRUE(writer.open());
    EXPECT_TRUE(writer.isOpen());
    EXPECT_TRUE(regKeyExists(HKEY_LOCAL_MACHINE, kMissing));
    EXPECT_TRUE(writer.close());
    EXPECT_FALSE(writer.isOpen());
    EXPECT_TRUE(logLines().empty());
}

TEST_F(RegistryKeyTest, ExistsAndCreateMakeMissingKeysAndEndClosed)
{
    CKSLRegistryKey creator(HKEY_LOCAL_MACHINE, kMissing.c_str(), KSL_KEY_WRITE_ACCESS, true);
    EXPECT_TRUE(creator.exists());
    EXPECT_FALSE(creator.isOpen());
    EXPECT_TRUE(regKeyExists(HKEY_LOCAL_MACHINE, kMissing));
    CKSLRegistryKey reader(HKEY_LOCAL_MACHINE, kMissing.c_str());
    EXPECT_TRUE(reader.exists());
    EXPECT_FALSE(reader.isOpen());
    ASSERT_TRUE(creator.open());
    EXPECT_TRUE(creator.create()); // closes the open key first; an existing key is no failure
    EXPECT_FALSE(creator.isOpen());
    EXPECT_TRUE(logLines().empty());
}

TEST_F(RegistryKeyTest, OpenOfOpenKeyWarnsAndReopensCloseOfClosedKeyWarns)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"v", 1));
    CKSLRegistryKey key(HKEY_LOCAL_MACHINE, kKey.c_str());
    ASSERT_TRUE(key.open());
    EXPECT_TRUE(key.open());
    EXPECT_TRUE(key.isOpen());
    EXPECT_TRUE(key.close());
    EXPECT_TRUE(key.close());
    expectLogLines({L"<WARNING> <test_registry> <CKSLRegistryKey::open> "
                    L"\"Registry key is already open ( SOFTWARE\\RegistryTest )\"",
                    L"<WARNING> <test_registry> <CKSLRegistryKey::close> "
                    L"\"Registry key is already closed ( SOFTWARE\\RegistryTest )\""});
}

TEST_F(RegistryKeyTest, RefusedCreateIsLoggedWithItsStatus)
{
    CKSLRegistryKey key(reinterpret_cast<HKEY>(0x1234), L"Nowhere", KSL_KEY_WRITE_ACCESS, true);
    EXPECT_FALSE(key.create());
    EXPECT_FALSE(key.open());
    EXPECT_EQ(2u, logCount(L"<EXCEPTION_BAD> <test_registry> <CKSLRegistryKey::create> "
                           L"\"Unable to create registry key ( \"Nowhere\" )\" <Error: 0x00000006>"));
}

// --- key information ---------------------------------------------------------------

TEST_F(RegistryKeyTest, MaximumLengthsComeFromOneQueryEachAndLeaveTheKeyClosed)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"a", 1));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"longername", L"hello"));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey + L"\\s1", L"x", 1));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey + L"\\subkey22", L"x", 1));
    CKSLRegistryKey key(HKEY_LOCAL_MACHINE, kKey.c_str());
    unsigned long ulLength = 0;
    EXPECT_TRUE(key.getMaxSubKeyLength(ulLength));
    EXPECT_EQ(8u, ulLength);
    EXPECT_TRUE(key.getMaxValueNameLength(ulLength));
    EXPECT_EQ(10u, ulLength);
    ASSERT_TRUE(key.open());
    EXPECT_TRUE(key.getMaxValueLength(ulLength));
    EXPECT_EQ(12u, ulLength); // "hello" and its terminator
    EXPECT_FALSE(key.isOpen());

    CKSLRegistryKey missing(HKEY_LOCAL_MACHINE, kMissing.c_str());
    EXPECT_FALSE(missing.getMaxSubKeyLength(ulLength));
    EXPECT_TRUE(logLines().empty());
}

// --- enumeration -----------------------------------------------------------------------------

TEST_F(RegistryKeyTest, EnumSubKeysGivesChildKeysLeavesTheParentOpenAndEndsWithoutRecord)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey + L"\\Alpha", L"x", 1));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey + L"\\Beta", L"x", 1));
    CKSLRegistryKey parent(HKEY_LOCAL_MACHINE, kKey.c_str(), KSL_KEY_WRITE_ACCESS, true);
    CKSLRegistryKey child(HKEY_CURRENT_USER, L"placeholder");
    ASSERT_TRUE(parent.enumSubKeys(child, 1));
    EXPECT_TRUE(parent.isOpen());
    EXPECT_FALSE(child.isOpen());
    EXPECT_EQ(HKEY_LOCAL_MACHINE, child.getRootKey());
    EXPECT_STREQ(L"SOFTWARE\\RegistryTest\\Beta", child.getKeyPath().getString());
    EXPECT_EQ(KSL_KEY_WRITE_ACCESS, child.getAccessMask());
    EXPECT_FALSE(child.isCreateIfMissing());
    EXPECT_TRUE(child.exists());

    EXPECT_FALSE(parent.enumSubKeys(child, 2));
    EXPECT_FALSE(parent.enumSubKeys(child, 1000));
    EXPECT_STREQ(L"SOFTWARE\\RegistryTest\\Beta", child.getKeyPath().getString());
    EXPECT_TRUE(logLines().empty());
}

TEST_F(RegistryKeyTest, SubKeyNamesInEnumerationOrderAndEmptyWithoutSubKeys)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey + L"\\One", L"x", 1));
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey + L"\\Two\\Deeper", L"x", 1));
    CKSLWCharStringList names;
    CKSLRegistryKey key(HKEY_LOCAL_MACHINE, kKey.c_str());
    EXPECT_TRUE(key.getSubKeyNames(names));
    EXPECT_EQ((std::vector<std::wstring>{L"One", L"Two"}), toVector(names));
    EXPECT_FALSE(key.isOpen());

    CKSLRegistryKey leaf(HKEY_LOCAL_MACHINE, (kKey + L"\\One").c_str());
    EXPECT_TRUE(leaf.getSubKeyNames(names));
    EXPECT_EQ(0u, names.getCount());

    names.add(L"stale");
    CKSLRegistryKey missing(HKEY_LOCAL_MACHINE, kMissing.c_str()); // not found is no error
    EXPECT_TRUE(missing.getSubKeyNames(names));
    EXPECT_EQ(0u, names.getCount());
    EXPECT_TRUE(logLines().empty());
}

TEST_F(RegistryKeyTest, RefusedEnumerationIsLoggedAndFailsTheNameList)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey + L"\\Child", L"x", 1));
    // Querying the key is allowed, enumerating its subkeys is not.
    CKSLRegistryKey key(HKEY_LOCAL_MACHINE, kKey.c_str(), KEY_QUERY_VALUE);
    CKSLWCharStringList names;
    EXPECT_FALSE(key.getSubKeyNames(names));
    EXPECT_FALSE(key.isOpen());
    expectLogLines({L"<EXCEPTION_BAD> <test_registry> <CKSLRegistrykey::enumSubKeys> "
                    L"\"Unable to enumerate subkeys from key ( \"SOFTWARE\\RegistryTest\" )\" <Error: 0x00000005>"});
}

TEST_F(RegistryKeyTest, KeyWithoutNamedValuesFailsBothValueQueriesAndKeepsTheEntries)
{
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"", L"only the default value"));
    CKSLRegistryKey key(HKEY_LOCAL_MACHINE, kKey.c_str());
    CKSLWCharStringList names;
    names.add(L"stale");
    EXPECT_FALSE(key.enumValueNames(names));
    EXPECT_EQ(0u, names.getCount());

    CKSLRegValueEntryList entries;
    const BYTE bytes[] = {1, 2};
    entries.add(CKSLRegValueEntry(L"kept", bytes, sizeof bytes, REG_BINARY));
    EXPECT_FALSE(key.queryMultipleValues(entries));
    ASSERT_EQ(1u, entries.getCount());
    EXPECT_STREQ(L"kept", entries.getFirstNode()->getPayload().getValueName().getString());
    EXPECT_FALSE(key.isOpen());
    EXPECT_TRUE(logLines().empty());
}

TEST_F(RegistryKeyTest, QueryMultipleValuesGivesNameBytesAndTypeOfEveryNamedValue)
{
    const BYTE binary[] = {0xDE, 0xAD, 0xBE};
    const wchar_t multi[] = L"a\0bc\0"; // and the closing zero
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"Number", 0x01020304));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Text", L"hello"));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Path", L"%TEMP%\\x", REG_EXPAND_SZ));
    ASSERT_TRUE(setRegBinary(HKEY_LOCAL_MACHINE, kKey, L"Bytes", binary, sizeof binary));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"Multi", std::wstring(multi, 5), REG_MULTI_SZ));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, kKey, L"", L"default"));

    CKSLRegistryKey key(HKEY_LOCAL_MACHINE, kKey.c_str());
    CKSLWCharStringList names;
    ASSERT_TRUE(key.enumValueNames(names));
    EXPECT_EQ(5u, names.getCount());

    CKSLRegValueEntryList entries;
    ASSERT_TRUE(key.queryMultipleValues(entries));
    EXPECT_FALSE(key.isOpen());
    ASSERT_EQ(5u, entries.getCount());
    const DWORD number = 0x01020304;
    const std::vector<CKSLRegValueEntry> expected = {
        CKSLRegValueEntry(L"Number", reinterpret_cast<const BYTE*>(&number), 4, REG_DWORD),
        CKSLRegValueEntry(L"Text", reinterpret_cast<const BYTE*>(L"hello"), 12, REG_SZ),
        CKSLRegValueEntry(L"Path", reinterpret_cast<const BYTE*>(L"%TEMP%\\x"), 18, REG_EXPAND_SZ),
        CKSLRegValueEntry(L"Bytes", binary, sizeof binary, REG_BINARY),
        CKSLRegValueEntry(L"Multi", reinterpret_cast<const BYTE*>(multi), sizeof multi, REG_MULTI_SZ),
    };
    // Enumeration order is the registry's; match by name.
    for (const CKSLRegValueEntry& want : expected) {
        bool bFound = false;
        for (auto* pNode = entries.getFirstNode(); pNode != nullptr; pNode = pNode->getNext())
            bFound = bFound || pNode->getPayload() == want;
        EXPECT_TRUE(bFound) << want.getValueName().getString();
    }
    EXPECT_TRUE(logLines().empty());
}

// --- hives -----------------------------------------------------------------------------------

TEST_F(RegistryKeyTest, SaveAndRestoreWithoutFileNameLogTheBadArgument)
{
    CKSLRegistryKey key(HKEY_LOCAL_MACHINE, kKey.c_str(), KSL_KEY_WRITE_ACCESS, true);
    EXPECT_FALSE(key.saveKey(CKSLWCharString(), 0, true));
    EXPECT_FALSE(key.saveKey(L"", KSL_REG_TEXT_FORMAT, false));
    EXPECT_FALSE(key.restoreKey(CKSLWCharString(), 0));
    EXPECT_EQ(2u, logCount(L"\"A bad argument was provided ( szExportFileName ). filename must be non-null\""));
    EXPECT_EQ(1u, logCount(L"\"A bad argument was provided ( szImportFileName ). filename must be non-null\""));
    EXPECT_EQ(3u, logLines().size());
    EXPECT_FALSE(regKeyExists(HKEY_LOCAL_MACHINE, kKey)); // nothing was opened
}

TEST_F(RegistryKeyTest, SaveKeyWritesAHiveInPlaceOfAnOlderFile)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"v", 7));
    const std::wstring fresh = testScratchPath(L"fresh.hive");
    const std::wstring older = testScratchPath(L"older.hive");
    CKSLRegistryKey key(HKEY_LOCAL_MACHINE, kKey.c_str());
    ASSERT_TRUE(key.saveKey(fresh.c_str(), 0, false));
    EXPECT_FALSE(key.isOpen());
    ASSERT_TRUE(fileExists(fresh));

    const std::string junk(100000, 'j');
    {
        CKSLScopedFile file(CreateFileW(older.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD dwWritten = 0;
        ASSERT_TRUE(WriteFile(file.get(), junk.data(), static_cast<DWORD>(junk.size()), &dwWritten, nullptr));
    }
    EXPECT_TRUE(key.saveKey(older.c_str(), 0, true));
    EXPECT_EQ(readFileBytes(fresh).size(), readFileBytes(older).size());
    EXPECT_TRUE(logLines().empty());
    DeleteFileW(fresh.c_str());
    DeleteFileW(older.c_str());
}

TEST_F(RegistryKeyTest, RefusedSaveIsLoggedWithItsStatus)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"v", 7));
    const std::wstring path = testScratchPath(L"locked.hive");
    // Held open without sharing: it can be neither deleted nor written.
    CKSLScopedFile lock(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(lock.valid());
    CKSLRegistryKey key(HKEY_LOCAL_MACHINE, kKey.c_str());
    EXPECT_FALSE(key.saveKey(path.c_str(), 0, true));
    EXPECT_FALSE(key.isOpen());
    expectLogLines({L"<EXCEPTION_BAD> <test_registry> <CKSLRegistryKey::saveKey> "
                    L"\"Unable to save registry key ( \"SOFTWARE\\RegistryTest\" )\" <Error: 0x"});
    lock.reset();
    DeleteFileW(path.c_str());
}

TEST_F(RegistryKeyTest, SaveKeyOfMissingKeyWritesNothing)
{
    const std::wstring file = testScratchPath(L"missing.hive");
    CKSLRegistryKey key(HKEY_LOCAL_MACHINE, kMissing.c_str());
    EXPECT_FALSE(key.saveKey(file.c_str(), 0, true));
    EXPECT_FALSE(fileExists(file));
    EXPECT_TRUE(logLines().empty());
}

// RegRestoreKeyW restores nothing under Wine: what is checked here is the path up to the call
// and that its result is passed on.
TEST_F(RegistryKeyTest, RestoreKeyEnablesItsPrivilegeAndAnswersTheCallsResult)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, kKey, L"v", 7));
    const std::wstring file = testScratchPath(L"restore.hive");
    CKSLRegistryKey key(HKEY_LOCAL_MACHINE, kKey.c_str(), KSL_KEY_WRITE_ACCESS, true);
    ASSERT_TRUE(key.saveKey(file.c_str(), 0, true));
    EXPECT_TRUE(key.restoreKey(file.c_str(), 0));
    EXPECT_FALSE(key.isOpen());

    CKSLRegistryKey missing(HKEY_LOCAL_MACHINE, kMissing.c_str());
    EXPECT_FALSE(missing.restoreKey(file.c_str(), 0));
    EXPECT_TRUE(logLines().empty());
    DeleteFileW(file.c_str());
}
