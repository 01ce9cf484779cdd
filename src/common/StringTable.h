#pragma once

// The program's own user-visible strings, by resource id, in UTF-8. Every
// fixed text that the UI shows is taken from here so that it exists once.
enum StringId : int {
    IDS_UNDO_FORMAT = 8615,   // "撤消 %s\tCtrl+Z"
    IDS_REDO_FORMAT = 8616,   // "重复 %s\tCtrl+Y"
    IDS_UNDO_PLAIN = 8617,    // "撤消\tCtrl+Z"
    IDS_REDO_PLAIN = 8618,    // "重复\tCtrl+Y"
    IDS_ACTION_UNKNOWN = 8619,
    IDS_ACTION_PASTE = 8620,
    IDS_ACTION_DELSEL = 8621,
    IDS_ACTION_CUT = 8622,
    IDS_ACTION_DELETE = 8623,
    IDS_ACTION_TYPING = 8624,
    IDS_ACTION_BACKSPACE = 8625,
    IDS_ACTION_INDENT = 8626,
    IDS_ACTION_DRAGDROP = 8627,
    IDS_ACTION_REPLACE = 8628,
    IDS_ACTION_AUTOINDENT = 8629,
    ID_INDICATOR_POSITION = 37903, // status-bar pane: "行 %d  列 %d"
};

// The text of a string id, or null when there is none.
const char* LoadString(int id);
