#pragma once
#include <string_view>

#include "editor/text/ColumnIndex.h"
#include "editor/text/TextEncoding.h"

// Calls step(byte, length, column, cells, tab) for each character of a line
// from the mark on (a character start whose column is known) until it returns
// false; returns the column reached. A tab advances to the next multiple of
// tabSize; every other character takes the cells its encoding gives it.
template <class Step>
int WalkLine(std::string_view line, int tabSize, TextEncoding encoding, ColumnIndex::Mark from,
             Step&& step) {
    const size_t n = line.size();
    int column = from.column;
    size_t i = size_t(from.byte);
    while (i < n) {
        const bool tab = line[i] == '\t';
        const size_t len = tab ? 1 : CharLength(line, i, encoding);
        const int cells = tab ? tabSize - column % tabSize : CharCells(line, i, len, encoding);
        if (!step(int(i), int(len), column, cells, tab))
            return column;
        column += cells;
        i += len;
    }
    return column;
}
