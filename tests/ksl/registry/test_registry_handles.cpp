// No registry handle outlives an operation (except open and enumSubKeys, until close): many keys
// and values opened, read, written and closed in a loop leave the process's handle count flat.
#include <gtest/gtest.h>

#include <string>

#include "handle_count.h"
#include "ksl_registry_binary.h"
#include "ksl_registry_dword.h"
#include "ksl_registry_expand.h"
#include "ksl_registry_key.h"
#include "ksl_registry_multi_string.h"
#include "registry_test_support.h"

namespace {

using RegistryHandleTest = RegistryTest;

const std::wstring kKey = std::wstring(kTestKey) + L"\\Handles";

// One round of every operation, on keys and values that exist and on some that do not.
void exerciseRegistry(unsigned nRound)
{
    const std::wstring sub = kKey + L"\\Sub" + std::to_wstring(nRound % 3);
    CKSLRegistryKey key(HKEY_LOCAL_MACHINE, kKey.c_str(), KSL_KEY_WRITE_ACCESS, true);
    key.open();
    key.close();
    key.exists();
    CKSLRegistryKey(HKEY_LOCAL_MACHINE, sub.c_str(), KSL_KEY_WRITE_ACCESS, true).create();
    CKSLRegistryKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\NotThere").open();

    CKSLRegistryKey child(HKEY_LOCAL_MACHINE, L"");
    key.enumSubKeys(child, 0); // leaves the parent open until the next operation
    CKSLWCharStringList names;
    key.getSubKeyNames(names);
    key.enumValueNames(names);
    CKSLRegValueEntryList entries;
    key.queryMultipleValues(entries);
    unsigned long ulLength = 0;
    key.getMaxValueLength(ulLength);

    CKSLRegistryValue text(HKEY_LOCAL_MACHINE, kKey.c_str(), L"Text", KSL_KEY_WRITE_ACCESS, true);
    CKSLWCharString szText;
    text.setValue(L"round", false);
    text.getValue(szText, false);
    CKSLRegistryStringExpand expand(HKEY_LOCAL_MACHINE, kKey.c_str(), L"Path", KSL_KEY_WRITE_ACCESS, true);
    expand.setValue(L"%TEMP%", false);
    expand.getValue(szText, false, true);
    expand.setValue(L"no variable", false); // refused
    CKSLRegistryDword number(HKEY_LOCAL_MACHINE, kKey.c_str(), L"Number", KSL_KEY_WRITE_ACCESS, true);
    unsigned long ulNumber = 0;
    number.setValue(nRound, false);
    number.getValue(ulNumber, false);
    CKSLRegistryMultiString multi(HKEY_LOCAL_MACHINE, kKey.c_str(), L"Multi", KSL_KEY_WRITE_ACCESS, true);
    multi.readRegistry();
    CKSLRegistryBinary binary(HKEY_LOCAL_MACHINE, kKey.c_str(), L"Binary", KSL_KEY_WRITE_ACCESS, true);
    binary.readRegistry();
    CKSLRegistryDword missing(HKEY_LOCAL_MACHINE, L"SOFTWARE\\NotThere", L"Number");
    missing.getValue(ulNumber, false);
    CKSLRegistryValue::ValueList values;
    text.readKeyValues(values);
}

} // namespace

TEST_F(RegistryHandleTest, HandleCountIsMeasurable)
{
    // A deliberate leak must show, or the flat count below would prove nothing.
    const DWORD dwBefore = openHandleCount();
    HKEY hKeys[20] = {};
    for (HKEY& hKey : hKeys)
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                                                 &hKey, nullptr));
    EXPECT_GE(openHandleCount(), dwBefore + 20);
    for (HKEY hKey : hKeys)
        RegCloseKey(hKey);
    EXPECT_EQ(dwBefore, openHandleCount());
}

TEST_F(RegistryHandleTest, ManyKeyAndValueOperationsLeaveTheHandleCountFlat)
{
    exerciseRegistry(0); // first use may load what Windows keeps for the process
    const DWORD dwBefore = openHandleCount();
    for (unsigned nRound = 1; nRound <= 200; ++nRound)
        exerciseRegistry(nRound);
    EXPECT_EQ(dwBefore, openHandleCount());
}
