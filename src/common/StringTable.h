#pragma once

// The program's own user-visible strings, by resource id, in UTF-8. Every
// fixed text that the UI shows is taken from here so that it exists once.
enum StringId : int {
    IDD_FIND = 8601,            // caption "查找"
    IDD_REPLACE = 8602,         // caption "替换"
    IDC_WHOLE_WORD = 8603,      // "全词匹配"
    IDC_MATCH_CASE = 8604,      // "区分大小写"
    IDC_FIND_WHAT = 8605,       // "查找："
    IDS_NOT_FOUND = 8606,       // 找不到字符串"%s"
    IDC_REPLACE = 8607,         // "替换"
    IDC_REPLACE_ALL = 8608,     // "替换所有"
    IDC_REPLACE_WITH = 8609,    // "替换为："
    IDC_FIND_NEXT = 8610,       // "查找下一个"
    IDC_DIRECTION_UP = 8611,    // "向上"
    IDC_DIRECTION_DOWN = 8612,  // "向下"
    IDC_SCOPE_SELECTION = 8613, // "选定部分"
    IDC_SCOPE_WHOLE = 8614,     // "整个文件"
    IDS_UNDO_FORMAT = 8615,     // "撤消 %s\tCtrl+Z"
    IDS_REDO_FORMAT = 8616,     // "重复 %s\tCtrl+Y"
    IDS_UNDO_PLAIN = 8617,      // "撤消\tCtrl+Z"
    IDS_REDO_PLAIN = 8618,      // "重复\tCtrl+Y"
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
    IDS_FIND_DIRECTION = 8640,     // "查找方向"
    IDS_REPLACE_SCOPE = 8641,      // "替换区域"
    IDS_CANCEL = 8642,             // "取消"
    IDS_INFO_CAPTION = 8643,       // "信息提示"
    IDS_ENTER_REPLACE_TEXT = 8644, // "请输入待替换的内容。"
    IDD_GOTO = 8645,               // caption "转到"
    IDC_GOTO_WHAT = 8646,          // "行号或程序段号 (如 120 或 N120)："
    IDS_BLOCK_NOT_FOUND = 8647,    // "找不到程序段 N%s。"
    IDS_ENTER_GOTO_TARGET = 8648,  // "请输入行号或程序段号。"
    IDS_OK = 8649,                 // "确定"
    ID_BOOKMARK_PROMPT0 = 37200,   // .. 37219: prompt and tooltip of toggle and go to n
    ID_CLEAR_BOOKMARKS_PROMPT = 37220,
    ID_TOGGLE_PLAIN_PROMPT = 37223,
    ID_NEXT_PLAIN_PROMPT = 37224,
    ID_PREV_PLAIN_PROMPT = 37225,
    ID_CLEAR_PLAIN_PROMPT = 37226,
    ID_INDICATOR_READONLY = 37901,  // status-bar pane: the write protection
    ID_INDICATOR_POSITION = 37903,  // status-bar pane: "行 %d  列 %d"
    ID_INDICATOR_OVERWRITE = 59140, // status-bar pane: "改写"
};

// The text of a string id, or null when there is none.
const char* LoadString(int id);
