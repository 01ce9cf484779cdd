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
    const TextPos s{2, 3}, e{5, 4}; // inserted text runs to line 5, byte 4
    EXPECT_EQ(Insert(s, e, {1, 9}), (TextPos{1, 9})) << "earlier line";
    EXPECT_EQ(Insert(s, e, {2, 1}), (TextPos{2, 1})) << "before, same line";
    EXPECT_EQ(Insert(s, e, {2, 3}), (TextPos{2, 3})) << "exactly at the point";
    EXPECT_EQ(Insert(s, e, {2, 7}), (TextPos{5, 8})) << "after, same line";
    EXPECT_EQ(Insert(s, e, {3, 0}), (TextPos{6, 0})) << "later line";
}

TEST(InsertAdjusterTest, SameLineInsertionShiftsBytes) {
    EXPECT_EQ(Insert({0, 0}, {0, 5}, {0, 1}), (TextPos{0, 6}));
    EXPECT_EQ(Insert({0, 0}, {0, 5}, {0, 0}), (TextPos{0, 0}));
}

TEST(EraseAdjusterTest, CollapsesTheRangeAndPullsLaterText) {
    const TextPos s{1, 2}, e{4, 3};
    EXPECT_EQ(Erase(s, e, {0, 8}), (TextPos{0, 8})) << "earlier line";
    EXPECT_EQ(Erase(s, e, {1, 1}), (TextPos{1, 1})) << "before the start, same line";
    EXPECT_EQ(Erase(s, e, {1, 2}), (TextPos{1, 2})) << "at the start";
    EXPECT_EQ(Erase(s, e, {2, 9}), (TextPos{1, 2})) << "inside";
    EXPECT_EQ(Erase(s, e, {4, 1}), (TextPos{1, 2})) << "inside, end line";
    EXPECT_EQ(Erase(s, e, {4, 3}), (TextPos{1, 2})) << "at the end";
    EXPECT_EQ(Erase(s, e, {4, 6}), (TextPos{1, 5})) << "after the end, end line";
    EXPECT_EQ(Erase(s, e, {7, 6}), (TextPos{4, 6})) << "later line";
}

TEST(EraseAdjusterTest, WithinOneLine) {
    EXPECT_EQ(Erase({0, 1}, {0, 4}, {0, 6}), (TextPos{0, 3}));
    EXPECT_EQ(Erase({0, 1}, {0, 4}, {0, 2}), (TextPos{0, 1}));
    EXPECT_EQ(Erase({0, 1}, {0, 4}, {0, 0}), (TextPos{0, 0}));
}

} // namespace
