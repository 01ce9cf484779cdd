#pragma once
#include <QBasicTimer>
#include <QPoint>
#include <Qt>

#include "editor/buffer/TextPos.h"

class CTextView;
struct ViewState;

// Mouse selection in a text view: click, Shift-click, Ctrl-click by words,
// double-click, whole lines from the margin, dragging with auto-scroll, and
// starting a drag of the selection.
class MouseSelection {
public:
    MouseSelection(CTextView& view, ViewState& state) : v(view), st(state) {}

    void Reset();
    bool Selecting() const { return mouseSelecting; }
    bool WordMode() const { return wordMode; }
    bool LineMode() const { return lineMode; }
    bool PendingDrag() const { return pendingDrag; }

    void LeftDown(QPoint point, Qt::KeyboardModifiers mods);
    void Move(QPoint point);
    void LeftUp(QPoint point);
    void DoubleClick(QPoint point);
    void RightDown(QPoint point);
    void FocusLost();
    bool OwnsTimer(int id) const { return scrollTimer.timerId() == id; }
    // Every 100 ms while selecting: scroll towards the mouse when it is outside.
    void AutoScroll();

    static constexpr int kAutoScrollMs = 100;

private:
    TextPos Hit(QPoint point);
    // The position after a line: the start of the next one, or the end of the
    // text on the last line.
    TextPos AfterLine(int line);
    void StartSelecting(bool words, bool lines);
    void StopSelecting();
    void StartDrag();
    void WordRange(TextPos p, TextPos& first, TextPos& second);

    CTextView& v;
    ViewState& st;
    bool pendingDrag = false;
    bool mouseSelecting = false;
    bool wordMode = false;
    bool lineMode = false;
    QBasicTimer scrollTimer;
    // Where the mouse was last seen while selecting, in viewport coordinates;
    // the auto-scroll acts on it as the pointer stays put outside the window.
    QPoint lastPoint;
};
