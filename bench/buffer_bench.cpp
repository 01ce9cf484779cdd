// Timings of the text buffer on programs far larger than a controller holds:
// loading and saving a big file, and the edits a user makes in the middle of a
// million-line program, with undo recorded as the editor records it.
//
// SERMIDA_BENCH_FILE names the big file; without it a G-code-like file of about
// 20 MB is made once in /tmp.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "editor/buffer/CTextBuffer.h"

namespace {

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

// A small linear congruential generator: the same file on every machine.
struct Lcg {
    uint64_t state = 0x5e4d1da;
    uint32_t Next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 33);
    }
    double Coord(double range) { return double(Next() % 1000000) / 1000000.0 * range; }
};

// Slicer-like G-code: layer changes, comments and mostly extrusion moves.
// Written under a temporary name and renamed, so that an interrupted run never
// leaves a short file to be reused.
std::string MakeSyntheticFile(const std::string& path, long lineCount, const char* lineEnd) {
    if (FileExists(path))
        return path;
    const std::string temp = path + ".part" + std::to_string(::getpid());
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f)
        throw std::runtime_error("cannot create " + temp);
    Lcg rng;
    double e = 0;
    int layer = 0;
    char line[128];
    for (long i = 0; i < lineCount; ++i) {
        if (i % 5000 == 0) {
            std::snprintf(line, sizeof line, ";LAYER_CHANGE%s;Z:%.2f%s", lineEnd,
                          0.2 + layer * 0.05, lineEnd);
            ++layer;
            std::fputs(line, f);
            std::snprintf(line, sizeof line, "G1 Z%.3f F7800", 0.2 + layer * 0.05);
        } else if (i % 97 == 0) {
            std::snprintf(line, sizeof line, "G1 X%.3f Y%.3f F10800 ; travel", rng.Coord(200),
                          rng.Coord(200));
        } else if (i % 251 == 0) {
            std::snprintf(line, sizeof line, ";TYPE:%s",
                          (i / 251) % 2 ? "Perimeter" : "Solid infill");
        } else {
            e += rng.Coord(0.05);
            std::snprintf(line, sizeof line, "G1 X%.3f Y%.3f E%.5f", rng.Coord(200), rng.Coord(200),
                          e);
        }
        std::fputs(line, f);
        if (i + 1 < lineCount)
            std::fputs(lineEnd, f);
    }
    if (std::fclose(f) != 0 || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        throw std::runtime_error("cannot write " + path);
    }
    return path;
}

const std::string& BigFile() {
    static const std::string path = [] {
        if (const char* env = std::getenv("SERMIDA_BENCH_FILE"); env && *env)
            return std::string(env);
        // About 660 000 lines of some 30 bytes.
        return MakeSyntheticFile("/tmp/sermida-bench-synthetic-20mb.gcode", 660000, "\n");
    }();
    return path;
}

constexpr int kMillionLines = 1000000;
constexpr int kMiddle = kMillionLines / 2;

// The editor's own style (CR LF), so edits below see what a loaded program is.
const std::string& MillionLineFile() {
    static const std::string path =
        MakeSyntheticFile("/tmp/sermida-bench-1m-crlf.gcode", kMillionLines, "\r\n");
    return path;
}

void LoadOrSkip(benchmark::State& state, CTextBuffer& buf, const std::string& path) {
    FileError error;
    if (!buf.LoadFromDisk(path, LINE_END_DETECT, &error))
        state.SkipWithError(("cannot load " + path + ": " + error.Describe()).c_str());
}

long long TextBytes(const CTextBuffer& buf) {
    long long bytes = 0;
    for (int i = 0, n = buf.CountLines(); i < n; ++i)
        bytes += buf.LineSize(i);
    return bytes + (buf.CountLines() - 1) * LineBreakBytes(buf.GetLineEndMode()).size();
}

// --- Whole files ---------------------------------------------------------

// Reloading into the same buffer also releases the previous text each time.
void BM_LoadFromDisk(benchmark::State& state) {
    const std::string& path = BigFile();
    CTextBuffer buf;
    for (auto _ : state) {
        FileError error;
        if (!buf.LoadFromDisk(path, LINE_END_DETECT, &error)) {
            state.SkipWithError(("cannot load " + path + ": " + error.Describe()).c_str());
            break;
        }
        benchmark::DoNotOptimize(buf.CountLines());
    }
    state.counters["lines"] = buf.CountLines();
    state.SetBytesProcessed(state.iterations() * TextBytes(buf));
}
BENCHMARK(BM_LoadFromDisk)->Unit(benchmark::kMillisecond)->Iterations(10);

// Includes the fsync and rename that every real save does.
void BM_SaveToDisk(benchmark::State& state) {
    CTextBuffer buf;
    LoadOrSkip(state, buf, BigFile());
    const std::string out = "/tmp/sermida-bench-save-" + std::to_string(::getpid()) + ".gcode";
    for (auto _ : state) {
        FileError error;
        if (!buf.SaveToDisk(out, LINE_END_DETECT, false, &error)) {
            state.SkipWithError(("cannot save " + out + ": " + error.Describe()).c_str());
            break;
        }
    }
    std::remove(out.c_str());
    state.counters["lines"] = buf.CountLines();
    state.SetBytesProcessed(state.iterations() * TextBytes(buf));
}
BENCHMARK(BM_SaveToDisk)->Unit(benchmark::kMillisecond)->Iterations(5);

// --- Edits in the middle of a million lines -----------------------------

