#pragma once
#include <cstdint>
#include <string_view>

#include "editor/text/ColourBlock.h"

// State carried from the end of one line into the next.
enum : uint32_t {
    COOKIE_LINE_COMMENT = 0x01,  // comment to the end of the line
    COOKIE_DIRECTIVE = 0x02,     // first non-blank character was '#'
    COOKIE_BLOCK_COMMENT = 0x04, // inside /* ... */
    COOKIE_STRING = 0x08,        // inside "..."
    COOKIE_CHAR = 0x10,          // inside '...'
};

// Splits one line of a part program into coloured runs, added to blocks, and
// returns the cookie for the next line. With blocks null only the cookie is
// wanted: words are not classified.
uint32_t ScanProgramLine(uint32_t cookie, std::string_view line, ColourBlocks* blocks);
