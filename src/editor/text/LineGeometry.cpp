#include "editor/text/LineGeometry.h"

#include <algorithm>
#include <cstring>

#include "editor/text/LineWalk.h"

int ColumnOfChar(std::string_view line, int index, int tabSize, TextEncoding encoding,
                 const ColumnIndex* at) {
    const int n = std::clamp(index, 0, static_cast<int>(line.size()));
    const std::string_view head = line.substr(0, size_t(n));
    if (ColumnsAreBytes(head, encoding))
        return n;
    const ColumnIndex::Mark from = at ? at->AtByte(n) : ColumnIndex::Mark{};
    return WalkLine(head, tabSize, encoding, from, [](int, int, int, int, bool) { return true; });
}

int ExpandedLengthWalked(std::string_view line, int tabSize, TextEncoding encoding,
                         const ColumnIndex* at) {
    if (at != nullptr)
        return at->Width();
    return WalkLine(line, tabSize, encoding, {}, [](int, int, int, int, bool) { return true; });
}

int CharAtColumn(std::string_view line, int column, int tabSize, TextEncoding encoding,
                 const ColumnIndex* at) {
    if (column <= 0)
        return 0;
    int result = static_cast<int>(line.size());
    // Start a character before the target's mark: the character ending on the
    // target column may begin before it.
    const ColumnIndex::Mark from = at ? at->AtColumn(column - 1) : ColumnIndex::Mark{};
    WalkLine(line, tabSize, encoding, from,
             [&](int byte, int length, int col, int cells, bool tab) {
                 const int next = col + cells;
                 if (next < column)
                     return true;
                 if (tab)
                     result = next - tabSize / 2 >= column ? byte : byte + length;
                 else
                     result = column < next ? byte : byte + length;
                 return false;
             });
    return result;
}

int CharHitAtColumn(std::string_view line, int column, int tabSize, TextEncoding encoding,
                    const ColumnIndex* at) {
    if (ColumnsAreBytes(line, encoding))
        return GuardSplit(line, std::clamp(column, 0, static_cast<int>(line.size())), encoding);
    int result = static_cast<int>(line.size());
    const ColumnIndex::Mark from = at ? at->AtColumn(column) : ColumnIndex::Mark{};
    WalkLine(line, tabSize, encoding, from, [&](int byte, int, int col, int cells, bool) {
        if (col + cells <= column)
            return true;
        result = byte;
        return false;
    });
    return result;
}

std::string ExpandTabs(std::string_view line, int start, int count, int tabSize,
                       TextEncoding encoding, const ColumnIndex* at) {
    std::string out;
    const int n = static_cast<int>(line.size());
    start = std::clamp(start, 0, n);
    const int end = std::min(n, start + std::max(count, 0));
    if (end <= start)
        return out;
    out.reserve(size_t(end - start));
    int column = ColumnOfChar(line, start, tabSize, encoding, at);
    for (int i = start; i < end; ++i) {
        if (line[size_t(i)] == '\t') {
            const int next = column + tabSize - column % tabSize;
            out.append(size_t(next - column), ' ');
            column = next;
            continue;
        }
        const size_t len = CharLength(line, size_t(i), encoding);
        column += CharCells(line, size_t(i), len, encoding);
        out.append(line.substr(size_t(i), len));
        i += int(len) - 1;
    }
    return out;
}

void CharsInColumns(std::string_view line, int from, int to, int tabSize, TextEncoding encoding,
                    std::vector<CellChar>& out, const ColumnIndex* at) {
    out.clear();
    if (to <= from)
        return;
    if (ColumnsAreBytes(line, encoding)) {
        // Column and byte are one: start at the character holding column from.
        const int n = static_cast<int>(line.size());
        int i = GuardSplit(line, std::clamp(from, 0, n), encoding);
        while (i < n && i < to) {
            const int len = static_cast<int>(CharLength(line, size_t(i), encoding));
            out.push_back({i, len, i, len, false});
            i += len;
        }
        return;
    }
    // A wide character or a tab ending past from may begin before it.
    const ColumnIndex::Mark start = at ? at->AtColumn(from - tabSize) : ColumnIndex::Mark{};
    WalkLine(line, tabSize, encoding, start,
             [&](int byte, int length, int column, int cells, bool tab) {
                 if (column >= to)
                     return false;
                 if (column + cells > from || (cells == 0 && column >= from))
                     out.push_back({byte, length, column, cells, tab});
                 return true;
             });
}
