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
#include "editor/view/EditCommands.h"

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

// Bytes "G01 " in the text: the replacements made.
long CountReplaced(const CTextBuffer& buffer) {
    long n = 0;
    for (int i = 0; i < buffer.CountLines(); ++i) {
        const std::string_view line = buffer.LineView(i);
        for (size_t at = line.find("G01 "); at != std::string_view::npos;
             at = line.find("G01 ", at + 1))
            ++n;
    }
    return n;
}

struct ReplaceSetup {
    CTextBuffer buffer;
    std::unique_ptr<BenchView> view;
    std::unique_ptr<CReplaceDialog> dialog; // a child of the view: it goes first

    explicit ReplaceSetup(bool matchCase) {
        view = OpenView(buffer);
        dialog = std::make_unique<CReplaceDialog>(view.get());
        dialog->scope = 1;
        dialog->scopeSelectionEnabled = false;
        dialog->currentPos = TextPos{0, 0};
        dialog->findText = "G1 ";
        dialog->replaceText = "G01 ";
        dialog->matchCase = matchCase;
        dialog->LoadControls();
    }
    ~ReplaceSetup() {
        dialog.reset();
        view.reset();
    }
};

// state.range(0): match case (1) or not (0).
void BM_ReplaceAllG1(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto setup = std::make_unique<ReplaceSetup>(state.range(0) != 0);
        state.ResumeTiming();

        setup->dialog->OnReplaceAll();
        QCoreApplication::processEvents(); // the repaint that follows

        state.PauseTiming();
        state.counters["lines"] = setup->buffer.CountLines();
        state.counters["replaced"] = double(CountReplaced(setup->buffer));
        state.counters["messages"] = setup->view->messages;
        setup.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ReplaceAllG1)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// One Ctrl+Z and one Ctrl+Y of that replace all, each with its repaint.
void BM_ReplaceAllUndoRedo(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto setup = std::make_unique<ReplaceSetup>(true);
        setup->dialog->OnReplaceAll();
        QCoreApplication::processEvents();
        state.ResumeTiming();

        setup->view->ExecuteCommand(ID_EDIT_UNDO);
        QCoreApplication::processEvents();
        const bool undone = !setup->buffer.HasUndo();
        setup->view->ExecuteCommand(ID_EDIT_REDO);
        QCoreApplication::processEvents();

        state.PauseTiming();
        state.counters["undone_in_one_step"] = undone ? 1 : 0;
        state.counters["replaced_after_redo"] = double(CountReplaced(setup->buffer));
        setup.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ReplaceAllUndoRedo)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

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
