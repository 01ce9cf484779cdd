// The connection's transfers against an independent peer on a real
// pseudo-terminal: bytes on the wire, flow control however busy the host
// thread is, pause/stop/continue, the lines named when a transmission ends
// early, and receiving.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "HostLoop.h"
#include "PtyPair.h"
#include "TestHelpers.h"
#include "cli/CliHost.h"
#include "common/EventLoop.h"
#include "common/MessageSink.h"
#include "serial/CSerialPort.h"
#include "serial/ParmrkFilter.h"
#include "transfer/TransferMessages.h"
#include "transfer/TransferStatus.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using End = Transmitter::End;

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override { host.UseMessageSink(sink); }
    void Connect(int baud = 115200) {
        ASSERT_TRUE(host.connection.Connect(LineAt(baud), pty.SlavePath()).Ok());
    }
    void Load(const std::string& bytes) {
        WriteBytes(dir.File("p.nc"), bytes);
        ASSERT_TRUE(host.buffer.LoadFromDisk(dir.File("p.nc")));
    }
    // Runs the host's loop until pred holds or the time is up.
    template <class Pred> bool RunUntil(Pred pred, std::chrono::milliseconds limit = 5000ms) {
        return RunHostUntil(host, pred, limit);
    }
    bool Ended(std::chrono::milliseconds limit = 5000ms) {
        return RunUntil([&] { return host.transmitEnded.load(); }, limit);
    }
    std::string Drain(std::chrono::milliseconds quiet = 100ms) {
        return pty.DrainMaster(int(quiet.count()));
    }
    int MarkedLine() { return host.buffer.FindLineWithMark(TRANSFER_LINE); }
    Connection& connection() { return host.connection; }

    TempDir dir;
    PtyPair pty;
    RecordingSink sink;
    CliHost host;
};

size_t CountBreaks(const std::string& s) {
    size_t n = 0;
    for (size_t at = s.find("\r\n"); at != std::string::npos; at = s.find("\r\n", at + 2))
        ++n;
    return n;
}

// --- Transmit ------------------------------------------------------------------------

TEST_F(TransferTest, EachLineIsCutAtItsFirstSemicolonAndEndedByCrLf) {
    ScopedEnv pacing("SERMIDA_PTY_PACING", "0");
    std::string longLine(200000, 'X');
    for (size_t i = 0; i < longLine.size(); i += 13)
        longLine[i] = char('0' + i % 10);
    const std::string file = "O0001\r\n"
                             "G01 X10 ; rapid\r\n"
                             "\tG02\tY5  \r\n"
                             ";only a comment\r\n"
                             "\r\n"
                             "(\xb9\xa4\xbc\xfe) G0 Z1;\xd7\xa2;more\r\n" +
                             longLine + "\r\nM30";
    const std::string wire = "O0001\r\n"
                             "G01 X10 \r\n"
                             "\tG02\tY5  \r\n"
                             "\r\n"
                             "\r\n"
                             "(\xb9\xa4\xbc\xfe) G0 Z1\r\n" +
                             longLine + "\r\nM30\r\n";
    Load(file);
    Connect();
    std::string got;
    std::thread peer([&] { got = Drain(300ms); });
    ASSERT_TRUE(connection().StartTransmit());
    ASSERT_TRUE(Ended(20000ms));
    peer.join();
    EXPECT_TRUE(got == wire) << "got " << got.size() << " bytes, want " << wire.size();
    EXPECT_EQ(connection().State(), Idle);
    EXPECT_EQ(connection().SentLines(), 0);
    EXPECT_EQ(connection().TotalLines(), 8);
    EXPECT_EQ(connection().LastTransmit().end, End::Completed);
    EXPECT_EQ(connection().LastTransmit().linesWhole, 8);
    EXPECT_FALSE(host.buffer.IsWriteProtected());
    EXPECT_EQ(MarkedLine(), -1);
    EXPECT_EQ(host.caretLine, 8) << "the caret ends on the last line";
}

// A machine's rules: its leader first, its stripping and end of block on each
// line, lines left blank not sent at all, its trailer last; every line counts.
TEST_F(TransferTest, AMachinesRulesShapeTheWireBetweenItsLeaderAndTrailer) {
    ScopedEnv pacing("SERMIDA_PTY_PACING", "0");
    Load("O0001 (PART 7)\r\n"
         "G01 X10 ; rapid\r\n"
         "(ONLY A COMMENT)\r\n"
         "\r\n"
         "M30");
    Connect();
    WireRules rules;
    rules.endOfBlock = WireRules::EndOfBlock::LfCrCr;
    rules.stripParenComments = true;
    rules.skipBlankLines = true;
    rules.leader = std::string(5, '\0') + "%\n";
    rules.trailer = "%\n\x03";
    connection().SetWireRules(rules);
    std::string got;
    std::thread peer([&] { got = Drain(300ms); });
    ASSERT_TRUE(connection().StartTransmit());
    ASSERT_TRUE(Ended());
    peer.join();
    EXPECT_EQ(got, std::string(5, '\0') + "%\nO0001 \n\r\rG01 X10 \n\r\rM30\n\r\r%\n\x03");
    EXPECT_EQ(connection().LastTransmit().end, End::Completed);
    EXPECT_EQ(connection().LastTransmit().linesWhole, 5);
}

