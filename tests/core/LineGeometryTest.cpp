#include <gtest/gtest.h>

#include "editor/text/LineGeometry.h"
#include "editor/text/WordMotion.h"

namespace {

constexpr TextEncoding G = TextEncoding::Gbk;
constexpr TextEncoding U = TextEncoding::Utf8;

const std::string kZhong = "\xD6\xD0"; // a GB2312 character
const std::string kExt = "\x81\x41";   // a GBK extension character: trail byte 'A'

TEST(LineGeometry, TabsAdvanceToTheNextStop) {
    // A tab at column 1 with tab size 4 takes three cells.
    EXPECT_EQ(ExpandTabs("a\tb", 0, 3, 4, G), "a   b");
    EXPECT_EQ(ColumnOfChar("a\tb", 2, 4, G), 4);
    EXPECT_EQ(ExpandedLength("a\tb", 4, G), 5);
    EXPECT_EQ(ExpandedLength("\t\t", 4, G), 8);
    EXPECT_EQ(ExpandedLength("abcd\t", 4, G), 8);
    EXPECT_EQ(ExpandedLength("plain", 4, G), 5);
    // Expanding a middle piece measures tab stops from where the piece starts.
    EXPECT_EQ(ExpandTabs("ab\tc", 2, 2, 4, G), "  c");
    EXPECT_EQ(ExpandTabs("abc", 1, 0, 4, G), "");
    EXPECT_EQ(ExpandTabs("abc", 1, 10, 4, G), "bc");
    // Past the end counts as the end.
    EXPECT_EQ(ColumnOfChar("ab", 99, 4, G), 2);
}

TEST(LineGeometry, DoubleByteCharactersTakeTwoCells) {
    const std::string line = "X" + kZhong + "Y";
    EXPECT_EQ(ExpandedLength(line, 4, G), 4);
    EXPECT_EQ(ColumnOfChar(line, 3, 4, G), 3);
}

TEST(LineGeometry, CharAtColumnLandsBeforeTheFirstHalfOfATab) {
    EXPECT_EQ(CharAtColumn("abc", 0, 4, G), 0);
    EXPECT_EQ(CharAtColumn("abc", 2, 4, G), 2);
    EXPECT_EQ(CharAtColumn("abc", 20, 4, G), 3);
    // The tab spans columns 0..3: column 1 lies in its first half.
    EXPECT_EQ(CharAtColumn("\tx", 1, 4, G), 0);
    EXPECT_EQ(CharAtColumn("\tx", 3, 4, G), 1);
    EXPECT_EQ(CharAtColumn("\tx", 4, 4, G), 1);
}

TEST(LineGeometry, HitColumnFindsTheByteUnderThePoint) {
    EXPECT_EQ(CharHitAtColumn("abc", 0, 4, G), 0);
    EXPECT_EQ(CharHitAtColumn("abc", 2, 4, G), 2);
    EXPECT_EQ(CharHitAtColumn("abc", 3, 4, G), 3);
    EXPECT_EQ(CharHitAtColumn("abc", 50, 4, G), 3);
    EXPECT_EQ(CharHitAtColumn("\tx", 2, 4, G), 0);
    EXPECT_EQ(CharHitAtColumn("\tx", 4, 4, G), 1);
}

TEST(LineGeometry, DoubleByteGuard) {
    const std::string line = "a" + kZhong + kZhong + "b";
    EXPECT_FALSE(SplitsChar(line, 0, G));
    EXPECT_FALSE(SplitsChar(line, 1, G));
    EXPECT_TRUE(SplitsChar(line, 2, G));
    EXPECT_FALSE(SplitsChar(line, 3, G));
    EXPECT_TRUE(SplitsChar(line, 4, G));
    EXPECT_FALSE(SplitsChar(line, 5, G));
    EXPECT_FALSE(SplitsChar(line, 6, G));
    EXPECT_EQ(GuardSplit(line, 4, G), 3);
    // GBK characters whose trail byte is below 0xA0 are whole characters too:
    // the position after one must not count as inside it.
    const std::string ext = kExt + "x" + "\x81\xA1" + "y";
    EXPECT_TRUE(SplitsChar(ext, 1, G));
    EXPECT_FALSE(SplitsChar(ext, 2, G));
    EXPECT_TRUE(SplitsChar(ext, 4, G));
    EXPECT_FALSE(SplitsChar(ext, 5, G));
}

TEST(WordMotion, KeyboardWordsOnAProgramLine) {
    const std::string line = "G1 X50";
    EXPECT_EQ(WordLeftInLine(line, 5, G), 3);
    EXPECT_EQ(WordRightInLine(line, 0, G), 3);
    EXPECT_EQ(WordRightInLine(line, 3, G), 6);
    EXPECT_EQ(WordLeftInLine(line, 3, G), 0);
    // Punctuation runs stop at white space and at word characters.
    EXPECT_EQ(WordRightInLine("a+=b", 1, G), 3);
    EXPECT_EQ(WordLeftInLine("a+=  b", 5, G), 1);
    EXPECT_EQ(WordRightInLine("   x", 0, G), 3);
    EXPECT_EQ(WordLeftInLine("   x", 3, G), 0);
}

TEST(WordMotion, KeyboardWordsNeverSplitDoubleByteCharacters) {
    // The extension character's trail byte is the letter A; a byte-wise scan
    // would stop right before it.
    const std::string line = "x " + kExt + kZhong + " y";
    EXPECT_EQ(WordRightInLine(line, 2, G), 7);
    EXPECT_EQ(WordLeftInLine(line, 6, G), 2);
}

TEST(WordMotion, MouseWordsTakeRunsOfDoubleByteCharacters) {
    const std::string line = "N1 " + kZhong + kExt + kZhong + " G1";
    EXPECT_EQ(WordStartBefore(line, 5, G), 3);
    EXPECT_EQ(WordEndAfter(line, 5, G), 9);
    // From inside a character the word still starts at that character's start.
    EXPECT_EQ(WordEndAfter(line, 4, G), 9);
    EXPECT_EQ(WordStartBefore(line, 4, G), 3);
    EXPECT_EQ(WordStartBefore(line, 11, G), 10);
    EXPECT_EQ(WordEndAfter(line, 10, G), 12);
    EXPECT_EQ(WordEndAfter(line, 12, G), 12);
    EXPECT_EQ(WordStartBefore(line, 0, G), 0);
    // A dot ends a word for the mouse.
    EXPECT_EQ(WordEndAfter("X10.5", 0, G), 3);
}

TEST(WordMotion, FirstNonBlank) {
    EXPECT_EQ(FirstNonBlank("    G1 X5"), 4);
    EXPECT_EQ(FirstNonBlank("\t G1"), 2);
    EXPECT_EQ(FirstNonBlank("   "), 3);
    EXPECT_EQ(FirstNonBlank(""), 0);
}

} // namespace
