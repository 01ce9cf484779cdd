#include "editor/buffer/EditAction.h"

#include "common/StringTable.h"

namespace {

constexpr int kActionStringIds[] = {
    IDS_ACTION_UNKNOWN, IDS_ACTION_PASTE,     IDS_ACTION_DELSEL,     IDS_ACTION_CUT,
    IDS_ACTION_TYPING,  IDS_ACTION_BACKSPACE, IDS_ACTION_INDENT,     IDS_ACTION_DRAGDROP,
    IDS_ACTION_REPLACE, IDS_ACTION_DELETE,    IDS_ACTION_AUTOINDENT,
};

// Expands the single %s of a menu format.
std::string FormatMenu(int formatId, int plainId, const std::string* label) {
    if (!label)
        return LoadString(plainId);
    std::string text = LoadString(formatId);
    auto at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, *label);
    return text;
}

} // namespace

bool ActionLabelText(int action, std::string& label) {
    label.clear();
    if (action < 0 || action >= static_cast<int>(std::size(kActionStringIds)))
        return false;
    label = LoadString(kActionStringIds[action]);
    return true;
}

std::string UndoMenuText(const std::string* label) {
    return FormatMenu(IDS_UNDO_FORMAT, IDS_UNDO_PLAIN, label);
}

std::string RedoMenuText(const std::string* label) {
    return FormatMenu(IDS_REDO_FORMAT, IDS_REDO_PLAIN, label);
}