// An older controller's pauses: before the start, after each line, between
// characters. The bytes are the same; a Stop never waits out a pause.
TEST_F(TransferTest, AMachinesPausesSlowTheWireButNeverAStop) {
    ScopedEnv pacing("SERMIDA_PTY_PACING", "0");
    Load("N1 G0 X1\r\nN2 M30\r\nN3\r\nN4");
    Connect();
    WireRules rules;
    rules.delayBeforeStartMs = 100;
    rules.delayAfterLineMs = 60;
    rules.delayPerCharacterMs = 5;
    connection().SetWireRules(rules);
    std::string got;
    std::thread peer([&] { got = Drain(400ms); });
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(connection().StartTransmit());
    ASSERT_TRUE(Ended());
    const auto took = std::chrono::steady_clock::now() - start;
    peer.join();
    EXPECT_EQ(got, "N1 G0 X1\r\nN2 M30\r\nN3\r\nN4\r\n");
    // 100 before, 60 after each of 4 lines, 5 between each of 21 characters' pieces.
    EXPECT_GE(took, 100ms + 4 * 60ms + 21 * 5ms);

    rules = WireRules();
    rules.delayAfterLineMs = 5000;
    connection().SetWireRules(rules);
    host.transmitEnded = false;
    ASSERT_TRUE(connection().StartTransmit());
    EXPECT_EQ(pty.ReadMaster(64, 2000), "N1 G0 X1\r\n");
    const auto stopAt = std::chrono::steady_clock::now();
    connection().Stop();
    ASSERT_TRUE(Ended(2000ms));
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 1000ms) << "the pause was waited out";
    EXPECT_EQ(connection().LastTransmit().end, End::Stopped);
    EXPECT_EQ(connection().LastTransmit().linesWhole, 1);
}

// A controller that says with DC1 when it is ready to read: nothing goes out
// before it, and a controller that never says so ends the transmission with
// nothing sent and the operator told why.
TEST_F(TransferTest, AMachineThatWaitsForDc1SendsNothingBeforeIt) {
    ScopedEnv pacing("SERMIDA_PTY_PACING", "0");
    Load("N1 G0 X1\r\nN2 M30");
    Connect();
    MachineProfile machine;
    machine.wire.waitForDc1 = true;
    machine.wire.dc1TimeoutSeconds = 5;
    connection().UseMachine(machine);
    ASSERT_TRUE(connection().StartTransmit());
    EXPECT_EQ(connection().State(), HeldByPeer) << "shown as held by the controller";
    EXPECT_EQ(pty.ReadMaster(64, 300), "");
    pty.WriteMaster("\x11");
    ASSERT_TRUE(Ended());
    EXPECT_EQ(Drain(), "N1 G0 X1\r\nN2 M30\r\n");
    EXPECT_EQ(connection().LastTransmit().end, End::Completed);

    machine.wire.dc1TimeoutSeconds = 1;
    connection().UseMachine(machine);
    host.transmitEnded = false;
    const auto start = Clock::now();
    ASSERT_TRUE(connection().StartTransmit());
    ASSERT_TRUE(Ended(3000ms));
    EXPECT_GE(Clock::now() - start, 1000ms);
    EXPECT_EQ(Drain(), "");
    EXPECT_EQ(connection().LastTransmit().end, End::NoStart);
    EXPECT_EQ(connection().LastTransmit().linesWhole, 0);
    EXPECT_EQ(MarkedLine(), -1);
    ASSERT_FALSE(sink.Messages().empty());
    EXPECT_EQ(sink.Messages().back(), Format(kMsgNoStartDc1, 1));
    EXPECT_FALSE(host.buffer.IsWriteProtected());

    // The operator may stop the wait; the controller's DC3 before its DC1
    // keeps the hold.
    machine.wire.dc1TimeoutSeconds = 0;
    connection().UseMachine(machine);
    host.transmitEnded = false;
    ASSERT_TRUE(connection().StartTransmit());
    pty.WriteMaster("\x13");
    std::this_thread::sleep_for(100ms);
    connection().Stop();
    ASSERT_TRUE(Ended(2000ms));
    EXPECT_EQ(Drain(), "");
    EXPECT_EQ(connection().LastTransmit().end, End::Stopped);
}

