#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "editor/buffer/LineRanges.h"

class CTextBuffer;

// Starting a program again part way through (a broken tool at line 180 000):
// where to start, and what goes out before it so that the machine's modal
// state (units, plane, offsets, spindle, coolant) is set up again.

// The program's start: the lines before its first motion (the first block
// with an axis word X, Y, Z, A, B, C, U, V, W, I, J, K or R, outside
// comments). Its index; the line count when there is no motion at all.
int HeaderEnd(const CTextBuffer& text);
// The line whose block number is block ("N120" finds "N0120 G1 ..." too);
// -1 when none is.
int FindBlock(const CTextBuffer& text, const std::string& block);
// The block number a line begins with, as "N120"; empty when it has none.
std::string BlockNumberOf(const CTextBuffer& text, int line);
// The tool change at or before line: the last block there with a T word or
// M6/M06; -1 when none is.
int ToolChangeBefore(const CTextBuffer& text, int line);

// The document lines to send: the start of the program, then from line on
// (or all of it when line lies in the start; no start when its first block
// moves).
LineRanges RestartRanges(const CTextBuffer& text, int line);

// What the operator is shown of one range before a restart goes out: its
// first lines (number counted from 1, text as the document holds it), then,
// when more of it follows, an entry with number 0.
struct PreviewLine {
    int number;
    std::string_view text;
};
std::vector<PreviewLine> RangePreview(const CTextBuffer& text, const std::pair<int, int>& range);
