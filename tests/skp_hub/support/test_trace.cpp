// The debug trace: configuration per call, line layout, limits and concurrent appends.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "plugin_loader.h"
#include "scratch_registry.h"
#include "sk_trace.h"
#include "test_paths.h"
#include "trace_config.h"

namespace {

using TraceTest = ScratchRegistryTest;

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "the file ends with a whole line";
    return out;
}

const std::regex kStamp("^(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                        "[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9] [0-9]{4} ");

TEST_F(TraceTest, WithoutConfigurationNothingIsWritten)
{
    const std::wstring dir = testScratchPath(L"off");
    SKTrace(SK_TRACE_HUB, L"RUN CMD = %s", L"x");
    // A key without the source's value is off too.
    ASSERT_TRUE(enableTrace(L"Safekeep", dir + L"\\s.log"));
    SKTrace(SK_TRACE_HUB, L"RUN CMD = %s", L"x");
    EXPECT_FALSE(fileExists(dir)) << "no folder and no file";
}

TEST_F(TraceTest, CreatesTheLastFolderLevelAndAppendsOneLinePerCall)
{
    const std::wstring dir = testScratchPath(L"newdir");
    const std::wstring path = dir + L"\\trace.log";
    ASSERT_TRUE(enableTrace(L"SKP_HUB", path));
    SKTrace(SK_TRACE_HUB, L"RUN CMD = %s", L"C:\\Program Files\\Tessil\\skp_gui.exe");
    SKTrace(SK_TRACE_HUB, L"Time High = %d", -7);
    const auto got = lines(readFileBytes(path));
    ASSERT_EQ(2u, got.size());
    EXPECT_TRUE(std::regex_search(got[0], kStamp)) << got[0];
    EXPECT_EQ("SKP_HUB: RUN CMD = C:\\Program Files\\Tessil\\skp_gui.exe", got[0].substr(25));
    EXPECT_EQ("SKP_HUB: Time High = -7", got[1].substr(25));
}

TEST_F(TraceTest, APathOf130CharactersCountsAsMissing)
{
    const std::wstring base = testScratchDir();
    auto pathOf = [&](size_t chars) {
        std::wstring p = base + L"p";
        p.append(chars - p.size() - 4, L'a');
        return p + L".log";
    };
    const std::wstring ok = pathOf(129), tooLong = pathOf(130);
    ASSERT_EQ(129u, ok.size());
    ASSERT_TRUE(enableTrace(L"SKP_HUB", ok));
    SKTrace(SK_TRACE_HUB, L"fits");
    EXPECT_TRUE(fileExists(ok));
    ASSERT_TRUE(enableTrace(L"SKP_HUB", tooLong));
    SKTrace(SK_TRACE_HUB, L"does not");
    EXPECT_FALSE(fileExists(tooLong));
}

TEST_F(TraceTest, ALongMessageIsCutSoTheLineFitsIn8192Characters)
{
    const std::wstring path = testScratchPath(L"long.log");
    ASSERT_TRUE(enableTrace(L"Safekeep", path));
    const std::wstring huge(20000, L'x');
    SKTrace(SK_TRACE_SAFEKEEP, L"%s", huge.c_str());
    const std::string text = readFileBytes(path);
    EXPECT_EQ(8192u, text.size());
    EXPECT_EQ("\r\n", text.substr(text.size() - 2));
    EXPECT_EQ(1u, lines(text).size());
}

TEST_F(TraceTest, CharactersTheCodePageCannotShowBecomeItsDefaultCharacter)
{
    const std::wstring path = testScratchPath(L"ansi.log");
    ASSERT_TRUE(enableTrace(L"Safekeep", path));
    SKTrace(SK_TRACE_SAFEKEEP, L"%s", L"caf\x00e9 \x4e2d");
    const auto got = lines(readFileBytes(path));
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(std::string("Safekeep: caf\xe9 ?"), got[0].substr(25));
}

TEST_F(TraceTest, TracingKeepsTheCallersLastError)
{
    ASSERT_TRUE(enableTrace(L"SKP_HUB", testScratchPath(L"err.log")));
    SetLastError(1234);
    SKTrace(SK_TRACE_HUB, L"x");
    EXPECT_EQ(1234u, GetLastError());
}

TEST_F(TraceTest, ConcurrentWritersNeverOverwriteEachOthersLines)
{
    const std::wstring path = testScratchPath(L"threads.log");
    ASSERT_TRUE(enableTrace(L"SKP_HUB", path));
    const int kThreads = 6, kLines = 60;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                SKTrace(SK_TRACE_HUB, L"thread %d line %d", t, i);
        });
    for (auto& th : threads)
        th.join();
    const auto got = lines(readFileBytes(path));
    ASSERT_EQ(static_cast<size_t>(kThreads * kLines), got.size());
    std::vector<int> next(kThreads, 0);
    const std::regex line("^.{24} SKP_HUB: thread ([0-9]+) line ([0-9]+)$");
    for (const auto& l : got) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(l, m, line)) << l;
        const int t = std::stoi(m[1]);
        EXPECT_EQ(next[t]++, std::stoi(m[2])) << "each thread's lines keep their order";
    }
}

} // namespace