// On a line whose flow control is RTS/CTS or none, a DC3 in what comes back
// (a controller's echo, noise) must not stall the program.
TEST_F(TransferTest, DC3HoldsNothingWhenTheMachineDoesNotUseXonXoff) {
    ScopedEnv pacing("SERMIDA_PTY_PACING", "0");
    Load("N1 " + std::string(200, 'A') + "\r\nN2\r\nN3");
    Connect(9600);
    MachineProfile machine;
    machine.flow = MachineProfile::Flow::None;
    connection().UseMachine(machine);
    ASSERT_TRUE(connection().StartTransmit());
    std::string got = pty.ReadMaster(20, 2000);
    pty.WriteMaster("\x13");
    ASSERT_TRUE(Ended());
    got += Drain();
    EXPECT_EQ(got, "N1 " + std::string(200, 'A') + "\r\nN2\r\nN3\r\n");
    EXPECT_EQ(connection().LastTransmit().end, End::Completed);
}

// A controller that holds the line and never lets go: the operator is told
// once the machine's limit has passed (never while he pauses it himself), and
// a machine that says so has the transmission stopped.
TEST_F(TransferTest, AHoldPastTheMachinesLimitIsAStall) {
    Load("N1\r\nN2 " + std::string(100, 'Y') + "\r\nN3\r\nN4");
    Connect(9600);
    MachineProfile machine;
    machine.wire.stallLimitSeconds = 1;
    connection().UseMachine(machine);
    TransferStatus status;
    ASSERT_TRUE(connection().StartTransmit());
    ASSERT_FALSE(pty.ReadMaster(4, 2000).empty());
    pty.WriteMaster("\x13");
    ASSERT_TRUE(RunUntil([&] { return connection().State() == HeldByPeer; }));
    EXPECT_FALSE(connection().CheckStall(Clock::now()));
    ASSERT_TRUE(RunUntil([&] { return connection().Stalled(Clock::now()); }, 3000ms));
    EXPECT_TRUE(connection().CheckStall(Clock::now()));
    EXPECT_FALSE(connection().CheckStall(Clock::now())) << "told once";
    EXPECT_NE(status.Update(connection(), Clock::now()).find("警告：控制器暂停已"),
              std::string::npos);
    connection().Pause();
    std::this_thread::sleep_for(1200ms);
    EXPECT_FALSE(connection().Stalled(Clock::now())) << "the operator's pause is no stall";
    connection().Continue();
    pty.WriteMaster("\x11");
    ASSERT_TRUE(Ended());
    EXPECT_EQ(connection().LastTransmit().end, End::Completed);
    Drain();

    machine.wire.stopOnStall = true;
    connection().UseMachine(machine);
    host.transmitEnded = false;
    ASSERT_TRUE(connection().StartTransmit());
    ASSERT_FALSE(pty.ReadMaster(4, 2000).empty());
    pty.WriteMaster("\x13");
    ASSERT_TRUE(RunUntil(
        [&] {
            connection().CheckStall(Clock::now());
            return host.transmitEnded.load();
        },
        4000ms));
    EXPECT_NE(connection().LastTransmit().end, End::Completed);
    EXPECT_LT(connection().LastTransmit().linesWhole, 4);
}

// The watcher may look before the worker has sent anything: a transmission
// that has just started is no stall, however long ago the last one moved.
TEST_F(TransferTest, ATransmissionJustStartedIsNoStall) {
    ScopedEnv pacing("SERMIDA_PTY_PACING", "0");
    Load("N1\r\nN2\r\nN3");
    Connect(115200);
    MachineProfile machine;
    machine.wire.stallLimitSeconds = 1;
    machine.wire.stopOnStall = true;
    connection().UseMachine(machine);
    for (int i = 0; i < 10; ++i) {
        host.transmitEnded = false;
        ASSERT_TRUE(connection().StartTransmit());
        EXPECT_FALSE(connection().CheckStall(Clock::now())) << "start " << i;
        ASSERT_TRUE(Ended());
        EXPECT_EQ(connection().LastTransmit().end, End::Completed) << "start " << i;
        Drain();
    }
}

TEST_F(TransferTest, EmptyDocumentSendsOneLineEndAndProtectionIsLiftedAfter) {
    ScopedEnv pacing("SERMIDA_PTY_PACING", "0");
    host.buffer.SetWriteProtected(true); // a read-only document
    Connect();
    ASSERT_TRUE(connection().StartTransmit());
    ASSERT_TRUE(Ended());
    EXPECT_EQ(Drain(), "\r\n");
    EXPECT_EQ(connection().State(), Idle);
    EXPECT_FALSE(host.buffer.IsWriteProtected());
}

TEST_F(TransferTest, TransmitNeedsAnIdleConnectedView) {
    EXPECT_FALSE(connection().StartTransmit()) << "not connected";
    EXPECT_EQ(sink.Messages(), std::vector<std::string>{kMsgSetUpPortFirst});
    Connect();
    ASSERT_TRUE(connection().StartReceive());
    EXPECT_FALSE(connection().StartTransmit());
    EXPECT_EQ(sink.Messages().back(), kMsgCannotStartSend);
    EXPECT_EQ(connection().State(), Receiving);
    EXPECT_FALSE(host.buffer.IsWriteProtected()) << "a refused start locks nothing";
}

