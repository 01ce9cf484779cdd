#include "editor/text/ColumnIndex.h"

#include <algorithm>

#include "editor/text/LineWalk.h"

void ColumnIndex::Build(std::string_view line, int tabSize, TextEncoding encoding) {
    marks.assign(1, Mark{});
    int next = kStride;
    width = WalkLine(line, tabSize, encoding, {}, [&](int byte, int, int column, int, bool) {
        if (byte >= next) {
            marks.push_back({byte, column});
            next = byte + kStride;
        }
        return true;
    });
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
