#include "editor/view/CEditView.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <algorithm>

#include "common/Gbk.h"
#include "common/StringTable.h"
#include "editor/buffer/CTextBuffer.h"
#include "editor/view/EditCommands.h"
#include "editor/view/ViewCommands.h"

CEditView::CEditView(QWidget* parent) : CTextView(parent) {
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    // Typed Chinese arrives through the input method as committed text.
    setAttribute(Qt::WA_InputMethodEnabled, true);
    CEditView::ResetViewState();
}

CEditView::~CEditView() = default;

bool CEditView::CanEdit() const {
    return Buffer() != nullptr && !Buffer()->IsWriteProtected();
}

void CEditView::ResetViewState() {
    autoIndent = true;
    overwrite = false;
    CTextView::ResetViewState();
}

void CEditView::PlaceAt(TextPos p) {
    PlaceAnchor(p);
    SelectRange(p, p);
    PlaceCursor(p);
    ScrollIntoView(p);
}

void CEditView::OrderedSelection(TextPos& start, TextPos& end) const {
    if (!HasSelection()) {
        start = end = Cursor();
        return;
    }
    start = GuardDoubleByte(std::min(SelStart(), SelEnd()));
    end = GuardDoubleByte(std::max(SelStart(), SelEnd()));
}

bool CEditView::EraseSelection(int action) {
    TextPos s, e;
    OrderedSelection(s, e);
    if (s == e)
        return false;
    PlaceAt(s);
    Buffer()->EraseRange(this, s.y, s.x, e.y, e.x, action);
    return true;
}

// ---------------------------------------------------------------------------
// Typing

void CEditView::TypeCharacter(std::string_view ch) {
    if (ch.empty() || (QApplication::mouseButtons() & (Qt::LeftButton | Qt::RightButton)))
        return;
    const auto c = static_cast<unsigned char>(ch[0]);
    if (c == '\r') {
        Enter();
        return;
    }
    if (c < 32 || !CanEdit())
        return;
    CTextBuffer* b = Buffer();
    b->BeginEditGroup(c != ' '); // a space starts a new undo group
    TextPos at = Cursor();
    if (HasSelection()) {
        TextPos e;
        OrderedSelection(at, e);
        EraseSelection();
    } else if (overwrite && at.x < LineLength(at.y)) {
        // The character under the cursor goes, all of its bytes: part of a
        // character left behind would corrupt the line.
        b->EraseRange(this, at.y, at.x, at.y, CharEnd(at), ACTION_TYPING);
    }
    int el = 0, eb = 0;
    if (b->InsertAt(this, at.y, at.x, ch, el, eb, ACTION_TYPING))
        PlaceAt({el, eb});
    b->EndEditGroup(this);
}

void CEditView::TypeText(const QString& text) {
    const std::string bytes = DocumentBytes(text);
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = CharLength(bytes, i, Encoding());
        TypeCharacter(std::string_view(bytes).substr(i, n));
        i += n;
    }
}

void CEditView::Enter() {
    const TextPos cur = Cursor();
    if (overwrite && cur.y < LineCount() - 1) {
        PlaceAt({cur.y + 1, 0}); // moves to the next line, the text unchanged
        return;
    }
    if (!CanEdit())
        return;
    CTextBuffer* b = Buffer();
    b->BeginEditGroup(false);
    EraseSelection();
    const TextPos at = Cursor();
    int el = 0, eb = 0;
    if (b->InsertAt(this, at.y, at.x, "\r\n", el, eb, ACTION_TYPING))
        PlaceAt({el, eb});
    b->EndEditGroup(this); // the automatic indentation follows, as a group of its own
}