TEST_F(TransferTest, PeerHoldStopsAtTheLineBoundaryAndMarksTheLine) {
    // 9600 baud: the long second line takes about 0.3 s on the line.
    Load("N1\r\nN2 " + std::string(300, 'Y') + "\r\nN3\r\nN4");
    Connect(9600);
    std::string got;
    ASSERT_TRUE(connection().StartTransmit());
    got += pty.ReadMaster(20, 2000); // into line 2
    pty.WriteMaster("\x13");         // DC3 in the middle of it
    ASSERT_TRUE(RunUntil([&] { return MarkedLine() == 1; }));
    EXPECT_EQ(connection().State(), HeldByPeer);
    EXPECT_TRUE(connection().PeerHold());
    got += Drain(200ms);
    EXPECT_EQ(got, "N1\r\nN2 " + std::string(300, 'Y') + "\r\n") << "the line is not cut";
    pty.WriteMaster("\x11"); // DC1
    ASSERT_TRUE(Ended());
    got += Drain();
    EXPECT_EQ(got, "N1\r\nN2 " + std::string(300, 'Y') + "\r\nN3\r\nN4\r\n");
    EXPECT_EQ(MarkedLine(), -1);
    EXPECT_EQ(host.buffer.CountLines(), 4) << "DC1 and DC3 never reach the document";
}

// The operator pauses; the controller, whose buffer is full, says DC3 while
// the transmission is paused. Continue must go back to waiting for its DC1.
TEST_F(TransferTest, AHoldThatCameWhilePausedIsKeptForContinue) {
    Load("N1\r\nN2\r\nN3\r\nN4\r\nN5");
    Connect(1200);
    ASSERT_TRUE(connection().StartTransmit());
    connection().Pause();
    ASSERT_TRUE(RunUntil([&] { return MarkedLine() >= 0; }));
    pty.WriteMaster("\x13");
    ASSERT_TRUE(RunUntil([&] { return connection().PeerHold(); }));
    const size_t before = Drain(100ms).size();
    connection().Continue();
    EXPECT_EQ(connection().State(), HeldByPeer);
    EXPECT_TRUE(Drain(300ms).empty()) << "nothing goes to a controller that holds";
    pty.WriteMaster("\x11");
    ASSERT_TRUE(Ended());
    EXPECT_EQ(before + Drain().size(), std::string("N1\r\nN2\r\nN3\r\nN4\r\nN5\r\n").size());
}

TEST_F(TransferTest, StopWhilePausedEndsAtOnce) {
    Load("N1\r\nN2\r\nN3\r\nN4\r\nN5");
    Connect(1200);
    ASSERT_TRUE(connection().StartTransmit());
    connection().Pause();
    ASSERT_TRUE(RunUntil([&] { return MarkedLine() >= 0; }));
    EXPECT_TRUE(host.buffer.IsWriteProtected());
    auto start = Clock::now();
    connection().Stop();
    ASSERT_TRUE(Ended());
    EXPECT_LT(Clock::now() - start, 500ms);
    EXPECT_EQ(MarkedLine(), -1);
    EXPECT_EQ(connection().State(), Idle);
    EXPECT_EQ(connection().SentLines(), 0);
    EXPECT_EQ(connection().LastTransmit().end, End::Stopped);
    EXPECT_FALSE(host.buffer.IsWriteProtected());
    const std::string got = Drain();
    EXPECT_LT(got.size(), size_t(20)) << "not every line was sent";
    EXPECT_EQ(size_t(connection().LastTransmit().linesWhole), CountBreaks(got));
    EXPECT_TRUE(sink.Messages().empty()) << "the operator's own stop needs no box";
}

// The lines a stopped transmission names are the lines the controller holds:
// an operator who restarts from the next one sends nothing twice.
TEST_F(TransferTest, AStoppedTransmissionNamesTheLastLineTheControllerHasWhole) {
    std::string file;
    for (int i = 1; i <= 400; ++i)
        file += "N" + std::to_string(i) + " G01 X" + std::to_string(i) + ".5 ;cut\r\n";
    Load(file);
    Connect(19200);
    std::mt19937 rng(7);
    std::string got;
    for (int round = 0; round < 3; ++round) {
        host.transmitEnded = false;
        got.clear();
        ASSERT_TRUE(connection().StartTransmit());
        const size_t stopAfter = 200 + rng() % 600;
        while (got.size() < stopAfter)
            got += pty.ReadMaster(stopAfter - got.size(), 2000);
        connection().Stop();
        ASSERT_TRUE(Ended());
        got += Drain();
        const Transmitter::Outcome& o = connection().LastTransmit();
        EXPECT_EQ(o.end, End::Stopped);
        EXPECT_EQ(size_t(o.linesWhole), CountBreaks(got)) << "round " << round;
        EXPECT_TRUE(got.size() >= 2 && got.compare(got.size() - 2, 2, "\r\n") == 0)
            << "the line in flight is finished";
    }
}

