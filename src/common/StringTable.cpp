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
    {IDD_FIND, "查找"},
    {IDD_REPLACE, "替换"},
    {IDC_WHOLE_WORD, "全词匹配"},
    {IDC_MATCH_CASE, "区分大小写"},
    {IDC_FIND_WHAT, "查找："},
    {IDS_NOT_FOUND, "找不到字符串\"%s\""},
    {IDC_REPLACE, "替换"},
    {IDC_REPLACE_ALL, "替换所有"},
    {IDC_REPLACE_WITH, "替换为："},
    {IDC_FIND_NEXT, "查找下一个"},
    {IDC_DIRECTION_UP, "向上"},
    {IDC_DIRECTION_DOWN, "向下"},
    {IDC_SCOPE_SELECTION, "选定部分"},
    {IDC_SCOPE_WHOLE, "整个文件"},
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
    {IDS_FIND_DIRECTION, "查找方向"},
    {IDS_REPLACE_SCOPE, "替换区域"},
    {IDS_CANCEL, "取消"},
    {IDS_INFO_CAPTION, "信息提示"},
    {IDS_ENTER_REPLACE_TEXT, "请输入待替换的内容。"},
    {IDD_GOTO, "转到"},
    {IDC_GOTO_WHAT, "行号或程序段号 (如 120 或 N120)："},
    {IDS_BLOCK_NOT_FOUND, "找不到程序段 N%s。"},
    {IDS_ENTER_GOTO_TARGET, "请输入行号或程序段号。"},
    {IDS_OK, "确定"},
    {ID_BOOKMARK_PROMPT0 + 0, "书签0\n书签"},
    {ID_BOOKMARK_PROMPT0 + 1, "书签1\n书签"},
    {ID_BOOKMARK_PROMPT0 + 2, "书签2\n书签"},
    {ID_BOOKMARK_PROMPT0 + 3, "书签3\n书签"},
    {ID_BOOKMARK_PROMPT0 + 4, "书签4\n书签"},
    {ID_BOOKMARK_PROMPT0 + 5, "书签5\n书签"},
    {ID_BOOKMARK_PROMPT0 + 6, "书签6\n书签"},
    {ID_BOOKMARK_PROMPT0 + 7, "书签7\n书签"},
    {ID_BOOKMARK_PROMPT0 + 8, "书签8\n书签"},
    {ID_BOOKMARK_PROMPT0 + 9, "书签9\n书签"},
    {ID_BOOKMARK_PROMPT0 + 10, "书签0\n书签"},
    {ID_BOOKMARK_PROMPT0 + 11, "书签1\n书签"},
    {ID_BOOKMARK_PROMPT0 + 12, "书签2\n书签"},
    {ID_BOOKMARK_PROMPT0 + 13, "书签3\n书签"},
    {ID_BOOKMARK_PROMPT0 + 14, "书签4\n书签"},
    {ID_BOOKMARK_PROMPT0 + 15, "书签5\n书签"},
    {ID_BOOKMARK_PROMPT0 + 16, "书签6\n书签"},
    {ID_BOOKMARK_PROMPT0 + 17, "书签7\n书签"},
    {ID_BOOKMARK_PROMPT0 + 18, "书签8\n书签"},
    {ID_BOOKMARK_PROMPT0 + 19, "书签9\n书签"},
    {ID_CLEAR_BOOKMARKS_PROMPT, "清除所有书签\n清除所有书签"},
    {ID_TOGGLE_PLAIN_PROMPT, "设置书签\n设置书签"},
    {ID_NEXT_PLAIN_PROMPT, "跳转到下一书签\n下一书签"},
    {ID_PREV_PLAIN_PROMPT, "跳转到上一书签\n上一书签"},
    {ID_CLEAR_PLAIN_PROMPT, "清除所有书签\n清除所有书签"},
    {ID_INDICATOR_READONLY, " 文档只读 "},
    {ID_INDICATOR_POSITION, "行 %d  列 %d"},
    {ID_INDICATOR_OVERWRITE, "改写"},
};

static_assert(std::is_sorted(std::begin(kStrings), std::end(kStrings),
                             [](const Entry& a, const Entry& b) { return a.id < b.id; }));

} // namespace

const char* LoadString(int id) {
    auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                               [](const Entry& e, int want) { return e.id < want; });
    return it != std::end(kStrings) && it->id == id ? it->text : nullptr;
}
