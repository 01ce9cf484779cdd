// The part-program colouring scanner over random lines and cookies.
//
// Input: byte 0 is the cookie before the first line (any mix of the five
// state bits), the rest is text cut into lines at LF. Each line is scanned
// with the previous line's cookie into an array of exactly three blocks per
// byte, as the painter gives it. Checked for every line:
//  - blocks stay within the array, start at 0, never go backwards, lie within
//    the line (a run may start at its end) and have one of the scanner's colours;
//  - the outgoing cookie holds only state bits, and only an open block comment
//    survives a line that does not end in a backslash;
//  - the cookie is the same without blocks (the cookie cache scans that way),
//    and a second scan gives the same blocks;
//  - a keyword or number block starts a whole word that is one;
//  - inside a line comment, or a block comment or string that does not close
//    on the line, the whole line has that colour.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "editor/text/ProgramScanner.h"

namespace {

constexpr uint32_t kStateBits =
    COOKIE_LINE_COMMENT | COOKIE_DIRECTIVE | COOKIE_BLOCK_COMMENT | COOKIE_STRING | COOKIE_CHAR;

bool WordByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.';
}

bool Keyword(std::string_view w) {
    return w == "X" || w == "Y" || w == "Z" || w == "I" || w == "J" || w == "G1" || w == "G2";
}

bool Number(std::string_view w) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (w.size() > 2 && w.substr(0, 2) == "0x") {
        for (char c : w.substr(2))
            if (!digit(c) && !(c >= 'a' && c <= 'f') && !(c >= 'A' && c <= 'F'))
                return false;
        return true;
    }
    if (w.empty() || !digit(w[0]))
        return false;
    for (char c : w.substr(1))
        if (!digit(c) && c != '+' && c != '-' && c != '.' && c != 'e' && c != 'E')
            return false;
    return true;
}

bool ValidColour(int32_t c) {
    return c == COLOUR_NORMAL_TEXT || c == COLOUR_KEYWORD || c == COLOUR_COMMENT ||
           c == COLOUR_NUMBER || c == COLOUR_STRING || c == COLOUR_PREPROCESSOR;
}

bool AllOneColour(const std::vector<ColourBlock>& blocks, int32_t colour) {
    for (const ColourBlock& b : blocks)
        if (b.colour != colour)
            return false;
    return true;
}

std::vector<ColourBlock> Scan(uint32_t cookie, std::string_view line, uint32_t& out,
                              int32_t from = 0, int32_t to = INT32_MAX) {
    ColourBlocks blocks;
    blocks.Reset(from, to);
    out = ScanProgramLine(cookie, line, &blocks);
    return std::vector<ColourBlock>(blocks.begin(), blocks.end());
}

// A window keeps the last block before it and every block inside it.
void CheckWindow(uint32_t cookie, std::string_view line, const std::vector<ColourBlock>& all,
                 int32_t from, int32_t to) {
    std::vector<ColourBlock> expected;
    for (const ColourBlock& b : all) {
        if (b.pos >= to)
            continue;
        if (b.pos < from && !expected.empty() && expected.back().pos < from)
            expected.back() = b;
        else
            expected.push_back(b);
    }
    uint32_t next = 0;
    const std::vector<ColourBlock> got = Scan(cookie, line, next, from, to);
    bool same = got.size() == expected.size();
    for (size_t b = 0; same && b < got.size(); ++b)
        same = got[b].pos == expected[b].pos && got[b].colour == expected[b].colour;
    FUZZ_CHECK(same, "window " + std::to_string(from) + ".." + std::to_string(to) +
                         " keeps other blocks: " + Escaped(line));
}

uint32_t CheckLine(uint32_t cookie, std::string_view line) {
    const std::string what = "cookie " + std::to_string(cookie) + ", line " + Escaped(line);
    const int n = static_cast<int>(line.size());
    uint32_t next = 0;
    const std::vector<ColourBlock> blocks = Scan(cookie, line, next);

    FUZZ_CHECK(n == 0 ? blocks.empty() : !blocks.empty() && blocks[0].pos == 0,
               "the first run starts the line: " + what);
    for (size_t b = 0; b < blocks.size(); ++b) {
        const ColourBlock& block = blocks[b];
        const std::string at = what + ", block " + std::to_string(b);
        FUZZ_CHECK(block.pos >= 0 && block.pos <= n, "position outside the line: " + at);
        FUZZ_CHECK(b == 0 || block.pos >= blocks[b - 1].pos, "blocks out of order: " + at);
        FUZZ_CHECK(ValidColour(block.colour), "colour " + std::to_string(block.colour) + ": " + at);
        if (block.colour == COLOUR_KEYWORD || block.colour == COLOUR_NUMBER) {
            const size_t p = size_t(block.pos);
            FUZZ_CHECK(p == 0 || !WordByte(line[p - 1]), "word block inside a word: " + at);
            size_t end = p;
            while (end < line.size() && WordByte(line[end]))
                ++end;
            const std::string_view word = line.substr(p, end - p);
            FUZZ_CHECK(block.colour == COLOUR_KEYWORD ? Keyword(word) : Number(word),
                       "word " + Escaped(word) + " wrongly classified: " + at);
        }
    }

    FUZZ_CHECK((next & ~kStateBits) == 0, "cookie bits " + std::to_string(next) + ": " + what);
    const bool continued = n > 0 && line.back() == '\\';
    if (!continued)
        FUZZ_CHECK((next & ~uint32_t(COOKIE_BLOCK_COMMENT)) == 0,
                   "state carried past the line end: " + what);

    CheckWindow(cookie, line, blocks, n / 3, n - n / 4);
    FUZZ_CHECK(ScanProgramLine(cookie, line, nullptr) == next,
               "the cookie differs without blocks: " + what);
    uint32_t again = 0;
    const std::vector<ColourBlock> second = Scan(cookie, line, again);
    FUZZ_CHECK(again == next && second.size() == blocks.size(), "second scan differs: " + what);
    for (size_t b = 0; b < blocks.size(); ++b)
        FUZZ_CHECK(second[b].pos == blocks[b].pos && second[b].colour == blocks[b].colour,
                   "second scan differs: " + what);

    // Whole lines of one state.
    if (cookie == COOKIE_LINE_COMMENT) {
        FUZZ_CHECK(AllOneColour(blocks, COLOUR_COMMENT), "continued comment: " + what);
        FUZZ_CHECK(next == (continued ? cookie : 0), "continued comment's cookie: " + what);
    }
    if (cookie == COOKIE_BLOCK_COMMENT && line.find("*/") == std::string_view::npos) {
        FUZZ_CHECK(AllOneColour(blocks, COLOUR_COMMENT), "open block comment: " + what);
        FUZZ_CHECK(next == cookie, "open block comment's cookie: " + what);
    }
    if (cookie == COOKIE_STRING && line.find('"') == std::string_view::npos) {
        FUZZ_CHECK(AllOneColour(blocks, COLOUR_STRING), "open string: " + what);
        FUZZ_CHECK(next == (continued ? cookie : 0), "open string's cookie: " + what);
    }
    return next;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    uint32_t cookie = in.Byte() & kStateBits;
    const std::string_view text = in.Rest();
    size_t start = 0;
    for (;;) {
        const size_t lf = text.find('\n', start);
        cookie = CheckLine(cookie, text.substr(start, lf - start));
        if (lf == std::string_view::npos)
            break;
        start = lf + 1;
    }
    return 0;
}
