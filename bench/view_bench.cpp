// Timings of the text view in the real widget (offscreen platform) on a big
// slicer program: open to first paint, Ctrl+End (every line's colouring state
// computed), a character typed and a line broken in the middle of the text
// (real key events through the editing view, with undo recording), and paging.
//
// SERMIDA_BENCH_FILE names the big file; without it a G-code-like file of
// 2.5 million lines is made once in /tmp.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <QApplication>
#include <QKeyEvent>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "ProgramBenchView.h"
#include "editor/buffer/CTextBuffer.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return SecondsSince(since);
}

std::string BenchFile() {
    if (const char* env = std::getenv("SERMIDA_BENCH_FILE"); env && *env)
        return env;
    const std::string path = "/tmp/sermida-view-bench.gcode";
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && st.st_size > 0)
        return path;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        std::abort();
    uint64_t s = 12345;
    for (int i = 0; i < 2500000; ++i) {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        const unsigned r = unsigned(s >> 33);
        if (i % 1000 == 0)
            std::fprintf(f, ";LAYER:%d\n", i / 1000);
        else
            std::fprintf(f, "G1 X%u.%03u Y%u.%03u E%u.%05u\n", r % 200, r % 1000, (r >> 8) % 200,
                         (r >> 4) % 1000, r % 5, r % 100000);
    }
    std::fclose(f);
    return path;
}

// The document shared by all benchmarks: loading 96 MB is not what they time.
CTextBuffer& Document() {
    static CTextBuffer* buffer = [] {
        auto* b = new CTextBuffer;
        const auto start = Clock::now();
        if (!b->LoadFromDisk(BenchFile()))
            std::abort();
        std::fprintf(stderr, "loaded %d lines in %.3f s\n", b->CountLines(), Seconds(start));
        return b;
    }();
    return *buffer;
}

std::unique_ptr<ProgramView> OpenView() {
    auto view = std::make_unique<ProgramView>();
    view->resize(1000, 800);
    view->BindBuffer(&Document());
    view->show();
    view->viewport()->repaint();
    return view;
}

// Peak resident memory of the process so far, in MiB.
double PeakRssMiB() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr)
        return 0;
    char line[256];
    long kib = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1)
            break;
    std::fclose(f);
    return double(kib) / 1024;
}

void BM_OpenToFirstPaint(benchmark::State& state) {
    Document();
    state.counters["rss_after_load_mib"] = PeakRssMiB();
    for (auto _ : state) {
        const auto start = Clock::now();
        auto view = OpenView();
        state.SetIterationTime(Seconds(start));
    }
    state.counters["peak_rss_mib"] = PeakRssMiB();
}
BENCHMARK(BM_OpenToFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CtrlEndThenPaint(benchmark::State& state) {
    for (auto _ : state) {
        auto view = OpenView(); // no colouring state known past the first page
        const auto start = Clock::now();
        Press(view.get(), Qt::Key_End, Qt::ControlModifier);
        Paint(*view);
        state.SetIterationTime(Seconds(start));
        if (view->KnownCookieLines() < view->LineCount() - 1)
            state.SkipWithError("the colouring state of the last line was not computed");
    }
}
BENCHMARK(BM_CtrlEndThenPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// A view at line 1 250 000 with every line's colouring state already known,
// as after a look at the end.
std::unique_ptr<ProgramView> ViewAtMiddle(int& line) {
    auto view = OpenView();
    line = std::min(1250000, Document().CountLines() / 2);
    Press(view.get(), Qt::Key_End, Qt::ControlModifier);
    Paint(*view);
    view->PlaceCursor({line, 0});
    view->PlaceAnchor({line, 0});
    view->SelectRange({line, 0}, {line, 0});
    view->ScrollIntoView({line, 0});
    Paint(*view);
    return view;
}

// Times each key with the paint that shows it; then Ctrl+End, which must not
// rescan the rest, and undo of everything typed.
template <typename Key> void TimeKeysMidDocument(benchmark::State& state, Key key) {
    int line = 0;
    auto view = ViewAtMiddle(line);
    const int before = Document().CountLines();
    for (auto _ : state) {
        const auto start = Clock::now();
        key(view.get());
        Paint(*view);
        state.SetIterationTime(Seconds(start));
    }
    const auto start = Clock::now();
    Press(view.get(), Qt::Key_End, Qt::ControlModifier);
    Paint(*view);
    state.counters["ctrl_end_after_ms"] = Seconds(start) * 1000;
    state.counters["lines_added"] = Document().CountLines() - before;
    TextPos cursor;
    while (Document().HasUndo())
        Document().UndoLast(cursor);
    if (Document().CountLines() != before)
        state.SkipWithError("undo did not restore the document");
}

void BM_TypeMidDocumentThenPaint(benchmark::State& state) {
    TimeKeysMidDocument(state, [](QWidget* w) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("X"));
        QApplication::sendEvent(w, &press);
    });
}
BENCHMARK(BM_TypeMidDocumentThenPaint)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(200);

void BM_EnterMidDocumentThenPaint(benchmark::State& state) {
    TimeKeysMidDocument(state, [](QWidget* w) { Press(w, Qt::Key_Return); });
}
BENCHMARK(BM_EnterMidDocumentThenPaint)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(200);

void BM_PageDownThenPaint(benchmark::State& state) {
    auto view = OpenView();
    for (auto _ : state) {
        const auto start = Clock::now();
        Press(view.get(), Qt::Key_PageDown);
        Paint(*view);
        state.SetIterationTime(Seconds(start));
    }
    state.counters["top_line"] = view->TopLine();
}
BENCHMARK(BM_PageDownThenPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1000);

} // namespace

int main(int argc, char** argv) {
    return RunViewBenchmarks(argc, argv);
}
