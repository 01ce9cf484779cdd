#pragma once
#include <QProgressBar>

// The transmission progress in a pane of the status bar: a smooth bar that
// shows itself at its first position.
class CProgressBar : public QProgressBar {
    Q_OBJECT

public:
    explicit CProgressBar(QWidget* parent = nullptr);

    void SetBarColour(const QColor& colour);
    QColor BarColour() const { return barColour; }
    void SetRange(int lower, int upper, int step = 1);
    void SetPos(int position);

private:
    QColor barColour;
};
