#include "common/StringTable.h"

#include <algorithm>
#include <iterator>

namespace {

struct Entry {
    int id;
    const char* text;
};

// Sorted by id.
constexpr Entry kStrings[] = {
    {IDS_UNDO_FORMAT, "撤消 %s\tCtrl+Z"},
    {IDS_REDO_FORMAT, "重复 %s\tCtrl+Y"},
    {IDS_UNDO_PLAIN, "撤消\tCtrl+Z"},
    {IDS_REDO_PLAIN, "重复\tCtrl+Y"},
    {IDS_ACTION_UNKNOWN, "未知操作"},
    {IDS_ACTION_PASTE, "粘贴"},
    {IDS_ACTION_DELSEL, "删除选定部分"},
    {IDS_ACTION_CUT, "剪切"},
    {IDS_ACTION_DELETE, "删除"},
    {IDS_ACTION_TYPING, "输入"},
    {IDS_ACTION_BACKSPACE, "删除"},
    {IDS_ACTION_INDENT, "缩进"},
    {IDS_ACTION_DRAGDROP, "拖拽"},
    {IDS_ACTION_REPLACE, "替换"},
    {IDS_ACTION_AUTOINDENT, "自动缩进"},
    {ID_INDICATOR_POSITION, "行 %d  列 %d"},
};

static_assert(std::is_sorted(std::begin(kStrings), std::end(kStrings),
                             [](const Entry& a, const Entry& b) { return a.id < b.id; }));

} // namespace

const char* LoadString(int id) {
    auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                               [](const Entry& e, int want) { return e.id < want; });
    return it != std::end(kStrings) && it->id == id ? it->text : nullptr;
}
