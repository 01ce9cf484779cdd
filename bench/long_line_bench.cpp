// The text view on one very long line, as a file with another system's line
// ends (CR only, or LF only) shows: every step an operator takes there — a
// repaint, a key typed at the end, End, a page to the right, a click — with
// the paint that shows it. The line is G-code with Chinese comments; its size
// in KiB is the argument. Run it for GBK and for UTF-8 display.
#include <benchmark/benchmark.h>

#include <QMouseEvent>
#include <memory>
#include <string>

#include "ProgramBenchView.h"
#include "editor/buffer/CTextBuffer.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string LongLine(size_t bytes, TextEncoding encoding) {
    const std::string comment = encoding == TextEncoding::Gbk
                                    ? "\xB4\xD6\xBC\xD3\xB9\xA4"              // 粗加工
                                    : "\xE7\xB2\x97\xE5\x8A\xA0\xE5\xB7\xA5"; // 粗加工
    std::string line;
    for (int n = 0; line.size() < bytes; ++n)
        line += "N" + std::to_string(n) + " G1 X10.5 Y-3.25 (" + comment + ") ";
    line.resize(bytes);
    return line;
}

struct LongLineView {
    CTextBuffer buffer;
    std::unique_ptr<ProgramView> view;

    LongLineView(benchmark::State& state, TextEncoding encoding) {
        buffer.CreateEmpty();
        int el = 0, eb = 0;
        buffer.RawInsert(nullptr, 0, 0, LongLine(size_t(state.range(0)) * 1024, encoding), el, eb);
        buffer.SetEncoding(encoding);
        view = std::make_unique<ProgramView>();
        view->resize(1000, 800);
        view->BindBuffer(&buffer);
        view->show();
        Paint(*view);
    }
};

template <typename Step> void TimeSteps(benchmark::State& state, TextEncoding encoding, Step step) {
    LongLineView v(state, encoding);
    for (auto _ : state) {
        const auto start = Clock::now();
        step(*v.view);
        Paint(*v.view);
        state.SetIterationTime(SecondsSince(start));
    }
    state.counters["line_kib"] = double(v.buffer.LineSize(0)) / 1024;
}

void Repaint(CTextView& view) {
    view.viewport()->update();
}

void TypeAtEnd(CTextView& view) {
    if (view.Cursor().x != view.LineLength(0))
        Press(&view, Qt::Key_End);
    Press(&view, Qt::Key_X, Qt::NoModifier, QStringLiteral("X"));
}

// Home and End in turn: the whole line's width scrolls by each time.
void HomeOrEnd(CTextView& view) {
    Press(&view, view.Cursor().x == 0 ? Qt::Key_End : Qt::Key_Home);
}

void PageRight(CTextView& view) {
    const int next = view.FirstColumn() + view.VisibleColumns();
    view.ScrollLeftTo(next < view.LongestLineLength() ? next : 0);
}

void ClickMiddle(CTextView& view) {
    if (view.FirstColumn() == 0)
        view.ScrollLeftTo(view.LongestLineLength() / 2);
    const QPointF at(view.viewport()->width() / 2, view.LineHeight() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, view.viewport()->mapToGlobal(at),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, view.viewport()->mapToGlobal(at),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &press);
    QApplication::sendEvent(view.viewport(), &release);
}

#define LONG_LINE_BENCH(name, step)                                                                \
    void BM_##name##_Gbk(benchmark::State& s) {                                                    \
        TimeSteps(s, TextEncoding::Gbk, step);                                                     \
    }                                                                                              \
    void BM_##name##_Utf8(benchmark::State& s) {                                                   \
        TimeSteps(s, TextEncoding::Utf8, step);                                                    \
    }                                                                                              \
    BENCHMARK(BM_##name##_Gbk)                                                                     \
        ->Arg(80)                                                                                  \
        ->Arg(320)                                                                                 \
        ->Arg(1024)                                                                                \
        ->UseManualTime()                                                                          \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->Iterations(20);                                                                          \
    BENCHMARK(BM_##name##_Utf8)                                                                    \
        ->Arg(80)                                                                                  \
        ->Arg(320)                                                                                 \
        ->Arg(1024)                                                                                \
        ->UseManualTime()                                                                          \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->Iterations(20)

LONG_LINE_BENCH(Repaint, Repaint);
LONG_LINE_BENCH(TypeAtEnd, TypeAtEnd);
LONG_LINE_BENCH(HomeOrEnd, HomeOrEnd);
LONG_LINE_BENCH(PageRight, PageRight);
LONG_LINE_BENCH(ClickMiddle, ClickMiddle);

} // namespace

int main(int argc, char** argv) {
    return RunViewBenchmarks(argc, argv);
}
