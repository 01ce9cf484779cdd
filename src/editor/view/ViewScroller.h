#pragma once
#include "editor/buffer/TextPos.h"

class CTextView;
struct ViewState;

// The scroll position of a text view: top line and first column, the two
// scroll bars, keeping a position in sight, and following the other panes of
// a splitter.
class ViewScroller {
public:
    ViewScroller(CTextView& view, ViewState& state) : v(view), st(state) {}

    void ScrollTopTo(int line, bool redrawBar);
    void ScrollLeftTo(int column, bool redrawBar);
    void UpdateVertBar(bool positionOnly);
    void UpdateHorzBar(bool positionOnly);
    void ScrollIntoView(TextPos pos);
    // Ctrl+Up/Down and the column steps: by delta within the text.
    void ScrollLines(int delta);
    void ScrollColumns(int delta);
    // A scroll bar's value changed, by the user or by UpdateVertBar/HorzBar.
    void BarsMoved();

    void SyncSiblings(bool vertical);
    void Follow(CTextView* source, bool vertical);
    void FollowPanesAtStart();

private:
    CTextView& v;
    ViewState& st;
    bool settingBars = false;
};
