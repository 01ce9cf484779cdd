// Random edit scripts on CTextBuffer against a plain model.
//
// The input is a script: how the text starts (empty, or loaded from bytes of
// the input in a given break style, so that lines may hold CR and LF bytes),
// then operations: insert and erase at random positions (valid or not), undo,
// redo, explicit groups that start or continue, write protection, bursts of
// typing that run the history into its limit, replace all, and saves. The model is the
// text as a list of lines, the history as a list of groups that each keep the
// text before and after them, and the saved position. After every step the
// buffer must hold the model's text and agree on what can be undone, redone,
// the history's size, labels, the modified state and the cursor undo leaves.
// A view attached to the buffer keeps a caret that every change must leave on
// a valid position and, for direct edits, on the same text.

#include <deque>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "editor/buffer/CTextBuffer.h"
#include "editor/text/ReplaceAll.h"

namespace {

using Text = std::vector<std::string>;

constexpr size_t kUndoLimit = 1024; // undo steps (groups) the buffer's history keeps

std::string Show(const Text& t) {
    std::string s;
    for (size_t i = 0; i < t.size() && s.size() < 600; ++i)
        s += (i ? "|" : "") + Escaped(t[i]);
    return s;
}

std::string Show(TextPos p) {
    return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
}

bool Valid(const Text& t, TextPos p) {
    return p.y >= 0 && size_t(p.y) < t.size() && p.x >= 0 && size_t(p.x) <= t[size_t(p.y)].size();
}

// Inserted text breaks at CR, which takes one LF after it along.
std::vector<std::string> Pieces(std::string_view text) {
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            pieces.emplace_back();
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            pieces.back() += text[i];
        }
    }
    return pieces;
}

TextPos Insert(Text& t, TextPos at, std::string_view text) {
    const std::vector<std::string> pieces = Pieces(text);
    std::string& line = t[size_t(at.y)];
    const std::string tail = line.substr(size_t(at.x));
    line.resize(size_t(at.x));
    line += pieces[0];
    for (size_t i = 1; i < pieces.size(); ++i)
        t.insert(t.begin() + at.y + int(i), pieces[i]);
    const size_t last = size_t(at.y) + pieces.size() - 1;
    const TextPos end{int32_t(last), int32_t(t[last].size())};
    t[last] += tail;
    return end;
}

void Erase(Text& t, TextPos from, TextPos to) {
    const std::string tail = t[size_t(to.y)].substr(size_t(to.x));
    t[size_t(from.y)].resize(size_t(from.x));
    t[size_t(from.y)] += tail;
    t.erase(t.begin() + from.y + 1, t.begin() + to.y + 1);
}

// The text from a position to the end.
Text After(const Text& t, TextPos p) {
    Text out(t.begin() + p.y, t.end());
    out[0] = out[0].substr(size_t(p.x));
    return out;
}

struct Group {
    Text before, after;
    int entries = 0;
    int action = 0;     // of its first entry: the menu names the group by it
    TextPos undoCursor; // where undoing its first entry leaves the cursor
    TextPos redoCursor; // where redoing its last entry leaves it
};

// The buffer as it should be.
struct Model {
    Text text{""};
    std::deque<Group> groups; // the oldest goes at the history limit
    size_t pos = 0;           // groups applied
    long saved = 0;           // groups applied at the last save, -1 when unreachable
    bool modified = false;
    bool groupOpen = false;
    bool nextStarts = false;
    bool locked = false;

    int total = 0;           // entries in all groups
    bool afterStale = false; // the last group's after is the current text, not yet copied

    int Entries(size_t upTo) const {
        int n = 0;
        for (size_t i = 0; i < upTo; ++i)
            n += groups[i].entries;
        return n;
    }

    void Reset(Text t) {
        *this = Model{};
        text = std::move(t);
    }

    // The text of the last group once the text moves away from it. Copying it
    // only then keeps long typing bursts fast.
    void SettleAfter() {
        if (afterStale)
            groups.back().after = text;
        afterStale = false;
    }

