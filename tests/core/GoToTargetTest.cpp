#include <climits>
#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "editor/text/GoToTarget.h"

namespace {

using Kind = GoToTarget::Kind;

TEST(GoToTarget, AnEntryIsALineNumberOrAnNWord) {
    GoToTarget t = ParseGoToTarget("120");
    EXPECT_EQ(t.kind, Kind::Line);
    EXPECT_EQ(t.line, 120);
    t = ParseGoToTarget("  7\t");
    EXPECT_EQ(t.kind, Kind::Line);
    EXPECT_EQ(t.line, 7);
    // A number no text reaches is still a line: the last one.
    t = ParseGoToTarget("99999999999999999999");
    EXPECT_EQ(t.kind, Kind::Line);
    EXPECT_EQ(t.line, INT_MAX);

    for (const char* entry : {"N120", "n120", "N0120", " N00120 "}) {
        t = ParseGoToTarget(entry);
        EXPECT_EQ(t.kind, Kind::Block) << entry;
        EXPECT_EQ(t.block, "120") << entry;
    }
    t = ParseGoToTarget("N000");
    EXPECT_EQ(t.kind, Kind::Block);
    EXPECT_EQ(t.block, "0");
    // Block numbers longer than any integer compare as digits.
    t = ParseGoToTarget("N000123456789012345678901234567890");
    EXPECT_EQ(t.block, "123456789012345678901234567890");
}

TEST(GoToTarget, AnythingElseIsNoPlace) {
    for (const char* entry : {"", "   ", "0", "000", "-3", "+3", "12a", "1 2", "N", "N 12", "N1 2",
                              "N-1", "G120", "NN1", "1.5", "\xD6\xD0"}) {
        EXPECT_EQ(ParseGoToTarget(entry).kind, Kind::None) << entry;
    }
}

TEST(GoToTarget, TheBlockNumberIsTheNWordThatStartsTheBlock) {
    EXPECT_EQ(BlockNumberOf("N120 G01 X1."), "120");
    EXPECT_EQ(BlockNumberOf("n120G01"), "120");
    EXPECT_EQ(BlockNumberOf("N0120"), "120");
    EXPECT_EQ(BlockNumberOf("N0"), "0");
    EXPECT_EQ(BlockNumberOf(" \t N35 M03"), "35");
    // Block delete, with or without blanks around the slash.
    EXPECT_EQ(BlockNumberOf("/N40 M01"), "40");
    EXPECT_EQ(BlockNumberOf("  / N40"), "40");
    // A UTF-8 file's byte-order mark sits before the first block.
    EXPECT_EQ(BlockNumberOf("\xEF\xBB\xBFN10 G90"), "10");
    // Double-byte text after the number is no part of it.
    EXPECT_EQ(BlockNumberOf("N5\xD6\xD0"), "5");

    // An N anywhere else, or without digits, is no block number.
    for (const char* line : {"", "G01 N120", "(N120)", ";N120", "NAME", "N", "//N1", "%", "O1000",
                             "X1. N2", "\xD6\xD0N3"})
        EXPECT_EQ(BlockNumberOf(line), "") << line;
}

TEST(GoToTarget, FindsTheLineOfATarget) {
    CTextBuffer buffer;
    SetLines(buffer, {"%", "O1000", "N10 G90", "  N20 G00 X0", "N120 G01", "/N0120 M01", "N1200",
                      "N120 (again)", "M30"});
    EXPECT_EQ(FindGoToLine(buffer, ParseGoToTarget("1")), 0);
    EXPECT_EQ(FindGoToLine(buffer, ParseGoToTarget("9")), 8);
    EXPECT_EQ(FindGoToLine(buffer, ParseGoToTarget("10")), 8);
    EXPECT_EQ(FindGoToLine(buffer, ParseGoToTarget("99999999999")), 8);
    // The first line carrying the number, however it is written.
    EXPECT_EQ(FindGoToLine(buffer, ParseGoToTarget("N120")), 4);
    EXPECT_EQ(FindGoToLine(buffer, ParseGoToTarget("n0120")), 4);
    EXPECT_EQ(FindGoToLine(buffer, ParseGoToTarget("N20")), 3);
    EXPECT_EQ(FindGoToLine(buffer, ParseGoToTarget("N1200")), 6);
    EXPECT_EQ(FindGoToLine(buffer, ParseGoToTarget("N12")), -1);
    EXPECT_EQ(FindGoToLine(buffer, ParseGoToTarget("N1000")), -1); // O1000 is no block
    EXPECT_EQ(FindGoToLine(buffer, ParseGoToTarget("x")), -1);

    // A text without lines is shown as one empty line.
    CTextBuffer empty;
    EXPECT_EQ(FindGoToLine(empty, ParseGoToTarget("5")), 0);
    EXPECT_EQ(FindGoToLine(empty, ParseGoToTarget("N5")), -1);
}

} // namespace