void CEditView::AfterEditAction(int action, std::string_view text) {
    if (!autoIndent || action != ACTION_TYPING || text != "\r\n" || overwrite || !CanEdit())
        return;
    const TextPos cur = Cursor();
    if (cur.y < 1)
        return;
    const std::string_view above = LineView(cur.y - 1);
    size_t n = 0;
    while (n < above.size() && (above[n] == ' ' || (above[n] >= 0x09 && above[n] <= 0x0D)))
        ++n;
    if (n == 0)
        return;
    const std::string copy(above.substr(0, n));
    int el = 0, eb = 0;
    if (Buffer()->InsertAt(nullptr, cur.y, cur.x, copy, el, eb, ACTION_AUTOINDENT))
        PlaceAt({el, eb});
}

// ---------------------------------------------------------------------------
// Deleting

void CEditView::Backspace() {
    if (HasSelection()) {
        Delete(); // so that it records a delete, not a backspace
        return;
    }
    if (!CanEdit())
        return;
    const TextPos end = Cursor();
    TextPos p = end;
    if (p.x > 0) {
        p = GuardDoubleByte({p.y, p.x - 1});
    } else if (p.y > 0) {
        p = {p.y - 1, LineLength(p.y - 1)};
    }
    PlaceAt(p);
    if (!(p == end))
        Buffer()->EraseRange(this, p.y, p.x, end.y, end.x, ACTION_BACKSPACE);
}

void CEditView::Delete() {
    if (!CanEdit())
        return;
    TextPos s, e;
    OrderedSelection(s, e);
    if (s == e) {
        if (e.x >= LineLength(e.y)) {
            if (e.y >= LineCount() - 1)
                return; // the end of the text: nothing to join
            e = {e.y + 1, 0};
        } else {
            e.x = CharEnd(e);
        }
    }
    PlaceAt(s);
    Buffer()->EraseRange(this, s.y, s.x, e.y, e.x, ACTION_DELETE);
}

// ---------------------------------------------------------------------------
// Clipboard, undo, received text

void CEditView::Cut() {
    if (!CanEdit() || !HasSelection())
        return;
    TextPos s, e;
    OrderedSelection(s, e);
    std::string text;
    TextBetween(s, e, text);
    PutTextOnClipboard(text);
    PlaceAt(s);
    Buffer()->EraseRange(this, s.y, s.x, e.y, e.x, ACTION_CUT);
}

void CEditView::Paste() {
    if (!CanEdit())
        return;
    CTextBuffer* b = Buffer();
    b->BeginEditGroup(false);
    EraseSelection();
    std::string bytes;
    if (GetTextFromClipboard(bytes) && !bytes.empty()) {
        const TextPos at = Cursor();
        int el = 0, eb = 0;
        if (b->InsertCopiedText(this, at.y, at.x, bytes, el, eb, ACTION_PASTE))
            PlaceAt({el, eb});
    }
    b->EndEditGroup(this);
}

void CEditView::Undo() {
    TextPos p;
    if (CanEdit() && Buffer()->HasUndo() && Buffer()->UndoLast(p))
        PlaceAt(p);
}

void CEditView::Redo() {
    TextPos p;
    if (CanEdit() && Buffer()->HasRedo() && Buffer()->RedoNext(p))
        PlaceAt(p);
}

void CEditView::AppendReceivedText(std::string_view text) {
    if (!CanEdit() || text.empty())
        return;
    CTextBuffer* b = Buffer();
    b->BeginEditGroup(false);
    int el = 0, eb = 0;
    if (b->InsertAt(nullptr, -1, -1, text, el, eb, ACTION_TYPING)) {
        const TextPos end{el, eb};
        PlaceAnchor(end);
        PlaceCursor(end);
        ScrollIntoView(end);
    }
    b->EndEditGroup(nullptr);
}

// ---------------------------------------------------------------------------
// Commands and their state

