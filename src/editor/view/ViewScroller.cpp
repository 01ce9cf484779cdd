#include "editor/view/ViewScroller.h"

#include <QScrollBar>
#include <algorithm>

#include "editor/view/CTextView.h"

namespace {

// Sets a bar without its change coming back to us as a user scroll.
class BarGuard {
public:
    explicit BarGuard(bool& flag) : flag(flag), old(flag) { flag = true; }
    ~BarGuard() { flag = old; }
    BarGuard(const BarGuard&) = delete;
    BarGuard& operator=(const BarGuard&) = delete;

private:
    bool& flag;
    bool old;
};

} // namespace

void ViewScroller::ScrollTopTo(int line, bool redrawBar) {
    if (line == st.topLine)
        return;
    st.topLine = line;
    v.viewport()->update();
    if (redrawBar)
        UpdateVertBar(true);
    v.PlaceCaret();
}

void ViewScroller::ScrollLeftTo(int column, bool redrawBar) {
    if (column == st.firstColumn)
        return;
    st.firstColumn = column;
    v.viewport()->update();
    if (redrawBar)
        UpdateHorzBar(true);
}

void ViewScroller::UpdateVertBar(bool positionOnly) {
    BarGuard guard(settingBars);
    QScrollBar* bar = v.verticalScrollBar();
    const int count = v.LineCount();
    const int visible = v.VisibleLines();
    if (!positionOnly) {
        if (visible >= count && st.topLine > 0) {
            st.topLine = 0;
            v.viewport()->update();
            v.PlaceCaret();
        }
        // The thumb stops where the last line shows at the bottom, unless the
        // view was scrolled further by line steps.
        const int maximum = std::max({0, count - visible, st.topLine});
        bar->setRange(0, maximum);
        bar->setPageStep(std::max(1, visible));
        bar->setSingleStep(1);
        bar->setEnabled(visible < count);
    } else if (st.topLine > bar->maximum()) {
        bar->setMaximum(st.topLine);
    }
    bar->setValue(st.topLine);
}

void ViewScroller::UpdateHorzBar(bool positionOnly) {
    BarGuard guard(settingBars);
    QScrollBar* bar = v.horizontalScrollBar();
    if (!positionOnly) {
        const int longest = v.LongestLineLength();
        const int visible = v.VisibleColumns();
        bar->setRange(0, std::max({0, longest - visible, st.firstColumn}));
        bar->setPageStep(std::max(1, visible));
        bar->setSingleStep(1);
        bar->setEnabled(visible < longest);
    } else if (st.firstColumn > bar->maximum()) {
        bar->setMaximum(st.firstColumn);
    }
    bar->setValue(st.firstColumn);
}

void ViewScroller::BarsMoved() {
    if (settingBars)
        return;
    BarGuard guard(settingBars);
    const int top = std::clamp(v.verticalScrollBar()->value(), 0, v.LineCount() - 1);
    if (top != st.topLine) {
        ScrollTopTo(top, false);
        SyncSiblings(true);
    }
    const int longest = v.LongestLineLength();
    const int column = std::max(0, std::min(v.horizontalScrollBar()->value(), longest - 1));
    if (column != st.firstColumn) {
        ScrollLeftTo(column, false);
        v.PlaceCaret();
        SyncSiblings(false);
    }
}

void ViewScroller::ScrollIntoView(TextPos pos) {
    const int visible = v.VisibleLines();
    int top = st.topLine;
    if (pos.y >= top + visible)
        top = pos.y - visible + 1;
    else if (pos.y < top)
        top = pos.y;
    top = std::clamp(top, 0, v.LineCount() - 1);
    if (top != st.topLine) {
        ScrollTopTo(top, true);
        SyncSiblings(true);
    }

    const int c = v.ColumnOfChar(pos.y, pos.x);
    const int columns = v.VisibleColumns();
    int first = st.firstColumn;
    if (c > first + columns)
        first = c - columns;
    else if (c < first)
        first = c;
    first = std::max(0, std::min(first, v.LongestLineLength() - 1));
    if (first != st.firstColumn) {
        ScrollLeftTo(first, true);
        v.PlaceCaret();
        SyncSiblings(false);
    }
}

void ViewScroller::ScrollLines(int delta) {
    const int top = st.topLine + delta;
    if (top < 0 || top > v.LineCount() - 1)
        return;
    ScrollTopTo(top, true);
    SyncSiblings(true);
}

void ViewScroller::ScrollColumns(int delta) {
    const int first = st.firstColumn + delta;
    if (first < 0 || first > v.LongestLineLength() - 1)
        return;
    ScrollLeftTo(first, true);
    v.PlaceCaret();
}

void ViewScroller::SyncSiblings(bool vertical) {
    if (!st.paneGroup)
        return;
    for (const auto& pane : st.paneGroup->panes) {
        if (pane.view == &v)
            continue;
        if (vertical ? pane.row == st.paneRow : pane.column == st.paneColumn)
            pane.view->FollowSiblingScroll(&v, vertical);
    }
}

void ViewScroller::Follow(CTextView* source, bool vertical) {
    if (source == &v)
        return;
    if (vertical && source->TopLine() != st.topLine)
        ScrollTopTo(source->TopLine(), true);
    if (!vertical && source->FirstColumn() != st.firstColumn)
        ScrollLeftTo(source->FirstColumn(), true);
    v.PlaceCaret();
}

void ViewScroller::FollowPanesAtStart() {
    if (!st.paneGroup)
        return;
    for (const auto& pane : st.paneGroup->panes) {
        if (pane.view == &v)
            continue;
        if (st.paneRow != 0 && pane.row == 0 && pane.column == st.paneColumn)
            st.firstColumn = pane.view->FirstColumn();
        if (st.paneColumn != 0 && pane.column == 0 && pane.row == st.paneRow)
            st.topLine = pane.view->TopLine();
    }
    UpdateVertBar(false);
    UpdateHorzBar(false);
}
