// An exported registry text file, mutated, imported into the scratch registry and judged against a
// strict reading of the mutated file (tests/helpers/regfile_fuzz.h): every import answers true and
// writes exactly what the file says, or answers false, logs why and writes nothing for the faulty
// lines (nothing at all for a file refused whole); a well-formed file never answers false. Here:
// the file cut at a spread of lengths and a few hundred random mutations from a fixed seed; the
// longer run (every length, any seed) is regfile_fuzz_bench.
#include <gtest/gtest.h>

#include <string>

#include "ini_test_support.h"
#include "regfile_fuzz.h"

namespace {

class RegistryFileFuzzTest : public RegistryFileTest {
protected:
    void SetUp() override
    {
        RegistryFileTest::SetUp();
        ASSERT_TRUE(regfile_fuzz::buildBaseTree());
        m_original = regfile_fuzz::readTrees();
        const std::wstring file = freshFile(L"base.ini");
        ASSERT_TRUE(regfile_fuzz::exportBase(file));
        m_base = readFileBytes(file);
        ASSERT_TRUE(deleteRegTree(HKEY_LOCAL_MACHINE, regfile_fuzz::kFuzzKey));
        ASSERT_TRUE(deleteRegTree(HKEY_CURRENT_USER, regfile_fuzz::kFuzzKey));
        m_before = regfile_fuzz::readTrees();
    }

    // Imports the bytes and checks the verdict; answers the verdict.
    regfile_fuzz::Verdict judge(const std::string& bytes, const std::wstring& what)
    {
        const regfile_fuzz::Outcome outcome = regfile_fuzz::run(bytes, freshFile(L"fuzz.ini"), m_before);
        EXPECT_NE(regfile_fuzz::kOther, outcome.verdict) << what << L":\n" << outcome.detail;
        return outcome.verdict;
    }

    std::string m_base;
    regfile_fuzz::Trees m_original, m_before;
};

} // namespace

TEST_F(RegistryFileFuzzTest, TheExportedFileImportsWholeAndGivesBackTheTree)
{
    EXPECT_EQ(regfile_fuzz::kTrueExact, judge(m_base, L"the exported file"));
    ASSERT_TRUE(restoreText([&] {
        const std::wstring file = freshFile(L"whole.ini");
        writeBytes(file, m_base);
        return file;
    }()));
    EXPECT_EQ(L"", regfile_fuzz::describe(m_original, regfile_fuzz::readTrees()));
    EXPECT_FALSE(logHas(L"EXCEPTION_BAD"));
}

TEST_F(RegistryFileFuzzTest, TheFileCutAtAnyLengthImportsWhatItSaysOrAnswersFalse)
{
    int verdicts[regfile_fuzz::kVerdictCount] = {};
    // Every length near the start, the end and each line end (where a cut most often leaves a
    // well-formed file), and every seventh length between.
    for (size_t length = 0; length <= m_base.size(); ++length) {
        const bool bNearLineEnd = m_base.compare(length, 4, std::string("\r\0\n\0", 4)) == 0 ||
                                  (length >= 4 && m_base.compare(length - 4, 4, std::string("\r\0\n\0", 4)) == 0);
        if (length > 8 && length + 8 < m_base.size() && !bNearLineEnd && length % 7 != 0)
            continue;
        ++verdicts[judge(regfile_fuzz::Generator::cutAt(m_base, length).bytes, L"cut at " + std::to_wstring(length))];
        ASSERT_FALSE(HasFailure()) << "stopped at length " << length;
    }
    EXPECT_GT(verdicts[regfile_fuzz::kTrueExact], 10); // cuts at line ends leave well-formed files
    EXPECT_GT(verdicts[regfile_fuzz::kAnsweredFalse], 100);
}

TEST_F(RegistryFileFuzzTest, RandomMutationsImportWhatTheFileSaysOrAnswerFalse)
{
    regfile_fuzz::Generator generator(20261208u, m_base);
    int verdicts[regfile_fuzz::kKindCount][regfile_fuzz::kVerdictCount] = {};
    for (int n = 0; n < 350; ++n) {
        const regfile_fuzz::Mutated mutated = generator.next();
        const std::string kind = regfile_fuzz::kindName(mutated.kind);
        ++verdicts[mutated.kind][judge(mutated.bytes, std::to_wstring(n) + L" (" + std::wstring(kind.begin(), kind.end()) + L")")];
        ASSERT_FALSE(HasFailure()) << "stopped after file " << n;
    }
    for (int kind = 0; kind < regfile_fuzz::kKindCount; ++kind) // every kind was tried, and refused at times
        EXPECT_GT(verdicts[kind][regfile_fuzz::kAnsweredFalse], 0) << regfile_fuzz::kindName(kind);
    EXPECT_GT(verdicts[regfile_fuzz::kDeleteLine][regfile_fuzz::kTrueExact], 0);
    EXPECT_GT(verdicts[regfile_fuzz::kMoveLine][regfile_fuzz::kTrueExact], 0);
}
