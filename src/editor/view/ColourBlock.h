#pragma once
#include <cstdint>

// Colour indices by which runs of a line are labelled and the view picks
// its colours.
enum ColourIndex : int32_t {
    COLOUR_WHITESPACE = 0,  // right of a line's text, rows below the last line
    COLOUR_BACKGROUND = 1,  // default background of a text line
    COLOUR_NORMAL_TEXT = 2, // ordinary text
    COLOUR_MARGIN = 3,      // selection margin
    COLOUR_SEL_BACKGROUND = 4,
    COLOUR_SEL_TEXT = 5,
    COLOUR_KEYWORD = 6,
    COLOUR_COMMENT = 7,
    COLOUR_NUMBER = 8,
    COLOUR_OPERATOR = 9, // never produced by the program scanner
    COLOUR_STRING = 10,
    COLOUR_PREPROCESSOR = 11, // directive line
};

// A run of one colour that begins at byte pos of a line.
struct ColourBlock {
    int32_t pos;
    int32_t colour;
};
