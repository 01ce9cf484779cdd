#pragma once
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "editor/text/ColumnIndex.h"
#include "editor/text/TextEncoding.h"

// Screen columns of one line: a tab advances to the next multiple of tabSize,
// every other character takes the cells its encoding gives it (a GBK
// double-byte character two, one per byte; a UTF-8 CJK character two for its
// three bytes). Indices past the line's end count as its end. Every walk is
// one pass over the line at most, and stops as soon as it has its answer; given
// the line's column index, a walk starts from the mark nearest its target.

// Where columns are bytes: GBK text without a tab, the usual line.
inline bool ColumnsAreBytes(std::string_view line, TextEncoding encoding) {
    return encoding == TextEncoding::Gbk && std::memchr(line.data(), '\t', line.size()) == nullptr;
}

int ColumnOfChar(std::string_view line, int index, int tabSize, TextEncoding encoding,
                 const ColumnIndex* at = nullptr);
int ExpandedLengthWalked(std::string_view line, int tabSize, TextEncoding encoding,
                         const ColumnIndex* at);
// Asked for every line of a document at once: the usual line is answered here.
inline int ExpandedLength(std::string_view line, int tabSize, TextEncoding encoding,
                          const ColumnIndex* at = nullptr) {
    if (ColumnsAreBytes(line, encoding))
        return static_cast<int>(line.size());
    return ExpandedLengthWalked(line, tabSize, encoding, at);
}

// The byte index that a vertical move aiming at screen column c lands on: a
// target in the first half of a tab's span lands before the tab, one inside a
// wide character before the character.
int CharAtColumn(std::string_view line, int column, int tabSize, TextEncoding encoding,
                 const ColumnIndex* at = nullptr);

// The character whose cells hold screen column c, or the line's length when c
// lies beyond the line's end (a mouse hit).
int CharHitAtColumn(std::string_view line, int column, int tabSize, TextEncoding encoding,
                    const ColumnIndex* at = nullptr);

// The display bytes of the characters from start to start+count: tabs become
// spaces up to the next stop, measured from the column where byte start stands.
std::string ExpandTabs(std::string_view line, int start, int count, int tabSize,
                       TextEncoding encoding, const ColumnIndex* at = nullptr);

// index, moved back to the start of the character it falls inside.
inline int GuardSplit(std::string_view line, int index, TextEncoding encoding) {
    while (index > 0 && SplitsChar(line, index, encoding))
        --index;
    return index;
}

// One character as drawn: its bytes, and the cells it covers from column.
struct CellChar {
    int byte;
    int length;
    int column;
    int cells;
    bool tab;
};

// The characters of a line whose cells meet columns from .. to-1, in order,
// with a character cut by either edge included whole.
void CharsInColumns(std::string_view line, int from, int to, int tabSize, TextEncoding encoding,
                    std::vector<CellChar>& out, const ColumnIndex* at = nullptr);
