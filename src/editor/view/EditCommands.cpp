#include "editor/view/EditCommands.h"

int EditCommandForKey(QKeyCombination combo) {
    const Qt::KeyboardModifiers mods =
        combo.keyboardModifiers() &
        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const Qt::Key key = combo.key();
    if (mods == Qt::NoModifier) {
        switch (key) {
        case Qt::Key_Delete:
            return ID_EDIT_DELETE;
        case Qt::Key_Backspace:
            return ID_EDIT_DELETE_BACK;
        case Qt::Key_Tab:
            return ID_EDIT_TAB;
        case Qt::Key_Insert:
            return ID_EDIT_SWITCH_OVRMODE;
        default:
            return 0;
        }
    }
    if (mods == Qt::ShiftModifier) {
        switch (key) {
        case Qt::Key_Backtab: // Shift+Tab arrives as Backtab
        case Qt::Key_Tab:
            return ID_EDIT_UNTAB;
        case Qt::Key_Delete:
            return ID_EDIT_CUT;
        case Qt::Key_Insert:
            return ID_EDIT_PASTE;
        default:
            return 0;
        }
    }
    if (mods == Qt::ControlModifier) {
        switch (key) {
        case Qt::Key_Backspace:
            return ID_EDIT_DELETE_WORD_BACK;
        case Qt::Key_X:
            return ID_EDIT_CUT;
        case Qt::Key_V:
            return ID_EDIT_PASTE;
        case Qt::Key_Z:
            return ID_EDIT_UNDO;
        case Qt::Key_Y:
            return ID_EDIT_REDO;
        case Qt::Key_H:
            return ID_EDIT_REPLACE;
        default:
            return 0;
        }
    }
    if (mods == Qt::AltModifier && key == Qt::Key_Backspace)
        return ID_EDIT_UNDO;
    return 0;
}