TEST_F(TransferTest, AFailedWriteNamesTheFirstLineNotSentAndKeepsItMarked) {
    ScopedEnv pacing("SERMIDA_PTY_PACING", "0");
    Load("N1\r\nN2\r\nN3");
    Connect();
    pty.CloseMaster(); // the cable is pulled
    ASSERT_TRUE(connection().StartTransmit());
    ASSERT_TRUE(Ended());
    const Transmitter::Outcome& o = connection().LastTransmit();
    EXPECT_EQ(o.end, End::Failed);
    EXPECT_EQ(o.linesWhole, 0);
    EXPECT_EQ(MarkedLine(), 0) << "the line that failed stays marked";
    EXPECT_FALSE(host.buffer.IsWriteProtected());
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].rfind(Format(kMsgSendLineFailed, 1, 0), 0), 0u)
        << sink.Messages()[0];
}

// Stop lets the line in flight finish, however long it takes; until then the
// connection is not free, and a second Stop cuts the line at once.
TEST_F(TransferTest, ASecondStopCutsTheLineInFlightAtOnce) {
    Load("N1 G01 " + std::string(100, 'X') + "\r\nN2\r\n");
    Connect(50); // the first line takes 22 s on the line
    ASSERT_TRUE(connection().StartTransmit());
    ASSERT_FALSE(pty.ReadMaster(2, 2000).empty());
    connection().Stop();
    EXPECT_EQ(connection().State(), Idle);
    host.loop.RunFor(300ms);
    EXPECT_TRUE(connection().TransmitActive()) << "the line is still going out";
    EXPECT_FALSE(connection().Disconnect()) << "not while a line goes out";
    EXPECT_FALSE(connection().StartTransmit());
    const auto cutAt = Clock::now();
    connection().Stop();
    ASSERT_TRUE(Ended());
    EXPECT_LT(Clock::now() - cutAt, 500ms);
    const Transmitter::Outcome& o = connection().LastTransmit();
    EXPECT_EQ(o.end, End::Cut);
    EXPECT_EQ(o.linesWhole, 0);
    EXPECT_EQ(MarkedLine(), 0) << "the cut line is shown";
    EXPECT_EQ(sink.Messages().back(), Format(kMsgSendLineCut, 1, 0));
    EXPECT_FALSE(host.buffer.IsWriteProtected());
    EXPECT_TRUE(connection().Disconnect());
}

// A controller that holds the sender at random moments and checks what still
// reaches it after each DC3: the rest of the line in flight (whole lines) or
// at most one piece (--xoff-chunk), and in the end every byte exactly once.
#if defined(__SANITIZE_THREAD__)
constexpr size_t kLinesInFlight = 1000;
#else
constexpr size_t kLinesInFlight = 1;
#endif

class HoldingPeer {
public:
    HoldingPeer(PtyPair& pty, size_t expected, size_t allowedAfterHold, bool wholeLines)
        : pty(pty), expected(expected), allowed(allowedAfterHold), wholeLines(wholeLines) {}

    void Run() {
        std::mt19937 rng(99);
        auto deadline = Clock::now() + 60s;
        auto lastByte = Clock::now();
        bool held = false;
        size_t mark = 0;
        Clock::time_point heldAt;
        while (got.size() < expected && Clock::now() < deadline) {
            std::string more = pty.ReadMaster(1 << 16, 1);
            if (!more.empty()) {
                got += more;
                lastByte = Clock::now();
            }
            if (!held && rng() % 40 == 0) {
                got += pty.ReadMaster(1 << 16, 0); // everything sent before the hold
                mark = got.size();
                if (wholeLines && mark > 0 && got[mark - 1] == '\r')
                    --mark; // judge the line break whole
                pty.WriteMaster("\x13");
                held = true;
                heldAt = Clock::now();
                ++holds;
            } else if (held && Clock::now() - heldAt > 60ms && Clock::now() - lastByte > 30ms &&
                       (Settled(got.substr(mark)) || Clock::now() - lastByte > 1s)) {
                const std::string after = got.substr(mark);
                const size_t breaks = CountBreaks(after);
                // A thread-checking build reacts many times slower than the
                // line: there only the cut at a line boundary is checked.
                if (wholeLines
                        ? (breaks > kLinesInFlight || (!after.empty() && !EndsWithBreak(after)))
                        : after.size() > allowed) {
                    ++violations;
                    std::fprintf(stderr, "after hold %d: %zu bytes, %zu breaks\n", holds,
                                 after.size(), breaks);
                }
                pty.WriteMaster("\x11");
                held = false;
            }
        }
        if (held)
            pty.WriteMaster("\x11");
    }

    std::string got;
    int holds = 0;
    int violations = 0;

private:
    // A busy machine may stall the sender in the middle of the line in
    // flight; its rest is waited for before the hold is judged.
    bool Settled(const std::string& after) const {
        return !wholeLines || after.empty() || EndsWithBreak(after);
    }
    static bool EndsWithBreak(const std::string& s) {
        return s.size() >= 2 && s.compare(s.size() - 2, 2, "\r\n") == 0;
    }

