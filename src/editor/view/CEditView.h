#pragma once
#include <string>
#include <string_view>

#include "editor/buffer/EditAction.h"
#include "editor/view/CTextView.h"

class QMimeData;

// The text view that edits: typing in insert and overwrite mode, Enter with
// automatic indentation, Backspace and Delete that never split a double-byte
// character, Tab and Shift+Tab on whole lines, cut, paste, undo and redo, the
// Replace dialog, drops, and the append of received text. Every change goes
// through the buffer's InsertAt and EraseRange with an action code, and every
// command first asks CanEdit: a write-protected document ignores them all.
//
// The code is split by concern: CEditView.cpp (typing, deleting, clipboard,
// undo, commands), CEditViewIndent.cpp, CEditViewDrop.cpp, CEditViewReplace.cpp.
class CEditView : public CTextView {
    Q_OBJECT

public:
    explicit CEditView(QWidget* parent = nullptr);
    ~CEditView() override;

    virtual bool CanEdit() const;
    void ResetViewState() override;

    // Commands, keys and the state of their menu items and status panes.
    bool ExecuteCommand(int id) override;
    bool IsCommandEnabled(int id) const override;
    // Check marks: the overwrite command, and the text view's own.
    bool IsCommandChecked(int id) const override;
    // Texts of the Undo and Redo menu items ("撤消 输入\tCtrl+Z", "撤消\tCtrl+Z").
    QString UndoMenuText() const;
    QString RedoMenuText() const;
    // Status-bar panes 59140 (overwrite) and 37901 (write-protected): the text
    // when the pane is enabled, empty otherwise.
    QString PaneText(int paneId) const;

    bool Overwrite() const { return overwrite; }
    bool AutoIndent() const { return autoIndent; }

    // The editing operations behind the commands.
    bool EraseSelection(int action = ACTION_DELSEL);
    // One character, in the document's encoding.
    void TypeCharacter(std::string_view ch);
    void Enter();
    void Backspace();
    void Delete();
    void Tab();
    void Untab();
    void ToggleOverwrite() { overwrite = !overwrite; }
    void Cut();
    void Paste();
    void Undo();
    void Redo();

    // Text the controller sent: appended at the end as one typing group. It
    // never triggers the automatic indentation, which would put bytes into
    // the received program that the controller did not send. Dropped while
    // the document is write-protected.
    void AppendReceivedText(std::string_view text);

    // Find and replace.
    void Replace();
    // eraseAction labels the erasure in the undo history: a replace all names
    // its one step after the replacing, not after the erasing that opens it.
    bool ReplaceSelectionWith(std::string_view text, int eraseAction = ACTION_DELSEL);
    // Selects a replacement just made, with the caret at its end, in sight.
    void ShowReplacement(TextPos start, TextPos end);
    bool SelectionSaved() const { return selectionSaved; }

    // Drop side.
    void ShowDropCaret(QPoint point);
    void HideDropCaret();
    void DragAutoScroll(QPoint point);
    bool DropText(const QMimeData* data, QPoint point);
    bool DropCaretShown() const { return dropCaretShown; }
    TextPos DropPos() const { return dropPos; }

    Qt::DropActions AllowedDropEffects() const override;
    void AfterDragSource(Qt::DropAction effect) override;
    void OnBufferChanged(BufferView* source, const PositionAdjuster* adjuster, uint32_t bits,
                         int line) override;
    void AfterEditAction(int action, std::string_view text) override;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dragLeaveEvent(QDragLeaveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    // An empty selection at p, shown.
    void PlaceAt(TextPos p);
    // The selection in text order, neither end inside a double-byte character;
    // the cursor twice when the selection is empty.
    void OrderedSelection(TextPos& start, TextPos& end) const;
    void TypeText(const QString& text);
    // Tab and Shift+Tab indent lines only for a selection over several lines.
    bool SelectionSpansLines() const { return HasSelection() && SelStart().y != SelEnd().y; }
    // The lines a multi-line Tab or Shift+Tab works on; false when the
    // selection does not span lines.
    bool IndentRange(int& firstLine, int& lastLine);
    bool AcceptsDrop(const QMimeData* data) const;
    // True when pos lies in the text that a view of this buffer, this one or
    // another window's, is dragging.
    bool InDraggedText(TextPos pos) const;

    bool overwrite = false;
    bool dropCaretShown = false;
    TextPos savedCursor;
    TextPos dropPos;
    QRect dropCaretRect;
    bool selectionSaved = false;
    TextPos savedSelStart, savedSelEnd;
    bool autoIndent = true;
};
