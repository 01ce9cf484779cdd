#include "editor/view/CaretMotion.h"

#include <algorithm>

#include "editor/view/CTextView.h"
#include "editor/view/ViewCommands.h"
#include "editor/view/WordMotion.h"

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
        v.cursor = {0, 0};
        Finish(extend);
        return true;
    case ID_MOVE_TEXT_END:
    case ID_EXTEND_TEXT_END: {
        const int last = v.LineCount() - 1;
        v.cursor = {v.LineLength(last), last};
        Finish(extend);
        return true;
    }
    default:
        return false;
    }
}

void CaretMotion::Finish(bool extend, bool keepIdeal) {
    if (!keepIdeal)
        v.idealColumn = v.ColumnOfChar(v.cursor.y, v.cursor.x);
    v.ScrollIntoView(v.cursor);
    v.PlaceCaret();
    if (!extend)
        v.anchor = v.cursor;
    v.SelectRange(v.anchor, v.cursor);
}

bool CaretMotion::Collapsing(bool extend) {
    v.OrderSelection();
    return !extend && !(v.orderedSelStart == v.orderedSelEnd);
}

void CaretMotion::CharLeft(bool extend) {
    if (Collapsing(extend)) {
        v.cursor = v.orderedSelStart;
    } else if (v.cursor.x > 0) {
        --v.cursor.x;
        if (v.SplitsDoubleByteChar(v.cursor))
            --v.cursor.x;
    } else if (v.cursor.y > 0) {
        --v.cursor.y;
        v.cursor.x = v.LineLength(v.cursor.y);
    }
    Finish(extend);
}

void CaretMotion::CharRight(bool extend) {
    if (Collapsing(extend)) {
        v.cursor = v.orderedSelEnd;
    } else if (v.cursor.x >= v.LineLength(v.cursor.y)) {
        if (v.cursor.y < v.LineCount() - 1)
            v.cursor = {0, v.cursor.y + 1};
    } else {
        ++v.cursor.x;
        if (v.SplitsDoubleByteChar(v.cursor))
            ++v.cursor.x;
    }
    Finish(extend);
}

bool CaretMotion::WordLeft(bool extend) {
    if (Collapsing(extend)) {
        v.cursor = v.orderedSelStart;
        Finish(extend);
        return true;
    }
    TextPos pos = v.cursor;
    if (pos.x == 0) {
        if (pos.y == 0)
            return false;
        --pos.y;
        pos.x = v.LineLength(pos.y);
    }
    pos.x = WordLeftInLine(v.LineView(pos.y), pos.x);
    v.cursor = pos;
    Finish(extend);
    return true;
}

bool CaretMotion::WordRight(bool extend) {
    if (Collapsing(extend)) {
        v.cursor = v.orderedSelEnd;
        Finish(extend);
        return true;
    }
    TextPos pos = v.cursor;
    if (pos.x >= v.LineLength(pos.y)) {
        if (pos.y >= v.LineCount() - 1)
            return false;
        pos = {0, pos.y + 1};
        if (v.LineLength(pos.y) == 0) {
            // An empty line: on as a plain character move from there.
            v.cursor = pos;
            CharRight(extend);
            return true;
        }
    }
    pos.x = WordRightInLine(v.LineView(pos.y), pos.x);
    v.cursor = pos;
    Finish(extend);
    return true;
}

TextPos CaretMotion::Vertical(TextPos from, int line) {
    if (v.idealColumn == -1)
        v.idealColumn = v.ColumnOfChar(from.y, from.x);
    int x = std::min(v.CharAtColumn(line, v.idealColumn), v.LineLength(line));
    return v.GuardDoubleByte({x, line});
}

void CaretMotion::LineUp(bool extend) {
    if (Collapsing(extend))
        v.cursor = v.orderedSelStart;
    if (v.cursor.y > 0)
        v.cursor = Vertical(v.cursor, v.cursor.y - 1);
    Finish(extend, true);
}

void CaretMotion::LineDown(bool extend) {
    if (Collapsing(extend))
        v.cursor = v.orderedSelEnd;
    if (v.cursor.y < v.LineCount() - 1)
        v.cursor = Vertical(v.cursor, v.cursor.y + 1);
    Finish(extend, true);
}

void CaretMotion::PageUp(bool extend) {
    const int page = v.VisibleLines() - 1;
    const int top = std::max(0, v.topLine - page);
    if (top != v.topLine) {
        v.ScrollTopTo(top, true);
        v.SyncSiblingScroll(true);
    }
    const int line = std::max(0, v.cursor.y - page);
    v.cursor = v.GuardDoubleByte({std::min(v.cursor.x, v.LineLength(line)), line});
    Finish(extend);
}

void CaretMotion::PageDown(bool extend) {
    const int page = v.VisibleLines() - 1;
    const int last = v.LineCount() - 1;
    const int top = std::min(last, v.topLine + page);
    if (top != v.topLine) {
        v.ScrollTopTo(top, true);
        v.SyncSiblingScroll(true);
    }
    const int line = std::min(last, v.cursor.y + page);
    v.cursor = v.GuardDoubleByte({std::min(v.cursor.x, v.LineLength(line)), line});
    Finish(extend);
}

void CaretMotion::Home(bool extend) {
    const int length = v.LineLength(v.cursor.y);
    const int first = FirstNonBlank(v.LineView(v.cursor.y));
    v.cursor.x = (first == length || v.cursor.x == first) ? 0 : first;
    Finish(extend);
}

void CaretMotion::End(bool extend) {
    v.cursor.x = v.LineLength(v.cursor.y);
    Finish(extend);
}

void CaretMotion::SelectAll() {
    const int last = v.LineCount() - 1;
    v.cursor = {v.LineLength(last), last};
    v.SelectRange({0, 0}, v.cursor);
    v.PlaceCaret();
}