    // A change about to be made to text; Made follows once it is.
    void Record(int action, TextPos undoCursor) {
        bool starts = !groupOpen || nextStarts;
        nextStarts = false;
        if (pos < groups.size()) {
            groups.resize(pos); // an undo came first and settled the last group
            total = Entries(pos);
            if (saved > long(pos))
                saved = -1;
        }
        if (pos == 0)
            starts = true;
        if (starts && groups.size() >= kUndoLimit) {
            // A new step drops the oldest one whole; a step never loses part.
            SettleAfter();
            total -= groups.front().entries;
            groups.erase(groups.begin());
            --pos;
            saved = saved >= 1 ? saved - 1 : -1;
        }
        if (starts) {
            SettleAfter();
            groups.push_back(Group{text, {}, 0, action, undoCursor, {}});
            ++pos;
        } else if (saved == long(pos)) {
            saved = -1; // the saved state is now inside a group: never reached again
        }
        ++groups.back().entries;
        ++total;
    }

    void Made(TextPos redoCursor) {
        groups.back().redoCursor = redoCursor;
        afterStale = true;
        modified = true;
    }

    void Replayed() { modified = saved != long(pos); }
};

// Keeps a caret as a view would, and checks every notification leaves it valid.
class CaretView : public BufferView {
public:
    explicit CaretView(const CTextBuffer& buf) : buf(buf) {}
    void OnBufferChanged(BufferView*, const PositionAdjuster* adjuster, uint32_t bits,
                         int) override {
        if (bits & CHANGE_RESET)
            caret = {};
        if (adjuster)
            adjuster->Adjust(caret);
        FUZZ_CHECK(caret.y >= 0 && caret.y < buf.CountLines() && caret.x >= 0 &&
                       caret.x <= buf.LineSize(caret.y),
                   "the caret left the text: " + Show(caret));
    }
    TextPos caret;

private:
    const CTextBuffer& buf;
};

Text BufferText(const CTextBuffer& buf) {
    Text t;
    for (int i = 0; i < buf.CountLines(); ++i)
        t.emplace_back(buf.LineView(i));
    return t;
}

std::string Label(int action) {
    std::string label;
    ActionLabelText(action, label);
    return label;
}

class Script {
public:
    explicit Script(FuzzInput& in) : in(in), view(buf) { buf.AttachView(&view); }
    ~Script() { buf.DetachView(&view); }

    void Start() {
        const uint8_t how = in.Byte();
        if (how % 4 == 0) {
            buf.CreateEmpty(LINE_END_CRLF);
            model.Reset({""});
            return;
        }
        const std::string path = ScratchFolder() + "/start.nc";
        const std::string_view bytes = in.Bytes(255);
        WriteFile(path, bytes);
        FUZZ_CHECK(buf.LoadFromDisk(path, int(how % 4) - 1), "load " + path);
        model.Reset(BufferText(buf));
        step = "load " + Escaped(bytes);
    }

    void Step() {
        switch (in.Byte() % 14) {
        case 0:
        case 1:
            InsertStep(in.Bytes(40));
            break;
        case 2:
        case 3:
            EraseStep();
            break;
        case 4:
            UndoStep();
            break;
        case 5:
            RedoStep();
            break;
        case 6:
            buf.BeginEditGroup(false);
            model.groupOpen = true;
            model.nextStarts = true;
            step = "begin group";
            break;
        case 7:
            buf.BeginEditGroup(true);
            model.groupOpen = true;
            model.nextStarts = model.pos == 0;
            step = "begin group continuing the last";
            break;
        case 8:
            buf.EndEditGroup(nullptr);
            model.groupOpen = false;
            step = "end group";
            break;
        case 9:
            model.locked = !model.locked;
            buf.SetWriteProtected(model.locked);
            step = model.locked ? "protect" : "unprotect";
            break;
        case 10:
            TypingStep();
            break;
        case 11:
            if (in.Byte() % 2) // a save costs as much as many edits: not too often
                SaveStep();
            break;
        case 12:
            ReplaceAllStep();
            break;
        default:
            view.caret = {};
            view.caret.y = int32_t(in.Below(model.text.size()));
            view.caret.x = int32_t(in.Below(model.text[size_t(view.caret.y)].size() + 1));
            step = "caret to " + Show(view.caret);
            break;
        }
        Compare();
    }

    const std::string& LastStep() const { return step; }

private:
    TextPos AnyPos() {
        // One line and one byte past the text are refused positions, tried too.
        const int y = int(in.Below(model.text.size() + 1));
        const size_t len = size_t(y) < model.text.size() ? model.text[size_t(y)].size() : 0;
        return {y, int32_t(in.Below(len + 2))};
    }

