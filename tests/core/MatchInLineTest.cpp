#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "editor/text/TextSearch.h"

namespace {

TEST(MatchInLine, PlainSearchReturnsTheFirstOccurrence) {
    EXPECT_EQ(MatchInLine("G1 X10 G1 Y5", "G1", false), 0);
    EXPECT_EQ(MatchInLine("X10 G1 Y5", "G1", false), 4);
    EXPECT_EQ(MatchInLine("X10", "G1", false), -1);
    EXPECT_EQ(MatchInLine("", "G1", false), -1);
    EXPECT_EQ(MatchInLine("G", "G1", false), -1);
    // Nothing to look for is never found (an empty search must not "match"
    // everywhere and leave the caret standing still).
    EXPECT_EQ(MatchInLine("abc", "", false), -1);
}

TEST(MatchInLine, WholeWordRejectsWordBytesAroundTheOccurrence) {
    // The x before the first ab rejects it; the offset counts from the start.
    EXPECT_EQ(MatchInLine("xab ab", "ab", true), 4);
    // aa at 0 is followed by a word byte; the one at 1 begins at the new scan
    // point, so the a before it is not examined.
    EXPECT_EQ(MatchInLine("aaa", "aa", true), 1);
    // The byte before the haystack is never looked at.
    EXPECT_EQ(MatchInLine("ab", "ab", true), 0);
    EXPECT_EQ(MatchInLine("ab_", "ab", true), -1);
    EXPECT_EQ(MatchInLine("ab9 ab", "ab", true), 4);
    // Punctuation, NUL and bytes of 0x80 and above are not word bytes.
    EXPECT_EQ(MatchInLine("(ab)", "ab", true), 1);
    EXPECT_EQ(MatchInLine(std::string_view("\0ab", 3), "ab", true), 1);
    EXPECT_EQ(MatchInLine("\xD6\xD0"
                          "ab\xCE\xC4",
                          "ab", true),
              2);
    EXPECT_EQ(MatchInLine("zab", "ab", true), -1);
}

TEST(MatchInLine, ComparesBytesSoAMatchMayStartInsideADoubleByteCharacter) {
    // 0xD0 is the second byte of the first character.
    EXPECT_EQ(MatchInLine("\xD6\xD0\xCE", "\xD0\xCE", false), 1);
}

TEST(MatchInLine, UpperCasingLeavesDoubleByteCharactersAlone) {
    std::string out;
    UpperGbk("g1 x\x81"
             "a",
             out); // 0x81 0x61 is one character: its 'a' stays
    EXPECT_EQ(out, "G1 X\x81"
                   "a");
    UpperGbk("az_AZ", out);
    EXPECT_EQ(out, "AZ_AZ");
}

class SearchInRangeTest : public ::testing::Test {
protected:
    CTextBuffer buf;
    TextPos found{-1, -1};
    bool Find(std::string_view text, TextPos start, uint32_t flags, bool wrap = true) {
        found = {-1, -1};
        return SearchText(buf, text, start, flags, wrap, found);
    }
};

TEST_F(SearchInRangeTest, CaseAndWholeWord) {
    SetLines(buf, {"xAB ab"});
    ASSERT_TRUE(Find("ab", {0, 0}, 0));
    EXPECT_EQ(found, (TextPos{0, 1}));
    ASSERT_TRUE(Find("ab", {0, 0}, SEARCH_CASE));
    EXPECT_EQ(found, (TextPos{0, 4}));
    ASSERT_TRUE(Find("ab", {0, 0}, SEARCH_WORD));
    EXPECT_EQ(found, (TextPos{0, 4}));
    SetLines(buf, {"aaa"});
    ASSERT_TRUE(Find("aa", {0, 0}, SEARCH_WORD));
    EXPECT_EQ(found, (TextPos{0, 1}));
}

TEST_F(SearchInRangeTest, ForwardWrapsOnceAndNeverSpansLines) {
    SetLines(buf, {"G1 X1", "Y2", "G1 Z3"});
    ASSERT_TRUE(Find("G1", {2, 3}, 0));
    EXPECT_EQ(found, (TextPos{0, 0}));
    EXPECT_FALSE(Find("G1", {2, 3}, 0, false));
    EXPECT_FALSE(Find("X1Y2", {0, 0}, 0));
    EXPECT_FALSE(Find("Q", {0, 0}, 0));
}

TEST_F(SearchInRangeTest, RangeAcceptsAMatchByItsStart) {
    SetLines(buf, {"aaaaa"});
    TextPos f;
    // Starts at 2 (inside), reaches past the end at 3: accepted.
    ASSERT_TRUE(SearchInRange(buf, "aa", {0, 2}, {0, 0}, {0, 3}, 0, false, f));
    EXPECT_EQ(f, (TextPos{0, 2}));
    EXPECT_FALSE(SearchInRange(buf, "a", {0, 3}, {0, 0}, {0, 3}, 0, false, f));
    // Wrapping goes back to the range's beginning, not the text's.
    ASSERT_TRUE(SearchInRange(buf, "a", {0, 3}, {0, 1}, {0, 3}, 0, true, f));
    EXPECT_EQ(f, (TextPos{0, 1}));
    EXPECT_FALSE(SearchInRange(buf, "a", {0, 0}, {0, 2}, {0, 2}, 0, true, f));
}

TEST_F(SearchInRangeTest, BackwardFindsTheLastMatchBeforeTheStart) {
    SetLines(buf, {"ab ab ab", "x", "ab ab"});
    ASSERT_TRUE(Find("ab", {2, 5}, SEARCH_BACKWARD));
    EXPECT_EQ(found, (TextPos{2, 3}));
    ASSERT_TRUE(Find("ab", {2, 3}, SEARCH_BACKWARD));
    EXPECT_EQ(found, (TextPos{2, 0}));
    // The previous line's last match, not its first.
    ASSERT_TRUE(Find("ab", {2, 0}, SEARCH_BACKWARD));
    EXPECT_EQ(found, (TextPos{0, 6}));
    // Past the top: from the end of the text.
    ASSERT_TRUE(Find("ab", {0, 0}, SEARCH_BACKWARD));
    EXPECT_EQ(found, (TextPos{2, 3}));
    EXPECT_FALSE(Find("ab", {0, 0}, SEARCH_BACKWARD, false));
}

TEST_F(SearchInRangeTest, TextAfterANulByteIsSearchedToo) {
    SetLines(buf, {std::string("X\0G1", 4)});
    ASSERT_TRUE(Find("G1", {0, 0}, 0));
    EXPECT_EQ(found, (TextPos{0, 2}));
}

} // namespace
