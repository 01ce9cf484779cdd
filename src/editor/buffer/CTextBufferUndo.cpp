// The editing operations that record undo entries, and undo and redo.
#include <cstring>

#include "editor/buffer/CTextBuffer.h"

namespace {

// The erased text is kept joined with CR LF. When any erased piece holds a CR
// byte of its own, inserting the joined text back would break lines at it, so
// the piece lengths are kept too.
std::vector<int32_t> ErasedPieces(const CTextBuffer& buf, TextPos start, TextPos end) {
    std::vector<int32_t> pieces;
    bool ambiguous = false;
    for (int y = start.y; y <= end.y; ++y) {
        std::string_view line = buf.LineView(y);
        size_t from = y == start.y ? size_t(start.x) : 0;
        size_t to = y == end.y ? size_t(end.x) : line.size();
        std::string_view piece = line.substr(from, to - from);
        if (piece.find('\r') != std::string_view::npos)
            ambiguous = true;
        pieces.push_back(static_cast<int32_t>(piece.size()));
    }
    if (!ambiguous)
        pieces.clear();
    return pieces;
}

} // namespace

bool CTextBuffer::InsertAt(BufferView* source, int line, int byte, std::string_view text,
                           int& endLine, int& endByte, int action) {
    if (line == -1 && byte == -1 && !lines.empty()) {
        // Record where the text really goes, so undo erases exactly it.
        line = CountLines() - 1;
        byte = lines.back().length;
    }
    int el = 0, eb = 0;
    if (!RawInsert(source, line, byte, text, el, eb))
        return false;
    endLine = el;
    endByte = eb;
    RecordChange(source, true, TextPos{line, byte}, TextPos{el, eb}, text, action);
    return true;
}

bool CTextBuffer::InsertCopiedText(BufferView* source, int line, int byte, std::string_view text,
                                   int& endLine, int& endByte, int action) {
    std::vector<std::string_view> pieces;
    std::vector<int32_t> lengths;
    bool ownCr = false;
    for (size_t start = 0;;) {
        const size_t brk = text.find("\r\n", start);
        const std::string_view piece =
            text.substr(start, brk == std::string_view::npos ? brk : brk - start);
        pieces.push_back(piece);
        lengths.push_back(static_cast<int32_t>(piece.size()));
        ownCr = ownCr || piece.find('\r') != std::string_view::npos;
        if (brk == std::string_view::npos)
            break;
        start = brk + 2;
    }
    // Without a CR of its own the text splits the same either way, and its
    // undo entry needs no piece lengths.
    if (!ownCr)
        return InsertAt(source, line, byte, text, endLine, endByte, action);
    if (line == -1 && byte == -1 && !lines.empty()) {
        line = CountLines() - 1;
        byte = lines.back().length;
    }
    const TextPos start{line, byte};
    TextPos end;
    if (!RawInsertPieces(source, start, pieces, end))
        return false;
    endLine = end.y;
    endByte = end.x;
    // Redo must put the same lines back, not break them at their CR bytes.
    RecordChange(source, true, start, end, text, action, std::move(lengths));
    return true;
}

bool CTextBuffer::EraseRange(BufferView* source, int startLine, int startByte, int endLine,
                             int endByte, int action) {
    const TextPos start{startLine, startByte};
    const TextPos end{endLine, endByte};
    if (writeProtected || !ValidPos(startLine, startByte) || !ValidPos(endLine, endByte) ||
        end < start)
        return false;
    std::string text;
    CopyText(startLine, startByte, endLine, endByte, text);
    std::vector<int32_t> pieces = ErasedPieces(*this, start, end);
    if (!RawErase(source, startLine, startByte, endLine, endByte))
        return false;
    RecordChange(source, false, start, end, text, action, std::move(pieces));
    return true;
}

// A change made outside any explicit group is a group of its own.
void CTextBuffer::RecordChange(BufferView* source, bool inserted, TextPos start, TextPos end,
                               std::string_view text, int action, std::vector<int32_t> pieces) {
    if (groupOpen) {
        RecordEdit(inserted, start, end, text, action, std::move(pieces));
        return;
    }
    BeginEditGroup(false);
    RecordEdit(inserted, start, end, text, action, std::move(pieces));
    EndEditGroup(source);
}

void CTextBuffer::RecordChange(BufferView* source, UndoEntry entry) {
    const bool ownGroup = !groupOpen;
    if (ownGroup)
        BeginEditGroup(false);
    PushEntry(std::move(entry));
    if (ownGroup)
        EndEditGroup(source);
}

void CTextBuffer::BeginEditGroup(bool mergeWithPrevious) {
    groupOpen = true;
    nextStartsGroup = undoPos == 0 || !mergeWithPrevious;
}

void CTextBuffer::EndEditGroup(BufferView* source) {
    if (source && undoPos > 0) {
        nextStartsGroup = true;
        // groupOpen stays set meanwhile: an insertion the view makes now (the
        // automatic indentation) forms a group of its own.
        const UndoEntry& last = undoEntries[size_t(undoPos - 1)];
        std::string text = last.text; // the view may record, and so move the history
        source->AfterEditAction(last.action, text);
    }
    groupOpen = false;
}

