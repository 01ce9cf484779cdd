#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "TestHelpers.h"
#include "editor/text/ProgramScanner.h"
#include "editor/text/ProgramWords.h"

namespace {

using Blocks = std::vector<std::pair<int, int>>;

struct Scan {
    Blocks blocks;
    uint32_t cookie;
};

Scan ScanLine(uint32_t cookie, std::string_view line) {
    ColourBlocks blocks;
    Scan out;
    out.cookie = ScanProgramLine(cookie, line, &blocks);
    for (const ColourBlock& b : blocks)
        out.blocks.emplace_back(b.pos, b.colour);
    return out;
}

// Colour of the run that covers byte i.
int ColourAt(const Blocks& blocks, int i) {
    int colour = COLOUR_NORMAL_TEXT;
    for (auto [pos, c] : blocks)
        if (pos <= i)
            colour = c;
    return colour;
}

TEST(ProgramWords, KeywordsAreExactAndCaseSensitive) {
    for (const char* w : {"X", "Y", "Z", "I", "J", "G1", "G2"})
        EXPECT_TRUE(IsProgramKeyword(w, int(strlen(w)))) << w;
    for (const char* w : {"G01", "x", "g1", "G", "G10", "XY", "K"})
        EXPECT_FALSE(IsProgramKeyword(w, int(strlen(w)))) << w;
    EXPECT_FALSE(IsProgramKeyword("", 0));
    // Only the given length counts.
    EXPECT_TRUE(IsProgramKeyword("G1X", 2));
}

TEST(ProgramWords, Numbers) {
    for (const char* w : {"5", "1.5e3", "0x1F", "0xab", "10.25", "1e-3", "0"})
        EXPECT_TRUE(IsProgramNumber(w, int(strlen(w)))) << w;
    for (const char* w : {"0x", "12a", "x5", ".5", "0xG", "-1", "X10.5"})
        EXPECT_FALSE(IsProgramNumber(w, int(strlen(w)))) << w;
    EXPECT_FALSE(IsProgramNumber("", 0));
}

TEST(ProgramScanner, ProgramLineRuns) {
    const std::string line = "N10 G1 X 5 ; rapid";
    const Scan s = ScanLine(0, line);
    EXPECT_EQ(s.cookie, 0u);
    EXPECT_EQ(ColourAt(s.blocks, 0), COLOUR_NORMAL_TEXT); // N10
    EXPECT_EQ(ColourAt(s.blocks, 4), COLOUR_KEYWORD);     // G1
    EXPECT_EQ(ColourAt(s.blocks, 5), COLOUR_KEYWORD);
    EXPECT_EQ(ColourAt(s.blocks, 6), COLOUR_NORMAL_TEXT); // the space after it
    EXPECT_EQ(ColourAt(s.blocks, 7), COLOUR_KEYWORD);     // X
    EXPECT_EQ(ColourAt(s.blocks, 9), COLOUR_NUMBER);      // 5
    EXPECT_EQ(ColourAt(s.blocks, 10), COLOUR_NORMAL_TEXT);
    for (int i = 11; i < int(line.size()); ++i)
        EXPECT_EQ(ColourAt(s.blocks, i), COLOUR_COMMENT) << i;
    // Positions never go backwards.
    for (size_t i = 1; i < s.blocks.size(); ++i)
        EXPECT_LE(s.blocks[i - 1].first, s.blocks[i].first);
}

TEST(ProgramScanner, WordRightBeforeACommentIsStillColoured) {
    // "X5;" must colour the 5 as it does in "X 5 ;".
    const Scan s = ScanLine(0, "G1 X 5;tail");
    EXPECT_EQ(ColourAt(s.blocks, 5), COLOUR_NUMBER);
    EXPECT_EQ(ColourAt(s.blocks, 6), COLOUR_COMMENT);
    const Scan k = ScanLine(0, "G1;");
    EXPECT_EQ(ColourAt(k.blocks, 0), COLOUR_KEYWORD);
    EXPECT_EQ(ColourAt(k.blocks, 2), COLOUR_COMMENT);
    // A word that ends the line.
    EXPECT_EQ(ColourAt(ScanLine(0, "X 12").blocks, 3), COLOUR_NUMBER);
}

TEST(ProgramScanner, DottedWordsAreOrdinaryText) {
    const Scan s = ScanLine(0, "G1 X10.5");
    EXPECT_EQ(ColourAt(s.blocks, 3), COLOUR_NORMAL_TEXT);
    EXPECT_EQ(ColourAt(s.blocks, 7), COLOUR_NORMAL_TEXT);
}

TEST(ProgramScanner, CookiesAcrossLines) {
    int none = 0;
    // An open block comment survives an empty line; a directive does not.
    EXPECT_EQ(ScanProgramLine(COOKIE_BLOCK_COMMENT, "", nullptr), COOKIE_BLOCK_COMMENT);
    EXPECT_EQ(ScanProgramLine(COOKIE_DIRECTIVE, "", nullptr), 0u);
    EXPECT_EQ(ScanProgramLine(0, "(x) /* open", nullptr), COOKIE_BLOCK_COMMENT);
    EXPECT_EQ(ScanProgramLine(COOKIE_BLOCK_COMMENT, "still */ G1", nullptr), 0u);
    // A trailing backslash carries string, directive and line-comment states.
    EXPECT_EQ(ScanProgramLine(0, "\"abc\\", nullptr), uint32_t(COOKIE_STRING));
    EXPECT_EQ(ScanProgramLine(0, "#define A \\", nullptr), uint32_t(COOKIE_DIRECTIVE));
    EXPECT_EQ(ScanProgramLine(0, "; note \\", nullptr), uint32_t(COOKIE_LINE_COMMENT));
    EXPECT_EQ(ScanProgramLine(0, "; note", nullptr), 0u);
    EXPECT_EQ(none, 0); // no blocks counted without an array
}

TEST(ProgramScanner, ContinuedCommentColoursTheWholeNextLine) {
    const Scan s = ScanLine(COOKIE_LINE_COMMENT, "G1 X5");
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ColourAt(s.blocks, i), COLOUR_COMMENT);
    EXPECT_EQ(s.cookie, 0u);
}

