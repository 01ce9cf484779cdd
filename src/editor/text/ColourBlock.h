#pragma once
#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

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

// A run of one colour that begins at byte pos of a line and lasts until the
// next block, the last one to the end of the line.
struct ColourBlock {
    int32_t pos;
    int32_t colour;
};

// The blocks a scanner hands out for one line, in ascending positions: a block
// that would start before the previous one is dropped. A window keeps only
// what colours bytes from..to-1, so that the visible part of a very long line
// costs memory in proportion to what is shown: of the blocks before from only
// the last stays, blocks from to on are dropped.
class ColourBlocks {
public:
    void Reset(int32_t windowFrom = 0, int32_t windowTo = INT32_MAX) {
        blocks.clear();
        from = windowFrom;
        to = windowTo;
        last = INT32_MIN;
    }

    void Add(int32_t pos, int32_t colour) {
        if (pos < last)
            return;
        last = pos;
        if (pos >= to)
            return;
        if (pos < from && !blocks.empty() && blocks.back().pos < from)
            blocks.back() = {pos, colour};
        else
            blocks.push_back({pos, colour});
    }

    size_t size() const { return blocks.size(); }
    bool empty() const { return blocks.empty(); }
    const ColourBlock& operator[](size_t i) const { return blocks[i]; }
    std::vector<ColourBlock>::const_iterator begin() const { return blocks.begin(); }
    std::vector<ColourBlock>::const_iterator end() const { return blocks.end(); }

private:
    std::vector<ColourBlock> blocks;
    int32_t from = 0;
    int32_t to = INT32_MAX;
    int32_t last = INT32_MIN;
};
