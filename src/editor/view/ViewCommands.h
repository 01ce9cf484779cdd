#pragma once
#include <QKeyCombination>

// Command ids of the text view, shared with menus and accelerators.
enum ViewCommand : int {
    ID_MOVE_CHAR_LEFT = 37100,
    ID_EXTEND_CHAR_LEFT = 37101,
    ID_MOVE_CHAR_RIGHT = 37102,
    ID_EXTEND_CHAR_RIGHT = 37103,
    ID_MOVE_WORD_LEFT = 37104,
    ID_EXTEND_WORD_LEFT = 37105,
    ID_MOVE_WORD_RIGHT = 37106,
    ID_EXTEND_WORD_RIGHT = 37107,
    ID_MOVE_LINE_UP = 37108,
    ID_EXTEND_LINE_UP = 37109,
    ID_MOVE_LINE_DOWN = 37110,
    ID_EXTEND_LINE_DOWN = 37111,
    ID_SCROLL_UP = 37112,
    ID_SCROLL_DOWN = 37113,
    ID_MOVE_PAGE_UP = 37114,
    ID_EXTEND_PAGE_UP = 37115,
    ID_MOVE_PAGE_DOWN = 37116,
    ID_EXTEND_PAGE_DOWN = 37117,
    ID_MOVE_LINE_END = 37118,
    ID_EXTEND_LINE_END = 37119,
    ID_MOVE_HOME = 37120,
    ID_EXTEND_HOME = 37121,
    ID_MOVE_TEXT_BEGIN = 37122,
    ID_EXTEND_TEXT_BEGIN = 37123,
    ID_MOVE_TEXT_END = 37124,
    ID_EXTEND_TEXT_END = 37125,
    ID_EDIT_FIND_NEXT = 37126,
    ID_EDIT_FIND_PREVIOUS = 37127,
    ID_EDIT_GOTO_LINE = 37128,
    ID_TOGGLE_BOOKMARK0 = 37200, // + n: Ctrl+n
    ID_GO_BOOKMARK0 = 37210,     // + n: Alt+n
    ID_CLEAR_BOOKMARKS = 37220,
    ID_TOGGLE_PLAIN_MARK = 37223,
    ID_NEXT_PLAIN_MARK = 37224,
    ID_PREV_PLAIN_MARK = 37225,
    ID_CLEAR_PLAIN_MARKS = 37226,
    ID_VIEW_ENCODING_GBK = 37301,  // show the document's bytes as GBK
    ID_VIEW_ENCODING_UTF8 = 37302, // ... as UTF-8
    ID_EDIT_COPY = 57634,
    ID_EDIT_FIND = 57636,
    ID_EDIT_SELECT_ALL = 57642,
};

// The view's keyboard table (accelerator table 22901: movement, find, go to, bookmarks): the
// command of a key, or 0 when the view does not map it.
int ViewCommandForKey(QKeyCombination key);
