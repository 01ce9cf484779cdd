#include "editor/view/MouseSelection.h"

#include <QDrag>
#include <QMimeData>
#include <algorithm>

#include "editor/buffer/CTextBuffer.h"
#include "editor/text/WordMotion.h"
#include "editor/view/CTextView.h"

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
        return {last, v.LineLength(last)};
    return {line + 1, 0};
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
    if (p < st.anchor) {
        first = {p.y, WordStartBefore(v.LineView(p.y), p.x, v.Encoding())};
        second = {st.anchor.y, WordEndAfter(v.LineView(st.anchor.y), st.anchor.x, v.Encoding())};
    } else {
        first = {st.anchor.y, WordStartBefore(v.LineView(st.anchor.y), st.anchor.x, v.Encoding())};
        second = {p.y, WordEndAfter(v.LineView(p.y), p.x, v.Encoding())};
    }
}

void MouseSelection::LeftDown(QPoint point, Qt::KeyboardModifiers mods) {
    const bool shift = mods & Qt::ShiftModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    lastPoint = point;
    if (point.x() < v.MarginWidth()) {
        if (ctrl) {
            v.SelectAll();
            return;
        }
        TextPos p = Hit(point);
        p.x = 0;
        st.cursor = p;
        if (!shift)
            st.anchor = st.cursor;
        const TextPos e = AfterLine(st.anchor.y);
        st.cursor = {p.y, 0};
        v.PlaceCaret();
        v.ScrollIntoView(st.cursor);
        v.SelectRange(e, st.cursor);
        StartSelecting(false, true);
        return;
    }

    if (!v.InSelection(v.PointToTextPos(point)) || !v.HasSelection()) {
        const TextPos p = Hit(point);
        st.cursor = p;
        if (!shift)
            st.anchor = st.cursor;
        TextPos first = st.anchor, second = st.cursor;
        if (ctrl) {
            if (st.cursor < st.anchor) {
                first = {st.cursor.y,
                         WordStartBefore(v.LineView(st.cursor.y), st.cursor.x, v.Encoding())};
                second = {st.anchor.y,
                          WordEndAfter(v.LineView(st.anchor.y), st.anchor.x, v.Encoding())};
            } else {
                first = {st.anchor.y,
                         WordStartBefore(v.LineView(st.anchor.y), st.anchor.x, v.Encoding())};
                second = {st.cursor.y,
                          WordEndAfter(v.LineView(st.cursor.y), st.cursor.x, v.Encoding())};
            }
        }
        first = v.GuardDoubleByte(first);
        second = v.GuardDoubleByte(second);
        st.cursor = second;
        v.PlaceCaret();
        v.ScrollIntoView(st.cursor);
        v.SelectRange(first, second);
        StartSelecting(ctrl, false);
        return;
    }
    pendingDrag = true;
}

void MouseSelection::Move(QPoint point) {
    if (mouseSelecting) {
        lastPoint = point;
        const bool onMargin = point.x() < v.MarginWidth();
        const TextPos p = Hit(point);
        if (lineMode && onMargin) {
            TextPos first, second;
            if (p < st.anchor) {
                first = {p.y, 0};
                second = AfterLine(st.anchor.y);
            } else {
                first = {st.anchor.y, 0};
                second = AfterLine(p.y);
            }
            st.cursor = {p.y, 0};
            v.PlaceCaret();
            v.SelectRange(first, second);
            return;
        }
        if (lineMode) {
            v.viewport()->setCursor(Qt::IBeamCursor);
            wordMode = lineMode = false;
        }
        TextPos first = st.anchor, second = p;
        if (wordMode)
            WordRange(p, first, second);
        second = v.GuardDoubleByte(second);
        st.cursor = second;
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
    st.draggingText = true;
    const Qt::DropAction effect = v.ExecDrag(*drag, v.AllowedDropEffects());
    if (effect != Qt::IgnoreAction)
        v.AfterDragSource(effect);
    st.draggingText = false;
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
                first = st.anchor;
                second = st.cursor;
            }
        } else if (p < st.anchor) {
            first = {p.y, 0};
            second = AfterLine(st.anchor.y);
            st.cursor = first;
        } else {
            first = {st.anchor.y, 0};
            second = AfterLine(p.y);
        }
        first = v.GuardDoubleByte(first);
        second = v.GuardDoubleByte(second);
        if (!lineMode || !(p < st.anchor))
            st.cursor = second;
        v.ScrollIntoView(st.cursor);
        v.PlaceCaret();
        v.SelectRange(first, second);
        StopSelecting();
    }
    if (pendingDrag) {
        pendingDrag = false;
        st.cursor = v.GuardDoubleByte(Hit(point));
        v.ScrollIntoView(st.cursor);
        v.PlaceCaret();
        v.SelectRange(st.cursor, st.cursor);
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

    int top = st.topLine;
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
    if (top != st.topLine) {
        v.ScrollTopTo(top, true);
        v.SyncSiblingScroll(true);
        scrolled = true;
    }

    int first = st.firstColumn;
    if (m.x() < client.left())
        first -= 1;
    else if (m.x() >= client.right() + 1)
        first += 1;
    first = std::max(0, std::min(first, v.LongestLineLength() - 1));
    if (first != st.firstColumn) {
        v.ScrollLeftTo(first, true);
        v.PlaceCaret();
        v.SyncSiblingScroll(false);
        scrolled = true;
    }

    if (scrolled) {
        const TextPos p = Hit(m);
        if (!(p == st.cursor)) {
            st.cursor = p;
            v.PlaceCaret();
        }
        v.SelectRange(st.anchor, st.cursor);
    }
}

void MouseSelection::DoubleClick(QPoint point) {
    if (mouseSelecting)
        return;
    lastPoint = point;
    const TextPos p = Hit(point);
    st.cursor = st.anchor = p;
    const std::string_view line = v.LineView(p.y);
    const TextPos first{p.y, WordStartBefore(line, p.x, v.Encoding())};
    const TextPos second{p.y, WordEndAfter(line, p.x, v.Encoding())};
    st.cursor = second;
    v.PlaceCaret();
    v.ScrollIntoView(st.cursor);
    v.SelectRange(first, second);
    StartSelecting(true, false);
}

void MouseSelection::RightDown(QPoint point) {
    TextPos p = Hit(point);
    if (v.InSelection(p))
        return;
    p = v.GuardDoubleByte(p);
    st.cursor = st.anchor = p;
    v.SelectRange(p, p);
    v.ScrollIntoView(p);
    v.PlaceCaret();
}
