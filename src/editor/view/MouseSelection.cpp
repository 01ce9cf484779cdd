#include "editor/view/MouseSelection.h"

#include <QDrag>
#include <QMimeData>
#include <algorithm>

#include "editor/buffer/CTextBuffer.h"
#include "editor/view/CTextView.h"
#include "editor/view/WordMotion.h"

void MouseSelection::Reset() {
    StopSelecting();
    pendingDrag = false;
    wordMode = lineMode = false;
}

TextPos MouseSelection::Hit(QPoint point) {
    // Half a cell to the right: a click on a character's right half lands after it.
    return v.PointToTextPos(point + QPoint(v.CharWidth() / 2, 0));
}

TextPos MouseSelection::AfterLine(int line) {
    const int last = v.LineCount() - 1;
    if (line >= last)
        return {v.LineLength(last), last};
    return {0, line + 1};
}

void MouseSelection::StartSelecting(bool words, bool lines) {
    scrollTimer.start(kAutoScrollMs, &v);
    wordMode = words;
    lineMode = lines;
    mouseSelecting = true;
}

void MouseSelection::StopSelecting() {
    scrollTimer.stop();
    mouseSelecting = false;
}

void MouseSelection::FocusLost() {
    StopSelecting();
}

void MouseSelection::WordRange(TextPos p, TextPos& first, TextPos& second) {
    if (p < v.anchor) {
        first = {WordStartBefore(v.LineView(p.y), p.x), p.y};
        second = {WordEndAfter(v.LineView(v.anchor.y), v.anchor.x), v.anchor.y};
    } else {
        first = {WordStartBefore(v.LineView(v.anchor.y), v.anchor.x), v.anchor.y};
        second = {WordEndAfter(v.LineView(p.y), p.x), p.y};
    }
}

void MouseSelection::LeftDown(QPoint point, Qt::KeyboardModifiers mods) {
    const bool shift = mods & Qt::ShiftModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    lastPoint = point;
    if (point.x() < CTextView::MarginWidth()) {
        if (ctrl) {
            v.SelectAll();
            return;
        }
        TextPos p = Hit(point);
        p.x = 0;
        v.cursor = p;
        if (!shift)
            v.anchor = v.cursor;
        const TextPos e = AfterLine(v.anchor.y);
        v.cursor = {0, p.y};
        v.PlaceCaret();
        v.ScrollIntoView(v.cursor);
        v.SelectRange(e, v.cursor);
        StartSelecting(false, true);
        return;
    }

    if (!v.InSelection(v.PointToTextPos(point)) || !v.HasSelection()) {
        const TextPos p = Hit(point);
        v.cursor = p;
        if (!shift)
            v.anchor = v.cursor;
        TextPos first = v.anchor, second = v.cursor;
        if (ctrl) {
            if (v.cursor < v.anchor) {
                first = {WordStartBefore(v.LineView(v.cursor.y), v.cursor.x), v.cursor.y};
                second = {WordEndAfter(v.LineView(v.anchor.y), v.anchor.x), v.anchor.y};
            } else {
                first = {WordStartBefore(v.LineView(v.anchor.y), v.anchor.x), v.anchor.y};
                second = {WordEndAfter(v.LineView(v.cursor.y), v.cursor.x), v.cursor.y};
            }
        }
        first = v.GuardDoubleByte(first);
        second = v.GuardDoubleByte(second);
        v.cursor = second;
        v.PlaceCaret();
        v.ScrollIntoView(v.cursor);
        v.SelectRange(first, second);
        StartSelecting(ctrl, false);
        return;
    }
    pendingDrag = true;
}

void MouseSelection::Move(QPoint point) {
    if (mouseSelecting) {
        lastPoint = point;
        const bool onMargin = point.x() < CTextView::MarginWidth();
        const TextPos p = Hit(point);
        if (lineMode && onMargin) {
            TextPos first, second;
            if (p < v.anchor) {
                first = {0, p.y};
                second = AfterLine(v.anchor.y);
            } else {
                first = {0, v.anchor.y};
                second = AfterLine(p.y);
            }
            v.cursor = {0, p.y};
            v.PlaceCaret();
            v.SelectRange(first, second);
            return;
        }
        if (lineMode) {
            v.viewport()->setCursor(Qt::IBeamCursor);
            wordMode = lineMode = false;
        }
        TextPos first = v.anchor, second = p;
        if (wordMode)
            WordRange(p, first, second);
        second = v.GuardDoubleByte(second);
        v.cursor = second;
        v.PlaceCaret();
        v.SelectRange(first, second);
    }
    if (pendingDrag) {
        pendingDrag = false;
        StartDrag();
    }
}

