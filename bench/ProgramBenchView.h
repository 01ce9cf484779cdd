#pragma once
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <chrono>

#include "editor/text/ProgramScanner.h"
#include "editor/view/CEditView.h"

// The editing view coloured as the document view colours it, without the
// application around it.
class ProgramView : public CEditView {
public:
    void ShowMessage(const QString&, bool) override {} // never a modal box here
    uint32_t ScanLineColours(uint32_t cookie, int line, ColourBlocks* blocks) override {
        return ScanProgramLine(cookie, LineView(line), blocks);
    }
};

inline double SecondsSince(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

inline void Press(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier,
                  const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &press);
}

// Paints the whole window now, as a visible change would.
inline void Paint(CTextView& view) {
    view.viewport()->repaint();
    QCoreApplication::processEvents();
}

// Runs the benchmarks in a real QApplication, offscreen unless told otherwise.
inline int RunViewBenchmarks(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
