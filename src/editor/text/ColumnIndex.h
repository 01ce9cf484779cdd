#pragma once
#include <string_view>
#include <vector>

#include "editor/text/TextEncoding.h"

// Where the characters of one long line stand on the screen: about every
// kStride bytes, a character start with its column. Built in one pass, it lets
// every later walk on the line (caret, click, drawing) start at most a stride
// before its target, so that a step costs what is near it, not the line.
class ColumnIndex {
public:
    static constexpr int kStride = 4096;
    struct Mark {
        int byte = 0;
        int column = 0;
    };

    void Build(std::string_view line, int tabSize, TextEncoding encoding);
    // The last mark at or before byte, or at or before column.
    Mark AtByte(int byte) const;
    Mark AtColumn(int column) const;
    // The line's tab-expanded width.
    int Width() const { return width; }

private:
    std::vector<Mark> marks; // marks[0] is the line's start
    int width = 0;
};
