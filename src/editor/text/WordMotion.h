#pragma once
#include <string_view>

#include "editor/text/TextEncoding.h"

// Word boundaries within one line. A multi-byte character is always taken
// whole, so none of these ever returns an index inside one.

// Keyboard word moves: ASCII letters, digits and '_' are word characters; space,
// tab, LF, VT, FF and CR are white space; everything else, double-byte
// characters included, is punctuation.
bool IsKeyWordChar(unsigned char b);
bool IsWhiteByte(unsigned char b);

// Ctrl+Left within a line, from index (> 0): skip white space, then a run of
// word characters or else a run of punctuation.
int WordLeftInLine(std::string_view line, int index, TextEncoding encoding);
// Ctrl+Right within a line, from index (< length): a run of word characters or
// else of punctuation, then white space.
int WordRightInLine(std::string_view line, int index, TextEncoding encoding);

// Mouse word selection: ASCII letters, digits, '_', double-byte characters and
// any other byte of 0xA0 or more belong to a word; a run of double-byte
// characters is one word.
int WordStartBefore(std::string_view line, int index, TextEncoding encoding);
int WordEndAfter(std::string_view line, int index, TextEncoding encoding);

// Index of the first byte that is not white space; the length when there is none.
int FirstNonBlank(std::string_view line);
