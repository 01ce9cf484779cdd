#include "editor/text/ColumnIndex.h"

#include <algorithm>

void ColumnIndex::Build(std::string_view line, int tabSize, TextEncoding encoding) {
    marks.assign(1, Mark{});
    const size_t n = line.size();
    int column = 0;
    size_t next = kStride;
    for (size_t i = 0; i < n;) {
        if (i >= next) {
            marks.push_back({int(i), column});
            next = i + kStride;
        }
        if (line[i] == '\t') {
            column += tabSize - column % tabSize;
            ++i;
            continue;
        }
        const size_t len = CharLength(line, i, encoding);
        column += CharCells(line, i, len, encoding);
        i += len;
    }
    width = column;
}

ColumnIndex::Mark ColumnIndex::AtByte(int byte) const {
    auto it = std::upper_bound(marks.begin(), marks.end(), byte,
                               [](int b, const Mark& m) { return b < m.byte; });
    return it == marks.begin() ? Mark{} : *(it - 1);
}

ColumnIndex::Mark ColumnIndex::AtColumn(int column) const {
    auto it = std::upper_bound(marks.begin(), marks.end(), column,
                               [](int c, const Mark& m) { return c < m.column; });
    return it == marks.begin() ? Mark{} : *(it - 1);
}
