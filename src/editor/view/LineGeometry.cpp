#include "editor/view/LineGeometry.h"

#include <algorithm>
#include <cstring>

#include "common/Gbk.h"

namespace {

int Advance(int column, char c, int tabSize) {
    return c == '\t' ? column + tabSize - column % tabSize : column + 1;
}

} // namespace

int ColumnOfChar(std::string_view line, int index, int tabSize) {
    const int n = std::clamp(index, 0, static_cast<int>(line.size()));
    int column = 0;
    for (int i = 0; i < n; ++i)
        column = Advance(column, line[size_t(i)], tabSize);
    return column;
}

int ExpandedLength(std::string_view line, int tabSize) {
    // Most lines of a program have no tab; memchr finds that out fastest.
    if (std::memchr(line.data(), '\t', line.size()) == nullptr)
        return static_cast<int>(line.size());
    return ColumnOfChar(line, static_cast<int>(line.size()), tabSize);
}

int CharAtColumn(std::string_view line, int column, int tabSize) {
    if (column <= 0)
        return 0;
    const int n = static_cast<int>(line.size());
    int col = 0;
    for (int i = 0; i < n; ++i) {
        col = Advance(col, line[size_t(i)], tabSize);
        if (col >= column)
            return col - tabSize / 2 >= column ? i : i + 1;
    }
    return n;
}

int CharHitAtColumn(std::string_view line, int column, int tabSize) {
    const int n = static_cast<int>(line.size());
    int col = 0;
    for (int i = 0; i < n; ++i) {
        col = Advance(col, line[size_t(i)], tabSize);
        if (col > column)
            return i;
    }
    return n;
}

std::string ExpandTabs(std::string_view line, int start, int count, int tabSize) {
    std::string out;
    const int n = static_cast<int>(line.size());
    start = std::clamp(start, 0, n);
    count = std::min(count, n - start);
    if (count <= 0)
        return out;
    out.reserve(size_t(count));
    int column = ColumnOfChar(line, start, tabSize);
    for (int i = start; i < start + count; ++i) {
        char c = line[size_t(i)];
        int next = Advance(column, c, tabSize);
        if (c == '\t')
            out.append(size_t(next - column), ' ');
        else
            out += c;
        column = next;
    }
    return out;
}

bool SplitsDoubleByteChar(std::string_view line, int index) {
    // GBK cannot be read backwards: walk whole characters from the line start.
    if (index <= 0 || index >= static_cast<int>(line.size()))
        return false;
    size_t i = 0;
    const size_t target = size_t(index);
    while (i < target)
        i += GbkCharLength(line, i);
    return i != target;
}
