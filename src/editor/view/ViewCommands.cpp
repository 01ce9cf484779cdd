#include "editor/view/ViewCommands.h"

#include <array>

namespace {

struct KeyEntry {
    Qt::Key key;
    int plain; // without Ctrl
    int ctrl;  // with Ctrl; 0 = none
};

// Shift adds one to a movement id: every extend command follows its move.
constexpr std::array<KeyEntry, 8> kKeys{{
    {Qt::Key_Left, ID_MOVE_CHAR_LEFT, ID_MOVE_WORD_LEFT},
    {Qt::Key_Right, ID_MOVE_CHAR_RIGHT, ID_MOVE_WORD_RIGHT},
    {Qt::Key_Up, ID_MOVE_LINE_UP, ID_SCROLL_UP},
    {Qt::Key_Down, ID_MOVE_LINE_DOWN, ID_SCROLL_DOWN},
    {Qt::Key_PageUp, ID_MOVE_PAGE_UP, 0},
    {Qt::Key_PageDown, ID_MOVE_PAGE_DOWN, 0},
    {Qt::Key_Home, ID_MOVE_HOME, ID_MOVE_TEXT_BEGIN},
    {Qt::Key_End, ID_MOVE_LINE_END, ID_MOVE_TEXT_END},
}};

} // namespace

int ViewCommandForKey(QKeyCombination combo) {
    const Qt::KeyboardModifiers mods =
        combo.keyboardModifiers() &
        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool ctrl = mods & Qt::ControlModifier;
    const bool shift = mods & Qt::ShiftModifier;
    const Qt::Key key = combo.key();
    const bool digit = key >= Qt::Key_0 && key <= Qt::Key_9;
    if (digit && mods == Qt::AltModifier)
        return ID_GO_BOOKMARK0 + (key - Qt::Key_0);
    if (mods & (Qt::AltModifier | Qt::MetaModifier))
        return 0;
    if (digit && mods == Qt::ControlModifier)
        return ID_TOGGLE_BOOKMARK0 + (key - Qt::Key_0);
    if (key == Qt::Key_F2) {
        if (ctrl)
            return shift ? ID_CLEAR_PLAIN_MARKS : ID_TOGGLE_PLAIN_MARK;
        return shift ? ID_PREV_PLAIN_MARK : ID_NEXT_PLAIN_MARK;
    }
    if (key == Qt::Key_F3 && !ctrl)
        return shift ? ID_EDIT_FIND_PREVIOUS : ID_EDIT_FIND_NEXT;
    if (ctrl && !shift && key == Qt::Key_F)
        return ID_EDIT_FIND;
    if (ctrl && !shift && key == Qt::Key_G)
        return ID_EDIT_GOTO_LINE;
    if (ctrl && !shift && key == Qt::Key_A)
        return ID_EDIT_SELECT_ALL;
    if (ctrl && !shift && (key == Qt::Key_C || key == Qt::Key_Insert))
        return ID_EDIT_COPY;
    for (const KeyEntry& e : kKeys) {
        if (e.key != key)
            continue;
        int id = ctrl ? e.ctrl : e.plain;
        if (id == 0)
            return 0;
        // Ctrl+Up and Ctrl+Down scroll; they have no extending form.
        if (id == ID_SCROLL_UP || id == ID_SCROLL_DOWN)
            return shift ? 0 : id;
        return shift ? id + 1 : id;
    }
    return 0;
}
