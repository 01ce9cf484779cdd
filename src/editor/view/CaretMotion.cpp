#include "editor/view/CaretMotion.h"

#include <algorithm>

#include "editor/text/WordMotion.h"
#include "editor/view/CTextView.h"
#include "editor/view/ViewCommands.h"

bool CaretMotion::Execute(int id) {
    const bool extend = (id - ID_MOVE_CHAR_LEFT) % 2 == 1 && id != ID_SCROLL_DOWN;
    switch (id) {
    case ID_MOVE_CHAR_LEFT:
    case ID_EXTEND_CHAR_LEFT:
        CharLeft(extend);
        return true;
    case ID_MOVE_CHAR_RIGHT:
    case ID_EXTEND_CHAR_RIGHT:
        CharRight(extend);
        return true;
    case ID_MOVE_WORD_LEFT:
    case ID_EXTEND_WORD_LEFT:
        WordLeft(extend);
        return true;
    case ID_MOVE_WORD_RIGHT:
    case ID_EXTEND_WORD_RIGHT:
        WordRight(extend);
        return true;
    case ID_MOVE_LINE_UP:
    case ID_EXTEND_LINE_UP:
        LineUp(extend);
        return true;
    case ID_MOVE_LINE_DOWN:
    case ID_EXTEND_LINE_DOWN:
        LineDown(extend);
        return true;
    case ID_SCROLL_UP:
        v.ScrollLineUp();
        return true;
    case ID_SCROLL_DOWN:
        v.ScrollLineDown();
        return true;
    case ID_MOVE_PAGE_UP:
    case ID_EXTEND_PAGE_UP:
        PageUp(extend);
        return true;
    case ID_MOVE_PAGE_DOWN:
    case ID_EXTEND_PAGE_DOWN:
        PageDown(extend);
        return true;
    case ID_MOVE_HOME:
    case ID_EXTEND_HOME:
        Home(extend);
        return true;
    case ID_MOVE_LINE_END:
    case ID_EXTEND_LINE_END:
        End(extend);
        return true;
    case ID_MOVE_TEXT_BEGIN:
    case ID_EXTEND_TEXT_BEGIN:
        st.cursor = {0, 0};
        Finish(extend);
        return true;
    case ID_MOVE_TEXT_END:
    case ID_EXTEND_TEXT_END: {
        const int last = v.LineCount() - 1;
        st.cursor = {last, v.LineLength(last)};
        Finish(extend);
        return true;
    }
    default:
        return false;
    }
}

void CaretMotion::Finish(bool extend, bool keepIdeal) {
    if (!keepIdeal)
        st.idealColumn = v.ColumnOfChar(st.cursor.y, st.cursor.x);
    v.ScrollIntoView(st.cursor);
    v.PlaceCaret();
    if (!extend)
        st.anchor = st.cursor;
    v.SelectRange(st.anchor, st.cursor);
}

bool CaretMotion::Collapsing(bool extend) {
    v.OrderSelection();
    return !extend && !(st.orderedSelStart == st.orderedSelEnd);
}

void CaretMotion::CharLeft(bool extend) {
    if (Collapsing(extend)) {
        st.cursor = st.orderedSelStart;
    } else if (st.cursor.x > 0) {
        st.cursor = v.GuardDoubleByte({st.cursor.y, st.cursor.x - 1});
    } else if (st.cursor.y > 0) {
        --st.cursor.y;
        st.cursor.x = v.LineLength(st.cursor.y);
    }
    Finish(extend);
}

void CaretMotion::CharRight(bool extend) {
    if (Collapsing(extend)) {
        st.cursor = st.orderedSelEnd;
    } else if (st.cursor.x >= v.LineLength(st.cursor.y)) {
        if (st.cursor.y < v.LineCount() - 1)
            st.cursor = {st.cursor.y + 1, 0};
    } else {
        st.cursor.x = v.CharEnd(st.cursor);
    }
    Finish(extend);
}

bool CaretMotion::WordLeft(bool extend) {
    if (Collapsing(extend)) {
        st.cursor = st.orderedSelStart;
        Finish(extend);
        return true;
    }
    TextPos pos = st.cursor;
    if (pos.x == 0) {
        if (pos.y == 0)
            return false;
        --pos.y;
        pos.x = v.LineLength(pos.y);
    }
    pos.x = WordLeftInLine(v.LineView(pos.y), pos.x, v.Encoding());
    st.cursor = pos;
    Finish(extend);
    return true;
}

bool CaretMotion::WordRight(bool extend) {
    if (Collapsing(extend)) {
        st.cursor = st.orderedSelEnd;
        Finish(extend);
        return true;
    }
    TextPos pos = st.cursor;
    if (pos.x >= v.LineLength(pos.y)) {
        if (pos.y >= v.LineCount() - 1)
            return false;
        pos = {pos.y + 1, 0};
        if (v.LineLength(pos.y) == 0) {
            // An empty line: on as a plain character move from there.
            st.cursor = pos;
            CharRight(extend);
            return true;
        }
    }
    pos.x = WordRightInLine(v.LineView(pos.y), pos.x, v.Encoding());
    st.cursor = pos;
    Finish(extend);
    return true;
}

TextPos CaretMotion::Vertical(TextPos from, int line) {
    if (st.idealColumn == -1)
        st.idealColumn = v.ColumnOfChar(from.y, from.x);
    int x = std::min(v.CharAtColumn(line, st.idealColumn), v.LineLength(line));
    return v.GuardDoubleByte({line, x});
}

void CaretMotion::LineUp(bool extend) {
    if (Collapsing(extend))
        st.cursor = st.orderedSelStart;
    if (st.cursor.y > 0)
        st.cursor = Vertical(st.cursor, st.cursor.y - 1);
    Finish(extend, true);
}

void CaretMotion::LineDown(bool extend) {
    if (Collapsing(extend))
        st.cursor = st.orderedSelEnd;
    if (st.cursor.y < v.LineCount() - 1)
        st.cursor = Vertical(st.cursor, st.cursor.y + 1);
    Finish(extend, true);
}

void CaretMotion::PageUp(bool extend) {
    const int page = v.VisibleLines() - 1;
    const int top = std::max(0, st.topLine - page);
    if (top != st.topLine) {
        v.ScrollTopTo(top, true);
        v.SyncSiblingScroll(true);
    }
    const int line = std::max(0, st.cursor.y - page);
    st.cursor = v.GuardDoubleByte({line, std::min(st.cursor.x, v.LineLength(line))});
    Finish(extend);
}

void CaretMotion::PageDown(bool extend) {
    const int page = v.VisibleLines() - 1;
    const int last = v.LineCount() - 1;
    const int top = std::min(last, st.topLine + page);
    if (top != st.topLine) {
        v.ScrollTopTo(top, true);
        v.SyncSiblingScroll(true);
    }
    const int line = std::min(last, st.cursor.y + page);
    st.cursor = v.GuardDoubleByte({line, std::min(st.cursor.x, v.LineLength(line))});
    Finish(extend);
}

void CaretMotion::Home(bool extend) {
    const int length = v.LineLength(st.cursor.y);
    const int first = FirstNonBlank(v.LineView(st.cursor.y));
    st.cursor.x = (first == length || st.cursor.x == first) ? 0 : first;
    Finish(extend);
}

void CaretMotion::End(bool extend) {
    st.cursor.x = v.LineLength(st.cursor.y);
    Finish(extend);
}

void CaretMotion::SelectAll() {
    const int last = v.LineCount() - 1;
    st.cursor = {last, v.LineLength(last)};
    v.SelectRange({0, 0}, st.cursor);
    v.PlaceCaret();
}
