// The registry text import against an exported file cut at every length and mutated at random
// (tests/helpers/regfile_fuzz.h). Prints, per kind of mutation: files imported, answered false
// (with a log record, nothing written for the faulty lines), answered true with exactly the tree
// the file says, and any other outcome, which must be 0; each of those is listed with what went
// wrong. The library log goes to a scratch file, so that every false answer can be seen to log.
// Usage: regfile_fuzz_bench [random files] [seed]   (defaults: 2000 files, seed 1)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ksl_log_settings.h"
#include "regfile_fuzz.h"
#include "scratch_registry.h"
#include "test_paths.h"

namespace {

struct Counts {
    int files = 0, skipped = 0;
    int verdicts[regfile_fuzz::kVerdictCount] = {};
};

void printRow(const char* name, const Counts& counts)
{
    std::printf("%-18s %7d %9d %11d %7d\n", name, counts.files, counts.verdicts[regfile_fuzz::kAnsweredFalse],
                counts.verdicts[regfile_fuzz::kTrueExact], counts.verdicts[regfile_fuzz::kOther]);
}

} // namespace

int main(int argc, char** argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 2000;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 1u;
    ScratchRegistry scratch;
    const std::wstring log = testScratchPath(L"regfile_fuzz.log");
    setRegDword(HKEY_LOCAL_MACHINE, CKSLLogSettings::s_wcsKeyPath, L"Logging", 1);
    setRegString(HKEY_LOCAL_MACHINE, CKSLLogSettings::s_wcsKeyPath, L"TextOutput", log);

    const std::wstring baseFile = testScratchPath(L"base.ini");
    if (!regfile_fuzz::buildBaseTree() || !regfile_fuzz::exportBase(baseFile)) {
        std::printf("the base tree could not be exported\n");
        return 1;
    }
    const std::string base = readFileBytes(baseFile);
    deleteRegTree(HKEY_LOCAL_MACHINE, regfile_fuzz::kFuzzKey);
    deleteRegTree(HKEY_CURRENT_USER, regfile_fuzz::kFuzzKey);
    const regfile_fuzz::Trees before = regfile_fuzz::readTrees();

    Counts byKind[regfile_fuzz::kKindCount];
    Counts total;
    const auto account = [&](const regfile_fuzz::Mutated& mutated, const std::string& what) {
        const regfile_fuzz::Outcome outcome = regfile_fuzz::run(mutated.bytes, testScratchPath(L"fuzz.ini"), before);
        for (Counts* counts : {&byKind[mutated.kind], &total}) {
            ++counts->files;
            counts->skipped += outcome.bSkipped ? 1 : 0;
            counts->verdicts[outcome.verdict] += outcome.bSkipped ? 0 : 1;
        }
        if (!outcome.bSkipped && outcome.verdict == regfile_fuzz::kOther)
            std::printf("%s (%s):\n%ls", what.c_str(), regfile_fuzz::kindName(mutated.kind), outcome.detail.c_str());
    };

    const DWORD start = GetTickCount();
    for (size_t length = 0; length <= base.size(); ++length)
        account(regfile_fuzz::Generator::cutAt(base, length), "cut at " + std::to_string(length));
    regfile_fuzz::Generator generator(seed, base);
    for (int n = 0; n < files; ++n)
        account(generator.next(), "file " + std::to_string(n));
    const double seconds = (GetTickCount() - start) / 1000.0;

    std::printf("registry text import: a %u-byte exported file cut at every length, %d mutated files, seed %u\n",
                static_cast<unsigned>(base.size()), files, seed);
    std::printf("%-18s %7s %9s %11s %7s\n", "mutation", "files", "false", "true, exact", "other");
    for (int kind = 0; kind < regfile_fuzz::kKindCount; ++kind)
        printRow(regfile_fuzz::kindName(kind), byKind[kind]);
    printRow("all", total);
    if (total.skipped != 0)
        std::printf("%d files named a root outside the scratch registry and were not imported\n", total.skipped);
    std::printf("%.1f s, %.1f ms per file\n", seconds, total.files != 0 ? 1e3 * seconds / total.files : 0.0);
    DeleteFileW(log.c_str());
    DeleteFileW(baseFile.c_str());
    return total.verdicts[regfile_fuzz::kOther] == 0 ? 0 : 1;
}
