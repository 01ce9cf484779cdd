#include "app/CProgressBar.h"

CProgressBar::CProgressBar(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
    setRange(0, 100);
    setValue(0);
}

void CProgressBar::SetBarColour(const QColor& colour) {
    barColour = colour;
    setStyleSheet(QStringLiteral("QProgressBar { border: 1px solid gray; background: white; }"
                                 "QProgressBar::chunk { background: %1; }")
                      .arg(colour.name()));
}

void CProgressBar::SetRange(int lower, int upper, int) {
    // An empty document sends no lines: keep the range non-empty so the bar
    // reads as "nothing sent" rather than as a busy indicator.
    if (upper <= lower)
        upper = lower + 1;
    if (minimum() != lower || maximum() != upper)
        setRange(lower, upper);
}

void CProgressBar::SetPos(int position) {
    if (!isVisible())
        show();
    if (value() != position)
        setValue(position);
}
