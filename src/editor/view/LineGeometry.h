#pragma once
#include <string>
#include <string_view>

// Screen columns of one line: every byte takes one cell, except a tab, which
// advances to the next multiple of tabSize. A double-byte character is two
// bytes and so two cells. Indices past the line's end count as its end.

int ColumnOfChar(std::string_view line, int index, int tabSize);
int ExpandedLength(std::string_view line, int tabSize);

// The byte index that a vertical move aiming at screen column c lands on; a
// target in the first half of a tab's span lands before the tab.
int CharAtColumn(std::string_view line, int column, int tabSize);

// The byte whose cells hold screen column c, or the line's length when c lies
// beyond the line's end (a mouse hit).
int CharHitAtColumn(std::string_view line, int column, int tabSize);

// The display text of bytes start .. start+count-1: tabs become spaces up to the
// next stop, measured from the column where byte start stands.
std::string ExpandTabs(std::string_view line, int start, int count, int tabSize);

// True when index falls between the two bytes of a double-byte character.
bool SplitsDoubleByteChar(std::string_view line, int index);

// index, moved one byte left if it splits a double-byte character.
inline int GuardDoubleByte(std::string_view line, int index) {
    return SplitsDoubleByteChar(line, index) ? index - 1 : index;
}
