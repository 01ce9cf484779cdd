// Replace all as one change: every changed line is written once into a text
// block, and undo and redo swap the old and new line texts.
#include "editor/buffer/CTextBuffer.h"

namespace {

uint32_t SubstitutionBits(const LineSubstitution& change) {
    return CHANGE_WIDTH | (change.LineCount() == 1 ? CHANGE_ONE_LINE : CHANGE_LINES);
}

} // namespace

bool CTextBuffer::Substitute(BufferView* source, LineSubstitution change, int action) {
    if (writeProtected || change.Empty())
        return false;
    const auto lengthOf = [this](int line) {
        return line >= 0 && line < CountLines() ? int64_t(lines[size_t(line)].length) : -1;
    };
    if (!change.FitsLines(lengthOf))
        return false;
    int64_t total = 0;
    for (size_t i = 0; i < change.LineCount(); ++i) {
        const int64_t length = change.NewLength(i, lines[size_t(change.Line(i))].length);
        if (length > kMaxLineLength)
            return false;
        total += length;
    }

    auto undo = std::make_unique<SubstitutionUndo>(std::move(change));
    const LineSubstitution& c = undo->change;
    undo->texts.reserve(c.LineCount());
    undo->owned.reserve(c.LineCount());
    char* next = CarveText(size_t(total));
    for (size_t i = 0; i < c.LineCount(); ++i) {
        LineRecord& rec = lines[size_t(c.Line(i))];
        const int32_t length = int32_t(c.NewLength(i, rec.length));
        c.Rewrite(i, {rec.text, size_t(rec.length)}, next);
        undo->texts.push_back(rec.text);
        undo->owned.push_back(rec.OwnsText());
        rec.text = next;
        rec.length = length;
        rec.SetOwnsText(false);
        next += length;
    }
    SubstitutionAdjuster adjuster(c, true);
    NotifyViews(source, &adjuster, SubstitutionBits(c), c.Line(0));
    if (!modified)
        MarkModified(true);

    UndoEntry entry;
    entry.flags = ENTRY_SUBSTITUTE;
    entry.start = c.FirstStart();
    entry.end = c.LastEnd();
    entry.action = action;
    entry.text = c.Replacement();
    entry.substitution = std::move(undo);
    RecordChange(source, std::move(entry));
    return true;
}

void CTextBuffer::SwapSubstitution(SubstitutionUndo& undo, bool forward) {
    const LineSubstitution& c = undo.change;
    for (size_t i = 0; i < c.LineCount(); ++i) {
        LineRecord& rec = lines[size_t(c.Line(i))];
        const int64_t shift = int64_t(c.MatchEnd(i) - c.MatchBegin(i)) * c.Shift();
        const bool owns = rec.OwnsText();
        std::swap(rec.text, undo.texts[i]);
        rec.length = int32_t(forward ? rec.length + shift : rec.length - shift);
        rec.SetOwnsText(undo.owned[i]);
        undo.owned[i] = owns;
    }
    SubstitutionAdjuster adjuster(c, forward);
    NotifyViews(nullptr, &adjuster, SubstitutionBits(c), c.Line(0));
}
