// The registry text import against many mutated files (tests/helpers/regfile_fuzz.h): prints, per
// kind of fault, how many files were imported, how many answered false, and how many wrote
// outside the keys their sections name or wrote an entry they could not parse.
// Files that answered true or wrote what they should not are listed one by one.
// Usage: regfile_fuzz_bench [files] [seed]   (defaults: 1000 files, about 20 s; seed 1)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "../helpers/regfile_fuzz.h"
#include "scratch_registry.h"
#include "test_paths.h"

namespace {

struct Counts {
    int files = 0, answeredFalse = 0, outsideWrites = 0, keptChanged = 0;
};

void printRow(const wchar_t* name, const Counts& counts)
{
    std::printf("%-22ls %7d %9d %9d %9d\n", name, counts.files, counts.answeredFalse, counts.outsideWrites,
                counts.keptChanged);
}

} // namespace

int main(int argc, char** argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 1000;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 1u;
    ScratchRegistry scratch; // the library log stays off: thousands of refusals would fill it

    Counts byKind[regfile_fuzz::kKindCount];
    Counts total;
    regfile_fuzz::Generator generator(seed);
    const DWORD start = GetTickCount();
    for (int n = 0; n < files; ++n) {
        const regfile_fuzz::Mutated mutated = generator.next();
        const regfile_fuzz::Outcome outcome =
            regfile_fuzz::run(mutated, testScratchPath(L"fuzz" + std::to_wstring(n) + L".ini"));
        for (Counts* counts : {&byKind[mutated.kind], &total}) {
            ++counts->files;
            counts->answeredFalse += outcome.bAnswer ? 0 : 1;
            counts->outsideWrites += outcome.bOutsideWrite ? 1 : 0;
            counts->keptChanged += outcome.bKeptChanged ? 1 : 0;
        }
        if (outcome.bAnswer || outcome.bOutsideWrite || outcome.bKeptChanged)
            std::printf("file %d (%ls): answered %s\n%ls", n, regfile_fuzz::kindName(mutated.kind),
                        outcome.bAnswer ? "true" : "false", outcome.detail.c_str());
    }
    const double seconds = (GetTickCount() - start) / 1000.0;

    std::printf("registry text import, %d mutated files, seed %u\n", files, seed);
    std::printf("%-22s %7s %9s %9s %9s\n", "fault", "files", "false", "outside", "malformed");
    for (int kind = 0; kind < regfile_fuzz::kKindCount; ++kind)
        printRow(regfile_fuzz::kindName(kind), byKind[kind]);
    printRow(L"all", total);
    std::printf("%.1f s, %.1f ms per file\n", seconds, files != 0 ? 1e3 * seconds / files : 0.0);
    return 0; // figures, not a verdict: the fuzz test in the suite is the check
}
