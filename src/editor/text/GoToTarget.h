#pragma once
#include <string>
#include <string_view>

class CTextBuffer;

// Where the operator asked Go To to take the caret: a line number, counted
// from 1, or a block number (the N word of a part program).
struct GoToTarget {
    enum class Kind { None, Line, Block };
    Kind kind = Kind::None;
    int line = 0;      // Line: from 1; larger numbers than an int holds stop there
    std::string block; // Block: its digits without leading zeros ("0" for N0)
};

// "120" is line 120; "N120", "n120" and "N0120" are block 120; blanks around
// the entry are ignored. Anything else, line 0 included, is Kind::None.
GoToTarget ParseGoToTarget(std::string_view entry);

// The block number of a line, as ParseGoToTarget spells it, or empty when
// the line has none: an N word (N or n, then digits) at the very start of
// the block, after blanks (space or tab) and an optional block-delete '/'.
// A UTF-8 byte-order mark before it is passed over. The digits stay in line.
std::string_view BlockNumberOf(std::string_view line);

// The line (from 0) that target names in buffer: a line number beyond the end
// is the last line (0 in a text without lines); a block is the first line
// carrying its number. -1 when no line does, or the target is Kind::None.
int FindGoToLine(const CTextBuffer& buffer, const GoToTarget& target);