// One keystroke per iteration, each its own undo group. The cursor moves right
// along a line and goes on to the next one after 64 characters, so no line
// grows without bound.
void BM_TypeCharMiddle(benchmark::State& state) {
    CTextBuffer buf;
    LoadOrSkip(state, buf, MillionLineFile());
    static constexpr char kKeys[] = "G1 X12.5 Y-3.25 F300 ";
    long i = 0;
    for (auto _ : state) {
        const int line = kMiddle + int((i / 64) % 400000);
        const int byte = int(i % 64);
        int el = 0, eb = 0;
        if (!buf.InsertAt(nullptr, line, byte, std::string_view(&kKeys[i % 21], 1), el, eb,
                          ACTION_TYPING)) {
            state.SkipWithError("InsertAt refused a keystroke");
            break;
        }
        ++i;
    }
    state.counters["undo_entries"] = buf.UndoEntryCount();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TypeCharMiddle)->Unit(benchmark::kMicrosecond)->Iterations(200000);

// Enter in the middle: every iteration adds a line before half the array.
void BM_InsertLineBreakMiddle(benchmark::State& state) {
    CTextBuffer buf;
    LoadOrSkip(state, buf, MillionLineFile());
    for (auto _ : state) {
        int el = 0, eb = 0;
        if (!buf.InsertAt(nullptr, kMiddle, 5, "\r\n", el, eb, ACTION_TYPING)) {
            state.SkipWithError("InsertAt refused a line break");
            break;
        }
    }
    state.counters["lines"] = buf.CountLines();
}
BENCHMARK(BM_InsertLineBreakMiddle)->Unit(benchmark::kMicrosecond)->Iterations(500);

// Backspace within a line; moves to the next line before one runs empty.
void BM_EraseCharMiddle(benchmark::State& state) {
    CTextBuffer buf;
    LoadOrSkip(state, buf, MillionLineFile());
    int line = kMiddle;
    for (auto _ : state) {
        while (buf.LineSize(line) < 2)
            ++line;
        if (!buf.EraseRange(nullptr, line, 0, line, 1, ACTION_BACKSPACE)) {
            state.SkipWithError("EraseRange refused a character");
            break;
        }
    }
    state.counters["undo_entries"] = buf.UndoEntryCount();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EraseCharMiddle)->Unit(benchmark::kMicrosecond)->Iterations(200000);

// Delete at the end of a line: joins it with the next, closing up the array.
void BM_EraseLineBreakMiddle(benchmark::State& state) {
    CTextBuffer buf;
    LoadOrSkip(state, buf, MillionLineFile());
    for (auto _ : state) {
        const int len = buf.LineSize(kMiddle);
        if (!buf.EraseRange(nullptr, kMiddle, len, kMiddle + 1, 0, ACTION_DELETE)) {
            state.SkipWithError("EraseRange refused a line break");
            break;
        }
    }
    state.counters["lines"] = buf.CountLines();
}
BENCHMARK(BM_EraseLineBreakMiddle)->Unit(benchmark::kMicrosecond)->Iterations(500);

// A selection of 1000 whole lines deleted; the erased text goes into the undo
// history.
void BM_EraseBlock1000Lines(benchmark::State& state) {
    CTextBuffer buf;
    LoadOrSkip(state, buf, MillionLineFile());
    for (auto _ : state) {
        if (!buf.EraseRange(nullptr, kMiddle - 500, 0, kMiddle + 500, 0, ACTION_DELSEL)) {
            state.SkipWithError("EraseRange refused a block");
            break;
        }
    }
    state.counters["lines"] = buf.CountLines();
}
BENCHMARK(BM_EraseBlock1000Lines)->Unit(benchmark::kMicrosecond)->Iterations(100);

// Undoing and redoing the whole history of `groups` edits of one kind; one
// iteration undoes all of them and redoes all of them.
enum HistoryKind { kTypedChars, kLineBreaks, kErasedBlocks };

void FillHistory(benchmark::State& state, CTextBuffer& buf, HistoryKind kind, int groups) {
    for (int i = 0; i < groups; ++i) {
        int el = 0, eb = 0;
        bool ok = false;
        switch (kind) {
        case kTypedChars:
            ok = buf.InsertAt(nullptr, kMiddle, i, "X", el, eb, ACTION_TYPING);
            break;
        case kLineBreaks:
            ok = buf.InsertAt(nullptr, kMiddle, 3, "\r\n", el, eb, ACTION_TYPING);
            break;
        case kErasedBlocks:
            ok = buf.EraseRange(nullptr, kMiddle, 0, kMiddle + 100, 0, ACTION_DELSEL);
            break;
        }
        if (!ok) {
            state.SkipWithError("an edit was refused while filling the history");
            return;
        }
    }
}

void BM_UndoRedo(benchmark::State& state, HistoryKind kind, int groups) {
    CTextBuffer buf;
    LoadOrSkip(state, buf, MillionLineFile());
    FillHistory(state, buf, kind, groups);
    for (auto _ : state) {
        TextPos cursor;
        while (buf.UndoLast(cursor)) {
        }
        while (buf.RedoNext(cursor)) {
        }
        benchmark::DoNotOptimize(cursor);
    }
    if (buf.UndoPosition() != groups || buf.CountLines() <= 0)
        state.SkipWithError("the history did not come back to where it was");
    state.counters["groups"] = groups;
    state.SetItemsProcessed(state.iterations() * 2 * groups);
}
BENCHMARK_CAPTURE(BM_UndoRedo, typed_chars_1000, kTypedChars, 1000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK_CAPTURE(BM_UndoRedo, line_breaks_100, kLineBreaks, 100)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(BM_UndoRedo, erased_100_line_blocks_100, kErasedBlocks, 100)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    try {
        benchmark::AddCustomContext("big_file", BigFile());
        benchmark::AddCustomContext("million_line_file", MillionLineFile());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "buffer_bench: %s\n", e.what());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