    PtyPair& pty;
    size_t expected;
    size_t allowed;
    bool wholeLines;
};

std::string NumberedProgram(int lines, std::string& wire) {
    std::string file;
    for (int i = 1; i <= lines; ++i) {
        std::string body = "N" + std::to_string(i) + " G1 X" + std::to_string(i * 7 % 1000) +
                           ".125 Y-" + std::to_string(i * 13 % 1000) + ".5 F1500 " +
                           std::string(size_t(200 + i % 150), 'Z');
        file += body + " ;comment\r\n";
        wire += body + " \r\n";
    }
    file += "M30";
    wire += "M30\r\n";
    return file;
}

// Timing-sensitive: ctest runs these alone.
class TransferTimingTest : public TransferTest {
protected:
    // Transmits a numbered program to a peer that holds it at random; chunk 0
    // sends whole lines.
    void TransmitWithHolds(int lines, int baud, int chunk) {
        std::string wire;
        Load(NumberedProgram(lines, wire));
        Connect(baud);
        connection().SetXoffChunk(chunk);
        HoldingPeer peer(pty, wire.size(), size_t(chunk), chunk == 0);
        std::thread controller([&] { peer.Run(); });
        ASSERT_TRUE(connection().StartTransmit());
        EXPECT_TRUE(Ended(90000ms));
        controller.join();
        EXPECT_GT(peer.holds, 5);
        EXPECT_EQ(peer.violations, 0);
        EXPECT_TRUE(peer.got == wire) << "nothing lost, nothing doubled: got " << peer.got.size()
                                      << " of " << wire.size() << " bytes, holds " << peer.holds;
    }

    // The controller says DC3 in the middle of a line while the host thread
    // is blocked for a whole second (a dialog's waits, a long paint): what
    // reaches it after its DC3 is at most the rest of that line (or piece).
    void HoldWhileTheHostIsBlocked(int chunk) {
        std::string wire;
        Load(NumberedProgram(6, wire));
        Connect(9600);
        connection().SetXoffChunk(chunk);
        ASSERT_TRUE(connection().StartTransmit());
        std::string got;
        while (got.size() < 330) // into the second line, which is over 250 bytes
            got += pty.ReadMaster(330 - got.size(), 2000);
        const size_t atHold = got.size();
        pty.WriteMaster("\x13");
        std::this_thread::sleep_for(1s); // the host thread runs nothing meanwhile
        got += Drain(100ms);
        const std::string after = got.substr(atHold);
        if (chunk > 0) {
            EXPECT_LE(after.size(), size_t(chunk)) << "one piece at most";
        } else {
            EXPECT_LE(CountBreaks(after), 1u) << "the line in flight, and no more";
            EXPECT_TRUE(after.empty() || after.compare(after.size() - 2, 2, "\r\n") == 0);
        }
        EXPECT_EQ(connection().State(), HeldByPeer);
        pty.WriteMaster("\x11");
        std::thread peer([&] { got += Drain(500ms); });
        EXPECT_TRUE(Ended(30000ms));
        peer.join();
        EXPECT_TRUE(got == wire) << got.size() << " of " << wire.size() << " bytes";
    }
};

TEST_F(TransferTimingTest, RandomHoldsLetOnlyTheLineInFlightThrough) {
    TransmitWithHolds(150, 115200, 0);
}

TEST_F(TransferTimingTest, XoffChunksLetAtMostOnePieceThrough) {
    TransmitWithHolds(15, 9600, 10);
}

TEST_F(TransferTimingTest, AHoldIsObeyedWhileTheHostThreadIsBlockedWholeLines) {
    HoldWhileTheHostIsBlocked(0);
}

TEST_F(TransferTimingTest, AHoldIsObeyedWhileTheHostThreadIsBlockedInPieces) {
    HoldWhileTheHostIsBlocked(8);
}

// --- Receive -------------------------------------------------------------------------

TEST_F(TransferTest, ReceivedLinesArriveInTheDocument) {
    Connect();
    ASSERT_TRUE(connection().StartReceive());
    pty.WriteMaster("%\r\nO1234\r\nG0 X1\nM30\r\r\n%");
    ASSERT_TRUE(RunUntil([&] { return host.buffer.CountLines() == 5; }));
    ASSERT_TRUE(RunUntil([&] { return host.buffer.LineView(4) == "%"; }));
    EXPECT_EQ(Lines(host.buffer), "%|O1234|G0 X1|M30|%");
    connection().StopReceive();
    EXPECT_TRUE(sink.Messages().empty());
}

