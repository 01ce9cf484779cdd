#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "editor/buffer/CTextBuffer.h"
#include "editor/text/LineGeometry.h"
#include "editor/text/TextEncoding.h"
#include "editor/text/WordMotion.h"

namespace {

constexpr TextEncoding G = TextEncoding::Gbk;
constexpr TextEncoding U = TextEncoding::Utf8;

const std::string kBom = "\xEF\xBB\xBF";
const std::string kZhongUtf8 = "\xE4\xB8\xAD"; // 中, three bytes, two cells
const std::string kEAcute = "\xC3\xA9";        // é, two bytes, one cell
const std::string kZhongGbk = "\xD6\xD0";

TEST(TextEncoding, DetectsUtf8OnlyFromABomOrAWellFormedMultiByteCharacter) {
    EXPECT_EQ(DetectTextEncoding(kBom + "G1 X5\r\n"), U);
    // The mark decides even when what follows is not UTF-8.
    EXPECT_EQ(DetectTextEncoding(kBom + "\xD6\xD0"), U);
    EXPECT_EQ(DetectTextEncoding("O1000 ; " + kZhongUtf8 + "\r\nG1\r\n"), U);
    EXPECT_EQ(DetectTextEncoding("N10 (" + kEAcute + ")"), U);
    // Pure ASCII is the classic GBK, as every program was before.
    EXPECT_EQ(DetectTextEncoding("G1 X5\r\nM30\r\n"), G);
    EXPECT_EQ(DetectTextEncoding(""), G);
    // GBK Chinese is not well-formed UTF-8.
    EXPECT_EQ(DetectTextEncoding("O1000 (\xB4\xD6\xBC\xD3\xB9\xA4)"), G);
    // One bad byte after good UTF-8 makes it GBK: overlong, surrogate, stray.
    EXPECT_EQ(DetectTextEncoding(kZhongUtf8 + "\xC0\x80"), G);
    EXPECT_EQ(DetectTextEncoding(kZhongUtf8 + "\xED\xA0\x80"), G);
    EXPECT_EQ(DetectTextEncoding(kZhongUtf8 + "\xFF"), G);
    // A character cut by the end of the detection block may go on after it.
    EXPECT_EQ(DetectTextEncoding(kZhongUtf8 + "a\xE4\xB8"), U);
    EXPECT_EQ(DetectTextEncoding("a\xE4\xB8"), G); // nothing whole to go by
}

TEST(TextEncoding, LoadingDetectsTheEncodingAndChangesNoByte) {
    TempDir dir;
    const std::string utf8 =
        "; " + kZhongUtf8 + "\xE6\x96\x87\xE6\xB3\xA8\xE9\x87\x8A OK\r\nG1\r\n";
    const std::string gbk = "O1000 (" + kZhongGbk + ")\r\nM30\r\n";
    struct Case {
        std::string bytes;
        TextEncoding expected;
    } cases[] = {{utf8, U}, {kBom + "G1\r\n", U}, {gbk, G}, {"G1 X5\r\n", G}};
    for (const Case& c : cases) {
        const std::string in = dir.File("in.nc"), out = dir.File("out.nc");
        WriteBytes(in, c.bytes);
        CTextBuffer buffer;
        ASSERT_TRUE(buffer.LoadFromDisk(in));
        EXPECT_EQ(buffer.Encoding(), c.expected);
        buffer.SetEncoding(c.expected == U ? G : U); // the operator switches it
        ASSERT_TRUE(buffer.SaveToDisk(out));
        EXPECT_EQ(ReadBytes(out), c.bytes);
    }
    CTextBuffer fresh;
    fresh.CreateEmpty();
    EXPECT_EQ(fresh.Encoding(), G); // a new or received program is GBK
}

TEST(TextEncoding, Utf8CharactersTakeTheirCellsAndAreSteppedWhole) {
    const std::string line = "a" + kZhongUtf8 + "b" + kEAcute + "\tx"; // a中bé<tab>x
    // Columns: a 0, 中 1-2, b 3, é 4, tab 5-7, x 8.
    EXPECT_EQ(ColumnOfChar(line, 4, 4, U), 3);
    EXPECT_EQ(ColumnOfChar(line, 5, 4, U), 4);
    EXPECT_EQ(ColumnOfChar(line, 7, 4, U), 5);
    EXPECT_EQ(ExpandedLength(line, 4, U), 9);
    // The same bytes as GBK take one cell each: seven before the tab, which
    // then reaches column 8.
    EXPECT_EQ(ExpandedLength(line, 4, G), 9);
    EXPECT_EQ(ColumnOfChar(line, 7, 4, G), 7);
    // A click on either cell of the wide character hits it; the next cell, b.
    EXPECT_EQ(CharHitAtColumn(line, 1, 4, U), 1);
    EXPECT_EQ(CharHitAtColumn(line, 2, 4, U), 1);
    EXPECT_EQ(CharHitAtColumn(line, 3, 4, U), 4);
    EXPECT_EQ(CharHitAtColumn(line, 99, 4, U), int(line.size()));
    // A vertical move aiming inside the wide character lands before it.
    EXPECT_EQ(CharAtColumn(line, 2, 4, U), 1);
    EXPECT_EQ(CharAtColumn(line, 3, 4, U), 4);
    EXPECT_EQ(ExpandTabs(line, 5, 3, 4, U), kEAcute + "   ");
    // A byte-order mark takes no cell: the text after it starts in column 0.
    EXPECT_EQ(ColumnOfChar(kBom + "G1", 3, 4, U), 0);
    EXPECT_EQ(CharHitAtColumn(kBom + "G1", 0, 4, U), 3);
}

// Lines built from pieces that make every kind of boundary likely.
std::vector<std::string> MixedLines(TextEncoding encoding) {
    const std::vector<std::string> pieces =
        encoding == U ? std::vector<std::string>{"G1",       " ",     "\t",
                                                 kZhongUtf8, kEAcute, "\xF0\x9F\x94\xA7",
                                                 "\xE4\xB8", "\x80",  "\xFF",
                                                 "(",        kBom,    "N5"}
                      : std::vector<std::string>{"G1",   " ", "\t",   kZhongGbk, "\x81\x41", "\x81",
                                                 "\xFF", "(", "\xB0", "N5",      "A"};
    std::mt19937 random(7);
    std::vector<std::string> lines;
    for (int n = 0; n < 300; ++n) {
        std::string line;
        const int count = int(random() % 12);
        for (int k = 0; k < count; ++k)
            line += pieces[random() % pieces.size()];
        lines.push_back(line);
    }
    return lines;
}

// Every place a caret can be put or moved to is a character boundary, and
// the characters laid out for drawing cover the line exactly once.
TEST(TextEncoding, NoCaretPositionFallsInsideACharacter) {
    for (TextEncoding encoding : {G, U}) {
        for (const std::string& line : MixedLines(encoding)) {
            const int n = int(line.size());
            const int width = ExpandedLength(line, 4, encoding);
            for (int c = 0; c <= width + 2; ++c) {
                EXPECT_FALSE(SplitsChar(line, CharHitAtColumn(line, c, 4, encoding), encoding));
                EXPECT_FALSE(SplitsChar(line, CharAtColumn(line, c, 4, encoding), encoding));
            }
            for (int i = 0; i <= n; ++i) {
                EXPECT_FALSE(SplitsChar(line, GuardSplit(line, i, encoding), encoding));
                EXPECT_FALSE(SplitsChar(line, WordEndAfter(line, i, encoding), encoding));
                EXPECT_FALSE(SplitsChar(line, WordStartBefore(line, i, encoding), encoding));
                if (i < n) {
                    EXPECT_FALSE(SplitsChar(line, WordRightInLine(line, i, encoding), encoding));
                }
                if (i > 0) {
                    EXPECT_FALSE(SplitsChar(line, WordLeftInLine(line, i, encoding), encoding));
                }
            }
            std::vector<CellChar> all;
            CharsInColumns(line, 0, width + 1, 4, encoding, all);
            int next = 0, column = 0;
            for (const CellChar& c : all) {
                EXPECT_EQ(c.byte, next);
                EXPECT_EQ(c.column, column);
                EXPECT_EQ(ColumnOfChar(line, c.byte, 4, encoding), c.column);
                next += c.length;
                column += c.cells;
            }
            EXPECT_EQ(next, n);
            EXPECT_EQ(column, width);
        }
    }
}

// A window of columns starts and ends with whole characters, even where its
// edge cuts a wide character.
TEST(TextEncoding, AWindowOfColumnsHoldsWholeCharacters) {
    for (TextEncoding encoding : {G, U}) {
        for (const std::string& line : MixedLines(encoding)) {
            const int width = ExpandedLength(line, 4, encoding);
            std::vector<CellChar> all, part;
            CharsInColumns(line, 0, width + 1, 4, encoding, all);
            for (int from = 0; from < width; from += 3) {
                const int to = from + 5;
                CharsInColumns(line, from, to, 4, encoding, part);
                std::vector<CellChar> expected;
                for (const CellChar& c : all)
                    if (c.column < to &&
                        (c.column + c.cells > from || (c.cells == 0 && c.column >= from)))
                        expected.push_back(c);
                ASSERT_EQ(part.size(), expected.size()) << "from " << from;
                for (size_t k = 0; k < part.size(); ++k) {
                    EXPECT_EQ(part[k].byte, expected[k].byte);
                    EXPECT_EQ(part[k].column, expected[k].column);
                }
            }
        }
    }
}

// On a long line every answer is the same whether a walk starts at the line's
// start or at the index's nearest mark.
TEST(TextEncoding, AColumnIndexChangesNoAnswer) {
    for (TextEncoding encoding : {G, U}) {
        std::string line;
        while (line.size() <= size_t(3 * ColumnIndex::kStride))
            for (const std::string& piece : MixedLines(encoding))
                line += piece;
        ASSERT_GT(line.size(), size_t(3 * ColumnIndex::kStride));
        ColumnIndex index;
        index.Build(line, 4, encoding);
        const int width = ExpandedLength(line, 4, encoding);
        EXPECT_EQ(ExpandedLength(line, 4, encoding, &index), width);
        for (int i = 0; i <= int(line.size()); i += 37)
            ASSERT_EQ(ColumnOfChar(line, i, 4, encoding, &index),
                      ColumnOfChar(line, i, 4, encoding))
                << i;
        std::vector<CellChar> plain, indexed;
        for (int c = 0; c <= width + 1; c += 29) {
            ASSERT_EQ(CharHitAtColumn(line, c, 4, encoding, &index),
                      CharHitAtColumn(line, c, 4, encoding))
                << c;
            ASSERT_EQ(CharAtColumn(line, c, 4, encoding, &index),
                      CharAtColumn(line, c, 4, encoding))
                << c;
            CharsInColumns(line, c, c + 80, 4, encoding, plain);
            CharsInColumns(line, c, c + 80, 4, encoding, indexed, &index);
            ASSERT_EQ(plain.size(), indexed.size()) << c;
            for (size_t k = 0; k < plain.size(); ++k)
                ASSERT_EQ(plain[k].byte, indexed[k].byte) << c;
        }
    }
}

} // namespace
