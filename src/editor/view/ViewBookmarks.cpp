#include "editor/view/ViewBookmarks.h"

#include "editor/buffer/CTextBuffer.h"
#include "editor/view/CTextView.h"

namespace {

uint32_t NumberedBit(int n) {
    return uint32_t(MARK_0) << n;
}

} // namespace

void ViewBookmarks::GoToLine(int line) {
    const TextPos p{line, 0};
    v.PlaceCursor(p);
    v.SelectRange(p, p);
    v.PlaceAnchor(p);
    v.ScrollIntoView(p);
}

void ViewBookmarks::ToggleNumberedMark(int n) {
    CTextBuffer* b = v.Buffer();
    if (b == nullptr || n < 0 || n > 9)
        return;
    const int line = v.Cursor().y;
    const bool set = b->LineMarkBits(line) & NumberedBit(n);
    b->SetLineMark(line, NumberedBit(n), !set, true);
}

void ViewBookmarks::GoToNumberedMark(int n) {
    CTextBuffer* b = v.Buffer();
    if (b == nullptr || n < 0 || n > 9)
        return;
    const int line = b->FindLineWithMark(NumberedBit(n));
    if (line >= 0)
        GoToLine(line);
}

void ViewBookmarks::ClearNumberedMarks() {
    CTextBuffer* b = v.Buffer();
    if (b == nullptr)
        return;
    for (int n = 0; n <= 9; ++n) {
        const int line = b->FindLineWithMark(NumberedBit(n));
        if (line >= 0)
            b->SetLineMark(line, NumberedBit(n), false);
    }
}

void ViewBookmarks::TogglePlainMark() {
    CTextBuffer* b = v.Buffer();
    if (b == nullptr)
        return;
    const int line = v.Cursor().y;
    const bool set = b->LineMarkBits(line) & PLAIN_MARK;
    b->SetLineMark(line, PLAIN_MARK, !set, false);
    hasPlainBookmarks = b->FindLineWithMark(PLAIN_MARK) >= 0;
}

void ViewBookmarks::NextPlainMark() {
    CTextBuffer* b = v.Buffer();
    if (b == nullptr)
        return;
    const int line = b->NextMarkedLine(v.Cursor().y);
    if (line >= 0)
        GoToLine(line);
}

void ViewBookmarks::PreviousPlainMark() {
    CTextBuffer* b = v.Buffer();
    if (b == nullptr)
        return;
    const int line = b->PrevMarkedLine(v.Cursor().y);
    if (line >= 0)
        GoToLine(line);
}

void ViewBookmarks::ClearPlainMarks() {
    CTextBuffer* b = v.Buffer();
    if (b == nullptr)
        return;
    // One pass from the first marked line: never rescan from the top.
    const int first = b->FindLineWithMark(PLAIN_MARK);
    for (int line = first, n = b->CountLines(); first >= 0 && line < n; ++line)
        if (b->LineMarkBits(line) & PLAIN_MARK)
            b->SetLineMark(line, PLAIN_MARK, false);
    hasPlainBookmarks = false;
}