// What each machine punches around its program (a NUL leader, DC2, its start
// and end marks, DC4, a NUL trailer, its end of block, a rub-out and a stray
// NUL inside a line) arrives as the clean program.
TEST_F(TransferTest, EachMachinesPunchedProgramArrivesClean) {
    Connect();
    for (const MachineProfile& preset : Presets()) {
        if (!preset.receive.stripControls)
            continue; // the classic rules keep every byte, as they always have
        SCOPED_TRACE(preset.name);
        SetLines(host.buffer, {""});
        connection().UseMachine(preset);
        const std::string eob = preset.wire.EndBytes();
        // Without marks the '%' lines are the program's own.
        const bool marked = !preset.receive.start.empty();
        const std::string body = std::string(marked ? "" : "%") + (marked ? "" : eob) + "O1234" +
                                 eob + "G0\x7f X1" + eob + "M3\0" + "0" + eob +
                                 (marked ? "" : "%" + eob);
        const std::string punched = std::string(30, '\0') + "\x12" + preset.receive.start + body +
                                    preset.receive.end + "\x14" + std::string(30, '\0');
        ASSERT_TRUE(connection().StartReceive());
        pty.WriteMaster(punched);
        ASSERT_TRUE(
            RunUntil([&] { return connection().ReceivedBytes() == int64_t(punched.size()); }));
        connection().FlushReceived();
        connection().StopReceive();
        // Every end of block, LF CR CR too, is one line end.
        EXPECT_EQ(Lines(host.buffer), marked ? "O1234|G0 X1|M30|" : "%|O1234|G0 X1|M30|%|");
    }
}

// A controller that ends its blocks with CR alone: CR ends the line.
TEST_F(TransferTest, AMachineThatEndsBlocksWithCrAloneGetsItsLines) {
    Connect();
    MachineProfile machine;
    machine.receive.lineEnd = ReceiveRules::LineEnd::Cr;
    connection().UseMachine(machine);
    ASSERT_TRUE(connection().StartReceive());
    pty.WriteMaster("O1\rG0 X1\rM30\r\n");
    ASSERT_TRUE(RunUntil([&] { return host.buffer.CountLines() == 4; }));
    connection().StopReceive();
    EXPECT_EQ(Lines(host.buffer), "O1|G0 X1|M30|");
}

TEST_F(TransferTest, BytesWhileIdleAreDiscardedForGood) {
    Connect();
    pty.WriteMaster("LOST\r\n");
    ASSERT_TRUE(RunUntil([&] { return connection().TakeReceiveActivity(); }));
    host.loop.RunFor(50ms);
    ASSERT_TRUE(connection().StartReceive());
    pty.WriteMaster("KEPT");
    ASSERT_TRUE(RunUntil([&] { return host.buffer.LineView(0) == "KEPT"; }));
    EXPECT_EQ(host.buffer.CountLines(), 1);
    connection().StopReceive();
}

TEST_F(TransferTest, TextDecodedWhileSendingWaitsForTheNextReceive) {
    Load("N1");
    Connect();
    ASSERT_TRUE(connection().StartTransmit());
    connection().Pause();
    pty.WriteMaster("EARLY\n");
    ASSERT_TRUE(RunUntil([&] { return connection().QueuedBytes() == 7; }));
    connection().Stop();
    ASSERT_TRUE(Ended());
    EXPECT_EQ(Lines(host.buffer), "N1");
    ASSERT_TRUE(connection().StartReceive());
    ASSERT_TRUE(RunUntil([&] { return Lines(host.buffer) == "N1EARLY|"; }));
    connection().StopReceive();
}

TEST_F(TransferTest, AFullQueueIsFlushedIntoTheDocumentNotDropped) {
    Connect();
    ASSERT_TRUE(connection().StartReceive());
    // More than the 10 MiB queue in one go, faster than the host flushes.
    std::string big;
    for (int i = 0; big.size() < (11u << 20); ++i)
        big += "N" + std::to_string(i) + " G1 X1.000 Y2.000\n";
    std::thread peer([&] { pty.WriteMaster(big); });
    size_t lines = size_t(std::count(big.begin(), big.end(), '\n'));
    bool done = RunUntil([&] { return size_t(host.buffer.CountLines()) == lines + 1; }, 60000ms);
    peer.join();
    ASSERT_TRUE(done) << host.buffer.CountLines() << " of " << lines + 1;
    EXPECT_EQ(host.buffer.LineView(int(lines) - 1),
              "N" + std::to_string(lines - 1) + " G1 X1.000 Y2.000");
    connection().StopReceive();
}

// A read-only document cannot take the program: refusing to start says so,
// where receiving would have dropped every line.
TEST_F(TransferTest, ReceivingIntoAWriteProtectedDocumentIsRefused) {
    Connect();
    host.buffer.SetWriteProtected(true);
    EXPECT_FALSE(connection().StartReceive());
    EXPECT_EQ(sink.Messages(), std::vector<std::string>{kMsgReadOnlyNoReceive});
    EXPECT_EQ(connection().State(), Idle);
    host.buffer.SetWriteProtected(false);
    ASSERT_TRUE(connection().StartReceive());
    pty.WriteMaster("O1\n");
    ASSERT_TRUE(RunUntil([&] { return Lines(host.buffer) == "O1|"; }));
    // Protected while receiving: the text waits, it is not dropped.
    host.buffer.SetWriteProtected(true);
    pty.WriteMaster("M30\n");
    ASSERT_TRUE(RunUntil([&] { return connection().QueuedBytes() == 5; }));
    host.buffer.SetWriteProtected(false);
    pty.WriteMaster("%\n");
    ASSERT_TRUE(RunUntil([&] { return Lines(host.buffer) == "O1|M30|%|"; }));
    connection().StopReceive();
}

} // namespace

