// Tab and Shift+Tab: indent and unindent whole lines of a multi-line
// selection, otherwise a tab byte or a move between tab stops.
#include "editor/buffer/CTextBuffer.h"
#include "editor/view/CEditView.h"

bool CEditView::IndentRange(int& firstLine, int& lastLine) {
    TextPos s, e;
    OrderedSelection(s, e);
    if (s == e || s.y == e.y)
        return false;
    firstLine = s.y;
    // A selection that ends at byte 0 of a line leaves that line alone.
    lastLine = e.x == 0 ? e.y - 1 : e.y;
    const TextPos start{s.y, 0};
    TextPos end = e;
    if (e.x != 0)
        end = e.y == LineCount() - 1 ? TextPos{e.y, LineLength(e.y)} : TextPos{e.y + 1, 0};
    PlaceAnchor(start);
    SelectRange(start, end);
    PlaceCursor(end);
    ScrollIntoView(end);
    return true;
}

void CEditView::Tab() {
    if (!CanEdit())
        return;
    CTextBuffer* b = Buffer();
    int first = 0, last = 0;
    if (SelectionSpansLines()) {
        b->BeginEditGroup(false);
        IndentRange(first, last);
        SetLockHorzBar(true);
        int el = 0, eb = 0;
        for (int y = first; y <= last; ++y)
            b->InsertAt(this, y, 0, "\t", el, eb, ACTION_INDENT);
        SetLockHorzBar(false);
        UpdateHorzBar();
        b->EndEditGroup(this);
        return;
    }
    const TextPos cur = Cursor();
    const std::string_view line = LineView(cur.y);
    if (overwrite && cur.x < int(line.size())) {
        // Overwrite mode: only move on to the next tab stop.
        const int n = TabSize() - ColumnOfChar(cur.y, cur.x) % TabSize();
        TextPos p = cur;
        for (int i = 0; i < n && p.x < int(line.size()); ++i) {
            const bool tab = line[size_t(p.x)] == '\t';
            ++p.x;
            if (tab)
                break;
        }
        while (SplitsDoubleByteChar(p))
            ++p.x;
        PlaceAt(p);
        return;
    }
    b->BeginEditGroup(false);
    EraseSelection();
    const TextPos at = Cursor();
    int el = 0, eb = 0;
    if (b->InsertAt(this, at.y, at.x, "\t", el, eb, ACTION_TYPING))
        PlaceAt({el, eb});
    b->EndEditGroup(this);
}

void CEditView::Untab() {
    if (!CanEdit())
        return;
    CTextBuffer* b = Buffer();
    int first = 0, last = 0;
    if (SelectionSpansLines()) {
        b->BeginEditGroup(false);
        IndentRange(first, last);
        SetLockHorzBar(true);
        for (int y = first; y <= last; ++y) {
            const std::string_view line = LineView(y);
            int count = 0;
            while (count < TabSize() && count < int(line.size()) && line[size_t(count)] == ' ')
                ++count;
            if (count < TabSize() && count < int(line.size()) && line[size_t(count)] == '\t')
                ++count;
            if (count > 0)
                b->EraseRange(this, y, 0, y, count, ACTION_INDENT);
        }
        SetLockHorzBar(false);
        UpdateHorzBar();
        b->EndEditGroup(this);
        return;
    }
    // No multi-line selection: the cursor moves back to the previous tab stop.
    const TextPos cur = Cursor();
    if (cur.x == 0)
        return;
    const int column = ColumnOfChar(cur.y, cur.x);
    int target = column / TabSize() * TabSize();
    if (target == column && target > 0)
        target -= TabSize();
    const std::string_view line = LineView(cur.y);
    int i = 0;
    for (int col = 0; col < target && i < int(line.size()); ++i)
        col = line[size_t(i)] == '\t' ? col + TabSize() - col % TabSize() : col + 1;
    PlaceAt(GuardDoubleByte({cur.y, i}));
}
