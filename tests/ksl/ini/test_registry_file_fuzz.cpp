// Mutated registry text files imported into the scratch registry, from a fixed seed: no crash,
// nothing written outside the keys the file's sections name, no malformed entry written, and
// every malformed file answered false. The longer run with any seed is regfile_fuzz_bench.
#include <gtest/gtest.h>

#include <string>

#include "../../helpers/regfile_fuzz.h"
#include "ini_test_support.h"

namespace {

using RegistryFileFuzzTest = RegistryFileTest;

DWORD registryType(const std::wstring& prefix)
{
    if (prefix == L"REG_DWORD")
        return REG_DWORD;
    if (prefix == L"REG_SZ")
        return REG_SZ;
    if (prefix == L"REG_SZ_EXPAND")
        return REG_EXPAND_SZ;
    return prefix == L"REG_SZ_MULTI" ? REG_MULTI_SZ : REG_BINARY;
}

} // namespace

TEST_F(RegistryFileFuzzTest, TheValidBaseFileImportsWhole)
{
    regfile_fuzz::Mutated base;
    base.text = regfile_fuzz::render(regfile_fuzz::baseFile());
    const regfile_fuzz::Outcome outcome = regfile_fuzz::run(base, freshFile(L"base.ini"));
    EXPECT_TRUE(outcome.bAnswer);
    EXPECT_FALSE(outcome.bOutsideWrite) << outcome.detail;
    for (const regfile_fuzz::Section& section : regfile_fuzz::baseFile()) {
        HKEY hRoot = nullptr;
        std::wstring path;
        regfile_fuzz::sectionKey(section.name, hRoot, path);
        const registry_tree::Tree tree = registry_tree::treeOf(hRoot, path);
        ASSERT_EQ(1u, tree.count(path)) << path;
        for (const regfile_fuzz::Entry& entry : section.entries) { // every "keep" was overwritten
            ASSERT_EQ(1u, tree.at(path).count(entry.name)) << entry.name;
            EXPECT_EQ(registryType(entry.type), tree.at(path).at(entry.name).first) << entry.name;
        }
    }
    EXPECT_FALSE(logHas(L"EXCEPTION_BAD"));
}

TEST_F(RegistryFileFuzzTest, MutatedFilesAnswerFalseAndWriteNothingTheyCouldNotParseOrThatNoSectionNames)
{
    regfile_fuzz::Generator generator(20261208u);
    for (int n = 0; n < 300; ++n) {
        const regfile_fuzz::Mutated mutated = generator.next();
        const regfile_fuzz::Outcome outcome =
            regfile_fuzz::run(mutated, freshFile((L"fuzz" + std::to_wstring(n) + L".ini").c_str()));
        const std::wstring what = std::to_wstring(n) + L" (" + regfile_fuzz::kindName(mutated.kind) + L"):\n" +
                                  outcome.detail + mutated.text.substr(0, 2000);
        EXPECT_FALSE(outcome.bOutsideWrite) << what;
        EXPECT_FALSE(outcome.bKeptChanged) << what;
        EXPECT_FALSE(outcome.bAnswer) << what;
        ASSERT_FALSE(HasFailure()) << "stopped after file " << n;
    }
    EXPECT_TRUE(logHas(L"Unable to import entry"));
}
