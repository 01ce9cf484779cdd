// Restarting a program part way through: where it begins and what goes out
// before it, and the bytes on the wire.
#include <gtest/gtest.h>

#include "HostLoop.h"
#include "PtyPair.h"
#include "TestHelpers.h"
#include "cli/CliHost.h"
#include "editor/buffer/CTextBuffer.h"
#include "editor/text/ProgramRestart.h"

namespace {

using namespace std::chrono_literals;

const std::vector<std::string> kProgram = {
    "%",                     // 1
    "O1000 (BRACKET; OP 2)", // 2: the comment's letters are no words
    "G21 G90 G17 ;metric",   // 3
    "T1 M06",                // 4
    "S1000 M3",              // 5
    "G0 X0 Y0",              // 6: the first motion
    "N0120 G1 X10 F100",     // 7
    "(T9 is the next tool)", // 8
    "G1 Y10",                // 9
    "T2",                    // 10
    "M6",                    // 11
    "N140 G1 X20",           // 12
    "M30",                   // 13
};

TEST(ProgramRestartTest, TheStartBlocksToolChangesAndTheLinesToSend) {
    CTextBuffer text;
    SetLines(text, kProgram);
    EXPECT_EQ(HeaderEnd(text), 5);
    EXPECT_EQ(FindBlock(text, "N120"), 6) << "N0120 is block 120";
    EXPECT_EQ(FindBlock(text, "140"), 11);
    EXPECT_EQ(FindBlock(text, "N14"), -1);
    EXPECT_EQ(FindBlock(text, "Nx"), -1);
    EXPECT_EQ(ToolChangeBefore(text, 12), 9) << "an M6 starts at the T that chose its tool";
    EXPECT_EQ(ToolChangeBefore(text, 8), 3) << "a T in a comment is no tool change";
    EXPECT_EQ(ToolChangeBefore(text, 2), -1);
    EXPECT_EQ(RestartRanges(text, 9), (LineRanges{{0, 5}, {9, 13}}));
    EXPECT_EQ(RestartRanges(text, 3), (LineRanges{{0, 13}})) << "inside the start: all of it";
    SetLines(text, {"G0 X0", "M6", "G1 X1"});
    EXPECT_EQ(ToolChangeBefore(text, 2), 1) << "no T before it: the M6 itself";

    CTextBuffer still;
    SetLines(still, {"G21", "M30"});
    EXPECT_EQ(HeaderEnd(still), 2) << "no motion: all of it is the start";

    CTextBuffer moving;
    SetLines(moving, {"N10 G1 X1", "N20 G1 X2", "N30 G1 X3"});
    EXPECT_EQ(RestartRanges(moving, 1), (LineRanges{{1, 3}})) << "no start: no empty part";
    EXPECT_EQ(BlockNumberOf(moving, 2), "N30");
    EXPECT_EQ(BlockNumberOf(still, 0), "");
}

// The controller gets the program's start, then exactly the lines from the
// restart on; the progress counts the lines of this transmission.
TEST(ProgramRestartTest, ARestartSendsTheStartThenTheRest) {
    ScopedEnv pacing("SERMIDA_PTY_PACING", "0");
    PtyPair pty;
    CliHost host;
    RecordingSink sink;
    host.UseMessageSink(sink);
    SetLines(host.buffer, kProgram);
    ASSERT_TRUE(host.connection.Connect(LineAt(115200), pty.SlavePath()).Ok());
    ASSERT_TRUE(host.connection.StartTransmit(RestartRanges(host.buffer, 9)));
    ASSERT_TRUE(RunHostUntil(
        host, [&] { return host.transmitEnded.load(); }, 5000ms));
    EXPECT_EQ(host.connection.TotalLines(), 9) << "the lines of this transmission";
    EXPECT_EQ(pty.DrainMaster(200), "%\r\nO1000 (BRACKET\r\nG21 G90 G17 \r\nT1 M06\r\nS1000 M3\r\n"
                                    "T2\r\nM6\r\nN140 G1 X20\r\nM30\r\n");
    EXPECT_EQ(host.connection.LastTransmit().linesWhole, 13);
    EXPECT_EQ(host.connection.LastTransmit().sent, 9);
    EXPECT_EQ(host.connection.LastTransmit().planned, 9);
    EXPECT_EQ(host.connection.LastTransmit().end, Transmitter::End::Completed);
}

} // namespace