bool CEditView::ExecuteCommand(int id) {
    switch (id) {
    case ID_EDIT_DELETE:
        Delete();
        return true;
    case ID_EDIT_DELETE_BACK:
        Backspace();
        return true;
    case ID_EDIT_DELETE_WORD_BACK:
        return true; // the key is taken, and does nothing
    case ID_EDIT_TAB:
        Tab();
        return true;
    case ID_EDIT_UNTAB:
        Untab();
        return true;
    case ID_EDIT_SWITCH_OVRMODE:
        ToggleOverwrite();
        return true;
    case ID_EDIT_CUT:
        Cut();
        return true;
    case ID_EDIT_PASTE:
        Paste();
        return true;
    case ID_EDIT_UNDO:
        Undo();
        return true;
    case ID_EDIT_REDO:
        Redo();
        return true;
    case ID_EDIT_REPLACE:
        Replace();
        return true;
    default:
        return CTextView::ExecuteCommand(id);
    }
}

bool CEditView::IsCommandEnabled(int id) const {
    switch (id) {
    case ID_EDIT_PASTE:
        return ClipboardHasText();
    case ID_EDIT_CUT:
        return HasSelection();
    // Replaying history onto a protected buffer is refused, so the items say so.
    case ID_EDIT_UNDO:
        return CanEdit() && Buffer()->HasUndo();
    case ID_EDIT_REDO:
        return CanEdit() && Buffer()->HasRedo();
    case ID_EDIT_DELETE:
    case ID_EDIT_DELETE_BACK:
    case ID_EDIT_TAB:
    case ID_EDIT_UNTAB:
    case ID_EDIT_SWITCH_OVRMODE:
    case ID_EDIT_REPLACE:
        return true;
    default:
        return CTextView::IsCommandEnabled(id);
    }
}

bool CEditView::IsCommandChecked(int id) const {
    if (id == ID_EDIT_SWITCH_OVRMODE)
        return overwrite;
    return CTextView::IsCommandChecked(id);
}

QString CEditView::UndoMenuText() const {
    std::string label;
    const bool has = Buffer() != nullptr && Buffer()->HasUndo();
    if (has)
        Buffer()->UndoLabel(label);
    return QString::fromStdString(::UndoMenuText(has ? &label : nullptr));
}

QString CEditView::RedoMenuText() const {
    std::string label;
    const bool has = Buffer() != nullptr && Buffer()->HasRedo();
    if (has)
        Buffer()->RedoLabel(label);
    return QString::fromStdString(::RedoMenuText(has ? &label : nullptr));
}

QString CEditView::PaneText(int paneId) const {
    if (paneId == ID_INDICATOR_OVERWRITE && overwrite)
        return QString::fromUtf8(LoadString(ID_INDICATOR_OVERWRITE));
    if (paneId == ID_INDICATOR_READONLY && Buffer() != nullptr && Buffer()->IsWriteProtected())
        return QString::fromUtf8(LoadString(ID_INDICATOR_READONLY));
    return {};
}

// ---------------------------------------------------------------------------
// Keys

void CEditView::keyPressEvent(QKeyEvent* e) {
    if (const int id = EditCommandForKey(e->keyCombination()); id != 0) {
        ExecuteCommand(id);
        e->accept();
        return;
    }
    if (ViewCommandForKey(e->keyCombination()) != 0) {
        CTextView::keyPressEvent(e);
        return;
    }
    const Qt::KeyboardModifiers mods = e->modifiers();
    const bool ctrl = mods & Qt::ControlModifier;
    const bool alt = mods & Qt::AltModifier;
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !ctrl && !alt) {
        TypeCharacter("\r");
        e->accept();
        return;
    }
    // Ctrl or Alt chords are shortcuts, not text; AltGr (both) types.
    if (!e->text().isEmpty() && ctrl == alt) {
        TypeText(e->text());
        e->accept();
        return;
    }
    CTextView::keyPressEvent(e);
}

void CEditView::inputMethodEvent(QInputMethodEvent* e) {
    if (!e->commitString().isEmpty())
        TypeText(e->commitString());
    e->accept();
}