    void InsertStep(std::string_view text) {
        TextPos at = AnyPos();
        const int action = int(in.Byte() % 12);
        if (in.Byte() % 8 == 0)
            at = {-1, -1}; // the end of the text
        step = "insert " + Escaped(text) + " at " + Show(at);
        const TextPos real = at == TextPos{-1, -1} ? TextPos{int32_t(model.text.size() - 1),
                                                             int32_t(model.text.back().size())}
                                                   : at;
        const TextPos caret = view.caret;
        const Text tail = real < caret ? After(model.text, caret) : Text{};
        int endLine = -9, endByte = -9;
        const bool ok = buf.InsertAt(nullptr, at.y, at.x, text, endLine, endByte, action);
        FUZZ_CHECK(ok == (!model.locked && Valid(model.text, real)), "insert refused or not");
        if (!ok)
            return;
        model.Record(action, real);
        const TextPos end = Insert(model.text, real, text);
        model.Made(end);
        FUZZ_CHECK((TextPos{endLine, endByte}) == end,
                   "insert ended at " + Show(TextPos{endLine, endByte}) + " not " + Show(end));
        if (real < caret)
            FUZZ_CHECK(After(model.text, view.caret) == tail, "the caret lost its text");
        else
            FUZZ_CHECK(view.caret == caret, "a caret before an insertion moved");
    }

    void EraseStep() {
        const TextPos from = AnyPos();
        const TextPos to = AnyPos();
        const int action = int(in.Byte() % 12);
        step = "erase " + Show(from) + " to " + Show(to);
        const TextPos caret = view.caret;
        const bool caretAfter = Valid(model.text, caret) && caret >= to && Valid(model.text, to);
        const Text tail = caretAfter ? After(model.text, caret) : Text{};
        const bool ok = buf.EraseRange(nullptr, from.y, from.x, to.y, to.x, action);
        FUZZ_CHECK(ok == (!model.locked && Valid(model.text, from) && Valid(model.text, to) &&
                          !(to < from)),
                   "erase refused or not");
        if (!ok)
            return;
        model.Record(action, to);
        Erase(model.text, from, to);
        model.Made(from);
        if (caret <= from)
            FUZZ_CHECK(view.caret == caret, "a caret before an erasure moved");
        else if (caret >= to)
            FUZZ_CHECK(After(model.text, view.caret) == tail, "the caret lost its text");
        else
            FUZZ_CHECK(view.caret == from, "a caret inside an erasure goes to its start");
    }

    // Replace all from a position to the end of the text, as one change. Which
    // matches it takes is the search's business (tested on its own); here the
    // model applies the same matches, and undo and redo must give back each
    // side exactly, through trimming, lost redo and groups.
    void ReplaceAllStep() {
        const std::string find(in.Bytes(3));
        const std::string replacement(in.Bytes(4));
        const uint32_t flags = in.Byte() % 4;
        const int action = int(in.Byte() % 12);
        TextPos from = AnyPos();
        step =
            "replace all " + Escaped(find) + " by " + Escaped(replacement) + " from " + Show(from);
        ReplaceRange range;
        LineSubstitution change = CollectReplacements(buf, find, replacement, flags, from, range);
        const size_t matches = change.MatchCount();
        Text expected = model.text;
        TextPos undoCursor, redoCursor;
        if (matches > 0) {
            for (size_t i = 0; i < change.LineCount(); ++i) {
                std::string& line = expected[size_t(change.Line(i))];
                for (size_t m = change.MatchEnd(i); m-- > change.MatchBegin(i);)
                    line.replace(size_t(change.Offset(m)), find.size(), replacement);
            }
            undoCursor = {change.FirstStart().y, change.FirstStart().x + int32_t(find.size())};
            redoCursor = change.LastEnd();
        }
        const bool ok = buf.Substitute(nullptr, std::move(change), action);
        FUZZ_CHECK(ok == (!model.locked && matches > 0), "replace all done or not");
        if (!ok)
            return;
        model.Record(action, undoCursor);
        model.text = std::move(expected);
        model.Made(redoCursor);
    }

