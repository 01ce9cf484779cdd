// Comparing a punched program with the stored one at 2.5 million lines each,
// a few blocks apart: the lines as they stand in memory, and both files loaded
// from disk as the command line loads them.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "editor/buffer/CTextBuffer.h"
#include "editor/text/ProgramCompare.h"

namespace {

constexpr int kLines = 2'500'000;

std::string Line(int i) {
    char text[80];
    std::snprintf(text, sizeof text, "N%d G1 X%d.%03d Y%d.%03d F800", i * 10, i % 500, i % 997,
                  i % 300, i % 991);
    return text;
}

// The stored program (CR LF, comments) and the punched one (LF, '%' framing,
// no comments) with an edited, an inserted and a deleted block in each fifth.
struct Pair {
    std::string stored, punched;
};

const Pair& Programs() {
    static const Pair pair = [] {
        Pair p;
        p.punched = "%\n";
        for (int i = 0; i < kLines; ++i) {
            const std::string line = Line(i);
            p.stored += line;
            p.stored += i % 1000 == 0 ? " ;block\r\n" : "\r\n";
            const int block = i % (kLines / 5);
            if (block >= 1000 && block < 1004)
                p.punched += line + " Z-1.0\n"; // edited at the control
            else if (block >= 2000 && block < 2003)
                continue; // deleted
            else
                p.punched += line + "\n";
            if (block == 3000)
                p.punched += "M0\nM1\n"; // inserted
        }
        p.punched += "%\n";
        return p;
    }();
    return pair;
}

std::string WriteTemp(const std::string& bytes) {
    char path[] = "/tmp/compare-bench.XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
        std::abort();
    close(fd);
    return path;
}

void Check(benchmark::State& state, const CompareResult& r) {
    if (r.Differences() != 15)
        state.SkipWithError("the blocks were not all found");
}

void BM_CompareLines(benchmark::State& state) {
    const Pair& p = Programs();
    const std::string a = WriteTemp(p.stored), b = WriteTemp(p.punched);
    CTextBuffer ba, bb;
    if (!ba.LoadFromDisk(a) || !bb.LoadFromDisk(b))
        std::abort();
    unlink(a.c_str());
    unlink(b.c_str());
    const auto la = ProgramLines(ba), lb = ProgramLines(bb);
    for (auto _ : state) {
        const CompareResult r = ComparePrograms(la, lb, {});
        benchmark::DoNotOptimize(UnifiedDiff(r, la, lb, "a", "b"));
        Check(state, r);
    }
}
BENCHMARK(BM_CompareLines)->Unit(benchmark::kMillisecond);

void BM_LoadAndCompareFiles(benchmark::State& state) {
    const Pair& p = Programs();
    const std::string a = WriteTemp(p.stored), b = WriteTemp(p.punched);
    for (auto _ : state) {
        CTextBuffer ba, bb;
        if (!ba.LoadFromDisk(a) || !bb.LoadFromDisk(b))
            std::abort();
        const auto la = ProgramLines(ba), lb = ProgramLines(bb);
        const CompareResult r = ComparePrograms(la, lb, {});
        benchmark::DoNotOptimize(UnifiedDiff(r, la, lb, a, b));
        Check(state, r);
    }
    unlink(a.c_str());
    unlink(b.c_str());
}
BENCHMARK(BM_LoadAndCompareFiles)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
