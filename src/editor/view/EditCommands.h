#pragma once
#include <QKeyCombination>

// Command ids of the editing view, shared with menus and accelerators.
enum EditCommand : int {
    ID_EDIT_DELETE = 37000,
    ID_EDIT_DELETE_BACK = 37001,
    ID_EDIT_DELETE_WORD_BACK = 37002, // Ctrl+Backspace: mapped, but nothing takes it
    ID_EDIT_TAB = 37003,
    ID_EDIT_UNTAB = 37004,
    ID_EDIT_SWITCH_OVRMODE = 37005,
    ID_EDIT_CUT = 57635,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_REPLACE = 57641,
    ID_EDIT_UNDO = 57643,
    ID_EDIT_REDO = 57644,
};

// The editing part of the view's keyboard table (accelerator table 22901): the
// command of a key, or 0 when it is not an editing key.
int EditCommandForKey(QKeyCombination key);