namespace {

// A line that marks damaged characters in the stream, as a UART driver does:
// a pseudo-terminal cannot make a parity or framing error, so the test sends
// the kernel's own mark ("\377\0" and the character) as data, and this link
// reads it as the driver's mark.
class MarkingLink final : public Link {
public:
    void Configure(const PortSettings& s, const std::string& a = {}) override {
        port.Configure(s, a);
    }
    const PortSettings& Settings() const override { return port.Settings(); }
    std::string Address() const override { return port.Address(); }
    LinkStatus Open() override { return port.Open(); }
    bool Close() override { return port.Close(); }
    bool IsOpen() const override { return port.IsOpen(); }
    bool IsLost() const override { return port.IsLost(); }
    uint32_t ReadSome(void* buffer, uint32_t maximum) override {
        const uint32_t n = port.ReadSome(buffer, maximum);
        return uint32_t(marks.Filter(static_cast<char*>(buffer), n));
    }
    Wait WaitReadable() override { return port.WaitReadable(); }
    void WakeReader() override { port.WakeReader(); }
    uint32_t InputWaiting() const override { return port.InputWaiting(); }
    bool Write(const void* b, uint32_t n, uint32_t& written) override {
        return port.Write(b, n, written);
    }
    bool WaitUntilSent() override { return port.WaitUntilSent(); }
    void CancelWrites(bool on) override { port.CancelWrites(on); }
    bool TakesLineTime() const override { return port.TakesLineTime(); }
    void Purge() override { port.Purge(); }
    LineErrors TakeLineErrors() override {
        LineErrors e = port.TakeLineErrors();
        e.badCharacters += marks.BadCount() - taken;
        taken = marks.BadCount();
        return e;
    }

private:
    CSerialPort port;
    ParmrkFilter marks;
    int64_t taken = 0;
};

class MarkingHost final : public TransferHost {
public:
    void PostTransferEvent(TransferEvent e) override {
        loop.Post([this, e] { connection.HandleEvent(e); });
    }
    void AppendReceivedText(std::string_view text) override {
        int line = 0, byte = 0;
        buffer.InsertAt(nullptr, -1, -1, text, line, byte, ACTION_TYPING);
    }
    void ShowWaitingLine(int) override {}
    void CaretToLine(int) override {}
    MessageSink& Messages() override { return sink; }

    RecordingSink sink;
    CTextBuffer buffer;
    TransmitLock lock{buffer};
    EventLoop loop;
    Connection connection{*this, lock, std::make_unique<MarkingLink>()};
};

// A character damaged on the line arrives as "?" where it stood, and the
// operator hears how many there were when receiving ends: a program with a
// wrong digit must not pass for a good one.
TEST(ReceiveLineErrorsTest, DamagedCharactersAreMarkedAndToldAtTheEnd) {
    PtyPair pty;
    MarkingHost host;
    host.buffer.CreateEmpty();
    host.connection.SetSleep([](int) {});
    ASSERT_TRUE(host.connection.Connect(LineAt(115200), pty.SlavePath()).Ok());
    ASSERT_TRUE(host.connection.StartReceive());
    pty.WriteMaster(std::string("G01 X1\377\0"
                                "05.5 Y\377\0\0"
                                "2\n",
                                19));
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (Lines(host.buffer) != "G01 X1?5.5 Y2|" && std::chrono::steady_clock::now() < deadline)
        host.loop.RunFor(5ms);
    EXPECT_EQ(Lines(host.buffer), "G01 X1?5.5 Y2|") << "a break leaves nothing";
    EXPECT_TRUE(host.sink.Messages().empty()) << "told once, at the end";
    host.connection.StopReceive();
    EXPECT_EQ(host.connection.LastReceiveErrors().badCharacters, 2);
    EXPECT_EQ(host.sink.Messages(), std::vector<std::string>{Format(kMsgBadCharacters, 2LL)});

    // The next reception counts afresh.
    ASSERT_TRUE(host.connection.StartReceive());
    pty.WriteMaster("M30\n");
    while (host.buffer.CountLines() < 3 && std::chrono::steady_clock::now() < deadline + 5s)
        host.loop.RunFor(5ms);
    host.connection.StopReceive();
    EXPECT_EQ(host.connection.LastReceiveErrors().badCharacters, 0);
    EXPECT_EQ(host.sink.Messages().size(), 1u);
}

} // namespace