void MouseSelection::StartDrag() {
    QMimeData* data = v.PackSelectionForDrag();
    if (data == nullptr)
        return;
    CTextBuffer* buffer = v.Buffer();
    if (buffer != nullptr)
        buffer->BeginEditGroup(false);
    auto* drag = new QDrag(&v);
    drag->setMimeData(data);
    v.draggingText = true;
    const Qt::DropAction effect = v.ExecDrag(*drag, v.AllowedDropEffects());
    if (effect != Qt::IgnoreAction)
        v.AfterDragSource(effect);
    v.draggingText = false;
    if (buffer != nullptr && v.Buffer() == buffer)
        buffer->EndEditGroup(&v);
}

void MouseSelection::LeftUp(QPoint point) {
    if (mouseSelecting) {
        const TextPos p = Hit(point);
        TextPos first, second;
        if (!lineMode) {
            if (wordMode) {
                WordRange(p, first, second);
            } else {
                first = v.anchor;
                second = v.cursor;
            }
        } else if (p < v.anchor) {
            first = {0, p.y};
            second = AfterLine(v.anchor.y);
            v.cursor = first;
        } else {
            first = {0, v.anchor.y};
            second = AfterLine(p.y);
        }
        first = v.GuardDoubleByte(first);
        second = v.GuardDoubleByte(second);
        if (!lineMode || !(p < v.anchor))
            v.cursor = second;
        v.ScrollIntoView(v.cursor);
        v.PlaceCaret();
        v.SelectRange(first, second);
        StopSelecting();
    }
    if (pendingDrag) {
        pendingDrag = false;
        v.cursor = v.GuardDoubleByte(Hit(point));
        v.ScrollIntoView(v.cursor);
        v.PlaceCaret();
        v.SelectRange(v.cursor, v.cursor);
    }
}

void MouseSelection::AutoScroll() {
    if (!mouseSelecting) {
        scrollTimer.stop();
        return;
    }
    const QRect client = v.viewport()->rect();
    const QPoint m = lastPoint;
    const int h = v.LineHeight();
    bool scrolled = false;

    int top = v.topLine;
    if (m.y() < client.top()) {
        top -= 1;
        if (m.y() < client.top() - h)
            top -= 2;
    } else if (m.y() >= client.bottom() + 1) {
        top += 1;
        if (m.y() >= client.bottom() + 1 + h)
            top += 2;
    }
    top = std::clamp(top, 0, v.LineCount() - 1);
    if (top != v.topLine) {
        v.ScrollTopTo(top, true);
        v.SyncSiblingScroll(true);
        scrolled = true;
    }

    int first = v.firstColumn;
    if (m.x() < client.left())
        first -= 1;
    else if (m.x() >= client.right() + 1)
        first += 1;
    first = std::max(0, std::min(first, v.LongestLineLength() - 1));
    if (first != v.firstColumn) {
        v.ScrollLeftTo(first, true);
        v.PlaceCaret();
        v.SyncSiblingScroll(false);
        scrolled = true;
    }

    if (scrolled) {
        const TextPos p = Hit(m);
        if (!(p == v.cursor)) {
            v.cursor = p;
            v.PlaceCaret();
        }
        v.SelectRange(v.anchor, v.cursor);
    }
}

void MouseSelection::DoubleClick(QPoint point) {
    if (mouseSelecting)
        return;
    lastPoint = point;
    const TextPos p = Hit(point);
    v.cursor = v.anchor = p;
    const std::string_view line = v.LineView(p.y);
    const TextPos first{WordStartBefore(line, p.x), p.y};
    const TextPos second{WordEndAfter(line, p.x), p.y};
    v.cursor = second;
    v.PlaceCaret();
    v.ScrollIntoView(v.cursor);
    v.SelectRange(first, second);
    StartSelecting(true, false);
}

void MouseSelection::RightDown(QPoint point) {
    TextPos p = Hit(point);
    if (v.InSelection(p))
        return;
    p = v.GuardDoubleByte(p);
    v.cursor = v.anchor = p;
    v.SelectRange(p, p);
    v.ScrollIntoView(p);
    v.PlaceCaret();
}