void CTextBuffer::RecordEdit(bool inserted, TextPos start, TextPos end, std::string_view text,
                             int action, std::vector<int32_t> pieces) {
    UndoEntry entry;
    entry.flags = inserted ? uint32_t(ENTRY_INSERT) : 0u;
    entry.start = start;
    entry.end = end;
    entry.action = action;
    entry.text.assign(text);
    entry.pieces = std::move(pieces);
    PushEntry(std::move(entry));
}

void CTextBuffer::PushEntry(UndoEntry entry) {
    if (undoPos < UndoEntryCount()) {
        for (int i = undoPos; i < UndoEntryCount(); ++i)
            if (undoEntries[size_t(i)].flags & ENTRY_GROUP_START)
                --groupCount;
        undoEntries.erase(undoEntries.begin() + undoPos, undoEntries.end());
        if (savedPos > undoPos)
            savedPos = -1; // the saved state was in the discarded redo history
    }

    // The history's first entry always starts a group, so that undo never walks
    // off its front.
    if (nextStartsGroup || undoEntries.empty()) {
        // The limit counts steps: the oldest goes whole when a new one starts,
        // and a group being recorded is never cut, however long it grows.
        if (groupCount >= undoLimit)
            DropOldestGroup();
        entry.flags |= ENTRY_GROUP_START;
        ++groupCount;
    }
    nextStartsGroup = false;
    undoEntries.push_back(std::move(entry));
    undoPos = UndoEntryCount();
}

void CTextBuffer::DropOldestGroup() {
    int j = 1;
    const int count = UndoEntryCount();
    while (j < count && !(undoEntries[size_t(j)].flags & ENTRY_GROUP_START))
        ++j;
    undoEntries.erase(undoEntries.begin(), undoEntries.begin() + j);
    --groupCount;
    undoPos = UndoEntryCount();
    // Keep savedPos pointing at the same state; a saved state that was dropped
    // can no longer be reached.
    savedPos = savedPos >= j ? savedPos - j : -1;
}

void CTextBuffer::ResetUndoState() {
    undoEntries.clear();
    groupCount = 0;
    undoPos = 0;
    savedPos = 0;
    groupOpen = false;
    nextStartsGroup = false;
    undoLimit = 1024;
}

bool CTextBuffer::ReplayEntry(UndoEntry& e, bool forward, TextPos& cursor) {
    if (e.flags & ENTRY_SUBSTITUTE) {
        const LineSubstitution& change = e.substitution->change;
        cursor = forward
                     ? change.LastEnd()
                     : TextPos{change.FirstStart().y, change.FirstStart().x + change.FindLength()};
        SwapSubstitution(*e.substitution, forward);
        return true;
    }
    int el = 0, eb = 0;
    // An insertion done forward, or an erasure undone, puts text back.
    if (((e.flags & ENTRY_INSERT) != 0) == forward) {
        cursor = e.end;
        if (e.pieces.empty())
            return RawInsert(nullptr, e.start.y, e.start.x, e.text, el, eb);
        std::vector<std::string_view> pieces;
        size_t at = 0;
        for (int32_t len : e.pieces) {
            pieces.push_back(std::string_view(e.text).substr(at, size_t(len)));
            at += size_t(len) + 2;
        }
        TextPos end;
        return RawInsertPieces(nullptr, e.start, pieces, end);
    }
    cursor = e.start;
    return RawErase(nullptr, e.start.y, e.start.x, e.end.y, e.end.x);
}

void CTextBuffer::UpdateModifiedAfterReplay() {
    if (modified && savedPos == undoPos)
        MarkModified(false);
    if (!modified && savedPos != undoPos)
        MarkModified(true);
}

bool CTextBuffer::UndoLast(TextPos& cursor) {
    // Replaying onto a protected buffer would move the history without the text.
    if (!HasUndo() || writeProtected)
        return false;
    while (undoPos > 0) {
        UndoEntry& e = undoEntries[size_t(--undoPos)];
        ReplayEntry(e, false, cursor);
        if (e.flags & ENTRY_GROUP_START)
            break;
    }
    UpdateModifiedAfterReplay();
    return true;
}

bool CTextBuffer::RedoNext(TextPos& cursor) {
    if (!HasRedo() || writeProtected)
        return false;
    do {
        ReplayEntry(undoEntries[size_t(undoPos)], true, cursor);
        ++undoPos;
    } while (undoPos < UndoEntryCount() &&
             !(undoEntries[size_t(undoPos)].flags & ENTRY_GROUP_START));
    UpdateModifiedAfterReplay();
    return true;
}

void CTextBuffer::UndoLabel(std::string& label) const {
    label.clear();
    if (!HasUndo())
        return;
    int i = undoPos - 1;
    while (i > 0 && !(undoEntries[size_t(i)].flags & ENTRY_GROUP_START))
        --i;
    ActionLabel(undoEntries[size_t(i)].action, label);
}

void CTextBuffer::RedoLabel(std::string& label) const {
    label.clear();
    if (HasRedo())
        ActionLabel(undoEntries[size_t(undoPos)].action, label);
}

bool CTextBuffer::ActionLabel(int action, std::string& label) const {
    return ActionLabelText(action, label);
}