TEST(ProgramScanner, TheCookieIsTheSameWithAndWithoutBlocks) {
    const char* lines[] = {"#if 1 /* x",  "a */ \"s\\\"t\" 'c' G1", "// c \\", "G2 X1", "\"open \\",
                           "still\" X 5", "/* a */ b /* c"};
    uint32_t withBlocks = 0, without = 0;
    for (const char* line : lines) {
        withBlocks = ScanLine(withBlocks, line).cookie;
        without = ScanProgramLine(without, line, nullptr);
        EXPECT_EQ(withBlocks, without) << line;
    }
}

// --- golden files ---------------------------------------------------------

std::filesystem::path DataDir() {
    return SERMIDA_TEST_DATA;
}

// One line per text line: "cookie-in | pos:colour ... | cookie-out".
std::string Describe(const CTextBuffer& buffer) {
    std::ostringstream out;
    uint32_t cookie = 0;
    for (int i = 0; i < buffer.CountLines(); ++i) {
        const Scan s = ScanLine(cookie, buffer.LineView(i));
        out << i + 1 << ": " << std::hex << cookie << " |";
        for (auto [pos, colour] : s.blocks)
            out << ' ' << std::dec << pos << ':' << colour;
        out << " | " << std::hex << s.cookie << std::dec << '\n';
        cookie = s.cookie;
    }
    return out.str();
}

std::string WithLineEnds(const std::string& text, const std::string& eol) {
    std::string out;
    for (char c : text) {
        if (c == '\r')
            continue;
        if (c == '\n')
            out += eol;
        else
            out += c;
    }
    return out;
}

TEST(ProgramScannerGolden, MatchesTheExpectedBlocks) {
    TempDir tmp;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(DataDir())) {
        if (entry.path().extension() != ".nc")
            continue;
        ++files;
        const std::string source = ReadBytes(entry.path());
        const std::filesystem::path expectedPath = entry.path().string() + ".blocks";
        const std::string expected =
            std::filesystem::exists(expectedPath) ? ReadBytes(expectedPath) : std::string();
        for (const std::string eol : {"\n", "\r\n"}) {
            const std::string file = tmp.File("program.nc");
            WriteBytes(file, WithLineEnds(source, eol));
            CTextBuffer buffer;
            ASSERT_TRUE(buffer.LoadFromDisk(file));
            const std::string actual = Describe(buffer);
            if (actual != expected) {
                WriteBytes(expectedPath.string() + ".new", actual);
                ADD_FAILURE() << entry.path() << (eol == "\n" ? " (LF)" : " (CR LF)")
                              << " differs; wrote " << expectedPath << ".new";
                break;
            }
        }
    }
    EXPECT_GE(files, 3);
}

} // namespace
