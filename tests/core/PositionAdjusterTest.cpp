// Positions that views keep, moved across insertions and erasures.
#include <gtest/gtest.h>

#include "editor/buffer/PositionAdjuster.h"

namespace {

TextPos Insert(TextPos start, TextPos end, TextPos pos) {
    InsertAdjuster(start, end).Adjust(pos);
    return pos;
}

TextPos Erase(TextPos start, TextPos end, TextPos pos) {
    EraseAdjuster(start, end).Adjust(pos);
    return pos;
}

TEST(InsertAdjusterTest, MovesOnlyWhatLiesAfterTheInsertionPoint) {
    const TextPos s{3, 2}, e{4, 5}; // inserted text runs to line 5, byte 4
    EXPECT_EQ(Insert(s, e, {9, 1}), (TextPos{9, 1})) << "earlier line";
    EXPECT_EQ(Insert(s, e, {1, 2}), (TextPos{1, 2})) << "before, same line";
    EXPECT_EQ(Insert(s, e, {3, 2}), (TextPos{3, 2})) << "exactly at the point";
    EXPECT_EQ(Insert(s, e, {7, 2}), (TextPos{8, 5})) << "after, same line";
    EXPECT_EQ(Insert(s, e, {0, 3}), (TextPos{0, 6})) << "later line";
}

TEST(InsertAdjusterTest, SameLineInsertionShiftsBytes) {
    EXPECT_EQ(Insert({0, 0}, {5, 0}, {1, 0}), (TextPos{6, 0}));
    EXPECT_EQ(Insert({0, 0}, {5, 0}, {0, 0}), (TextPos{0, 0}));
}

TEST(EraseAdjusterTest, CollapsesTheRangeAndPullsLaterText) {
    const TextPos s{2, 1}, e{3, 4};
    EXPECT_EQ(Erase(s, e, {8, 0}), (TextPos{8, 0})) << "earlier line";
    EXPECT_EQ(Erase(s, e, {1, 1}), (TextPos{1, 1})) << "before the start, same line";
    EXPECT_EQ(Erase(s, e, {2, 1}), (TextPos{2, 1})) << "at the start";
    EXPECT_EQ(Erase(s, e, {9, 2}), (TextPos{2, 1})) << "inside";
    EXPECT_EQ(Erase(s, e, {1, 4}), (TextPos{2, 1})) << "inside, end line";
    EXPECT_EQ(Erase(s, e, {3, 4}), (TextPos{2, 1})) << "at the end";
    EXPECT_EQ(Erase(s, e, {6, 4}), (TextPos{5, 1})) << "after the end, end line";
    EXPECT_EQ(Erase(s, e, {6, 7}), (TextPos{6, 4})) << "later line";
}

TEST(EraseAdjusterTest, WithinOneLine) {
    EXPECT_EQ(Erase({1, 0}, {4, 0}, {6, 0}), (TextPos{3, 0}));
    EXPECT_EQ(Erase({1, 0}, {4, 0}, {2, 0}), (TextPos{1, 0}));
    EXPECT_EQ(Erase({1, 0}, {4, 0}, {0, 0}), (TextPos{0, 0}));
}

} // namespace