    void UndoStep() {
        step = "undo";
        TextPos cursor{-5, -5};
        const bool ok = buf.UndoLast(cursor);
        FUZZ_CHECK(ok == (!model.locked && model.pos > 0), "undo done or not");
        if (!ok)
            return;
        model.SettleAfter();
        const Group& g = model.groups[--model.pos];
        model.text = g.before;
        model.Replayed();
        FUZZ_CHECK(cursor == g.undoCursor,
                   "undo left the cursor at " + Show(cursor) + " not " + Show(g.undoCursor));
    }

    void RedoStep() {
        step = "redo";
        TextPos cursor{-5, -5};
        const bool ok = buf.RedoNext(cursor);
        FUZZ_CHECK(ok == (!model.locked && model.pos < model.groups.size()), "redo done or not");
        if (!ok)
            return;
        const Group& g = model.groups[model.pos++];
        model.text = g.after;
        model.Replayed();
        FUZZ_CHECK(cursor == g.redoCursor,
                   "redo left the cursor at " + Show(cursor) + " not " + Show(g.redoCursor));
    }

    // Typing: one character at a time, each continuing the group unless it is
    // a blank, as the editing view does. Long bursts run the history into its
    // limit.
    void TypingStep() {
        const size_t count = in.Byte() * 4u;
        const char first = char(in.Byte());
        const TextPos at = AnyPos();
        step = "type " + std::to_string(count) + " at " + Show(at);
        if (!Valid(model.text, at) || model.locked)
            return;
        TextPos caret = at;
        for (size_t i = 0; i < count; ++i) {
            const char c = i % 7 == 6 ? ' ' : char(first + i % 7);
            const std::string one(1, c);
            buf.BeginEditGroup(c != ' ');
            model.groupOpen = true;
            model.nextStarts = c == ' ' || model.pos == 0;
            int el = 0, eb = 0;
            FUZZ_CHECK(buf.InsertAt(nullptr, caret.y, caret.x, one, el, eb, ACTION_TYPING),
                       "typing refused");
            model.Record(ACTION_TYPING, caret);
            const TextPos end = Insert(model.text, caret, one);
            model.Made(end);
            FUZZ_CHECK((TextPos{el, eb}) == end, "typing ended elsewhere");
            buf.EndEditGroup(nullptr);
            model.groupOpen = false;
            caret = end;
        }
    }

    void SaveStep() {
        const int mode = int(in.Byte() % 4) - 1;
        step = "save in style " + std::to_string(mode);
        const std::string path = ScratchFolder() + "/saved.nc";
        FUZZ_CHECK(buf.SaveToDisk(path, mode), "save failed");
        model.saved = long(model.pos);
        model.modified = false;
        const std::string_view brk = LineBreakBytes(mode == -1 ? buf.GetLineEndMode() : mode);
        std::string expected;
        for (size_t i = 0; i < model.text.size(); ++i)
            expected += (i ? std::string(brk) : std::string()) + model.text[i];
        const std::string bytes = ReadFile(path);
        FUZZ_CHECK(bytes == expected, "saved " + Escaped(bytes));
    }

    void Compare() {
        const Text now = BufferText(buf);
        FUZZ_CHECK(now == model.text,
                   "after " + step + ":\n buffer " + Show(now) + "\n model  " + Show(model.text));
        FUZZ_CHECK(buf.HasUndo() == (model.pos > 0), "HasUndo after " + step);
        FUZZ_CHECK(buf.HasRedo() == (model.pos < model.groups.size()), "HasRedo after " + step);
        FUZZ_CHECK(buf.UndoEntryCount() == model.total &&
                       model.total == model.Entries(model.groups.size()),
                   "history of " + std::to_string(buf.UndoEntryCount()) + " entries after " + step);
        FUZZ_CHECK(buf.UndoPosition() == model.Entries(model.pos), "undo position after " + step);
        FUZZ_CHECK(buf.IsModified() == model.modified, "modified state after " + step);
        std::string label;
        buf.UndoLabel(label);
        FUZZ_CHECK(label == (model.pos > 0 ? Label(model.groups[model.pos - 1].action) : ""),
                   "undo label after " + step);
        buf.RedoLabel(label);
        FUZZ_CHECK(
            label == (model.pos < model.groups.size() ? Label(model.groups[model.pos].action) : ""),
            "redo label after " + step);
    }

    FuzzInput& in;
    CTextBuffer buf;
    CaretView view;
    Model model;
    std::string step;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    Script script(in);
    script.Start();
    for (int steps = 0; !in.Empty() && steps < 400; ++steps)
        script.Step();
    return 0;
}
