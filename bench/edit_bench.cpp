// Editing timings in the real widget (offscreen platform) on a big slicer
// program: Replace all of "G1 " by "G01 " through the Replace dialog's own
// code path, and typing 10 000 characters with undo recording, each key timed
// with the paint that shows it.
//
// SERMIDA_BENCH_FILE names the program (bench/fetch-data makes bunny.gcode);
// without it ~/.cache/sermida-bench/bunny.gcode is used.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "editor/buffer/CTextBuffer.h"
#include "editor/view/CEditView.h"
#include "editor/view/CReplaceDialog.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string BenchFile() {
    if (const char* env = std::getenv("SERMIDA_BENCH_FILE"); env && *env)
        return env;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.cache/sermida-bench/bunny.gcode";
}

// Messages would block in a modal box; they are only counted here.
class BenchView : public CEditView {
public:
    int messages = 0;
    void ShowMessage(const QString&, bool) override { ++messages; }
};

std::unique_ptr<BenchView> OpenView(CTextBuffer& buffer) {
    if (!buffer.LoadFromDisk(BenchFile())) {
        std::fprintf(stderr, "cannot load %s\n", BenchFile().c_str());
        std::exit(1);
    }
    auto view = std::make_unique<BenchView>();
    view->resize(1000, 800);
    view->BindBuffer(&buffer);
    view->show();
    view->viewport()->repaint();
    return view;
}

void BM_ReplaceAllG1(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        CTextBuffer buffer;
        auto view = OpenView(buffer);
        // A child of the view: it must go before the view does.
        auto owned = std::make_unique<CReplaceDialog>(view.get());
        CReplaceDialog& dlg = *owned;
        dlg.scope = 1;
        dlg.scopeSelectionEnabled = false;
        dlg.currentPos = TextPos{0, 0};
        dlg.findText = "G1 ";
        dlg.replaceText = "G01 ";
        dlg.matchCase = true;
        dlg.LoadControls();
        state.ResumeTiming();

        dlg.OnReplaceAll();
        QCoreApplication::processEvents(); // the repaint that follows

        state.PauseTiming();
        const int replaced = (buffer.UndoEntryCount() + 1) / 2;
        state.counters["lines"] = buffer.CountLines();
        state.counters["undo_entries"] = buffer.UndoEntryCount();
        state.counters["messages"] = view->messages;
        std::fprintf(stderr, "replace all: history %d entries (~%d replacements kept)\n",
                     buffer.UndoEntryCount(), replaced);
        owned.reset();
        view.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ReplaceAllG1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_Typing10000(benchmark::State& state) {
    CTextBuffer buffer;
    auto view = OpenView(buffer);
    const TextPos middle{buffer.CountLines() / 2, 0};
    view->PlaceCursor(middle);
    view->PlaceAnchor(middle);
    view->SelectRange(middle, middle);
    double worst = 0, total = 0;
    int typed = 0;
    for (auto _ : state) {
        for (int i = 0; i < 10000; ++i) {
            const char c = i % 7 == 6 ? ' ' : char('A' + i % 26);
            QKeyEvent press(QEvent::KeyPress, Qt::Key_A + (c == ' ' ? 0 : c - 'A'), Qt::NoModifier,
                            QString(QChar(c)));
            const auto t0 = Clock::now();
            QCoreApplication::sendEvent(view.get(), &press);
            view->viewport()->repaint(); // the key is done when the user sees it
            const double s = std::chrono::duration<double>(Clock::now() - t0).count();
            worst = std::max(worst, s);
            total += s;
            ++typed;
        }
        QCoreApplication::processEvents();
    }
    state.counters["mean_us"] = total / typed * 1e6;
    state.counters["worst_us"] = worst * 1e6;
    state.counters["undo_entries"] = buffer.UndoEntryCount();
}
BENCHMARK(BM_Typing10000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
