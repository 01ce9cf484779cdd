#pragma once
#include <string>

// The action code of an edit; the first entry of an undo group names the group
// in the Undo and Redo menu items.
enum EditAction : int {
    ACTION_UNKNOWN = 0,
    ACTION_PASTE = 1,
    ACTION_DELSEL = 2,
    ACTION_CUT = 3,
    ACTION_TYPING = 4,
    ACTION_BACKSPACE = 5,
    ACTION_INDENT = 6,
    ACTION_DRAGDROP = 7,
    ACTION_REPLACE = 8,
    ACTION_DELETE = 9,
    ACTION_AUTOINDENT = 10,
};

// The label of an action code (UTF-8); false and an empty label for a code
// outside 0 .. 10.
bool ActionLabelText(int action, std::string& label);

// The Undo or Redo menu text: with a label, "撤消 <label>\tCtrl+Z"; without one
// (nothing to undo), "撤消\tCtrl+Z".
std::string UndoMenuText(const std::string* label);
std::string RedoMenuText(const std::string* label);
