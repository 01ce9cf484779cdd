// The virtual controller: its input buffer model on an injected clock, the
// bytes it punches, and its end of the cable on real pseudo-terminals.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <thread>

#include "PtyPair.h"
#include "TestHelpers.h"
#include "cli/VcncControllerModel.h"
#include "cli/VcncLine.h"
#include "cli/VcncModel.h"
#include "cli/VcncPunch.h"
#include "serial/CSerialPort.h"

using namespace std::chrono_literals;

namespace {

constexpr char DC1 = 0x11, DC3 = 0x13;
const VcncInputBuffer::Time t0 = std::chrono::steady_clock::time_point{} + 1000s;

// --- the input buffer -----------------------------------------------------------

TEST(VcncModel, Dc3ExactlyWhenTheRoomFallsToTheXoffRoom) {
    VcncInputBuffer b(100, 10, 1000);
    b.Receive(89, t0);
    EXPECT_EQ(b.Room(), 11);
    EXPECT_EQ(b.TakeFlowByte(), 0);
    EXPECT_FALSE(b.Held());
    b.Receive(1, t0);
    EXPECT_TRUE(b.Held());
    EXPECT_EQ(b.TakeFlowByte(), DC3);
    EXPECT_EQ(b.TakeFlowByte(), 0) << "one DC3 per hold";
    b.Receive(5, t0);
    EXPECT_EQ(b.TakeFlowByte(), 0) << "no second DC3 while held";
    EXPECT_EQ(b.XoffSent(), 1);
}

TEST(VcncModel, Dc1OnlyOnceBelowHalfAndAtThePredictedTime) {
    VcncInputBuffer b(100, 10, 1000); // one byte a millisecond
    b.Receive(90, t0);
    ASSERT_EQ(b.TakeFlowByte(), DC3);
    ASSERT_TRUE(b.NextFlowChange().has_value());
    EXPECT_EQ(*b.NextFlowChange(), t0 + 41ms);
    b.Drain(t0 + 40ms);
    EXPECT_EQ(b.Level(), 50);
    EXPECT_EQ(b.TakeFlowByte(), 0) << "half full is not below half";
    b.Drain(t0 + 41ms);
    EXPECT_EQ(b.Level(), 49);
    EXPECT_EQ(b.TakeFlowByte(), DC1);
    EXPECT_FALSE(b.NextFlowChange().has_value());
    // A second round counts again.
    b.Receive(45, t0 + 41ms);
    EXPECT_EQ(b.TakeFlowByte(), DC3);
    b.Drain(t0 + 100ms);
    EXPECT_EQ(b.TakeFlowByte(), DC1);
    EXPECT_EQ(b.XoffSent(), 2);
    EXPECT_EQ(b.XonSent(), 2);
}

// A byte that finds the buffer full is lost. It counts against the sender
// only when it came more than the promised room after the DC3 was on the line
// (what the sender had put on the wire before it not counted): anything else
// the controller lost because it answered late itself.
TEST(VcncModel, LostBytesCountAgainstTheSenderOnlyBeyondTheRoomADc3Promises) {
    VcncInputBuffer b(16, 2, 1000);
    EXPECT_EQ(b.Receive(20, t0), 4) << "read late, all at once";
    EXPECT_EQ(b.Level(), 16);
    EXPECT_EQ(b.Late(), 4);
    EXPECT_EQ(b.Overflow(), 0);
    ASSERT_EQ(b.TakeFlowByte(), DC3);
    b.Dc3OnLine(3); // three more were on their way
    b.Drain(t0 + 5ms);
    EXPECT_EQ(b.Level(), 11);
    EXPECT_EQ(b.Receive(3, t0 + 5ms), 0);
    EXPECT_EQ(b.Receive(6, t0 + 5ms), 4) << "the two the DC3 promised fit";
    EXPECT_EQ(b.Late(), 4);
    EXPECT_EQ(b.Overflow(), 4) << "sent after the DC3, beyond its room";
    EXPECT_EQ(b.Received(), 29);
    EXPECT_EQ(b.Receive(0, t0 + 5ms), 0);

    // A DC3 that went out late, with less room than it promises: what the
    // sender sends within the promise is not held against it.
    VcncInputBuffer c(16, 4, 1000);
    c.Receive(14, t0);
    c.Receive(1, t0); // read late: the DC3 goes out with a room of 1
    ASSERT_EQ(c.TakeFlowByte(), DC3);
    c.Dc3OnLine(0);
    EXPECT_EQ(c.Receive(6, t0), 5);
    EXPECT_EQ(c.Late(), 3) << "three of the four promised bytes found no room";
    EXPECT_EQ(c.Overflow(), 2);

    // After DC1 the next hold starts afresh.
    c.Drain(t0 + 50ms);
    ASSERT_EQ(c.TakeFlowByte(), DC1);
    EXPECT_EQ(c.Receive(20, t0 + 50ms), 4);
    EXPECT_EQ(c.Late(), 7);
    EXPECT_EQ(c.Overflow(), 2);
}

// Bytes read at once after a late look came a character time apart on the
// line: the controller drains meanwhile as one that looked in time would.
TEST(VcncModel, BytesReadLateAreTakenInAtTheLineRate) {
    VcncInputBuffer onTime(100, 10, 1000);
    VcncInputBuffer late(100, 10, 1000);
    for (int i = 1; i <= 80; ++i) // a byte every 2 ms for 160 ms
        onTime.Receive(1, t0 + 2ms * i);
    late.ReceiveAtLineRate(80, t0, t0 + 160ms, 2ms);
    EXPECT_LE(late.Level(), onTime.Level() + 16) << "taken in a few bytes at a time";
    EXPECT_FALSE(late.Held());
    // Never before the line was last seen empty: 80 bytes within 10 ms.
    VcncInputBuffer burst(100, 10, 1000);
    burst.ReceiveAtLineRate(80, t0 + 150ms, t0 + 160ms, 2ms);
    EXPECT_GE(burst.Level(), 70);
}

TEST(VcncModel, DrainsAtTheRateAndBanksNoIdleTime) {
    VcncInputBuffer b(200, 10, 3); // a byte every 333.3 ms
    b.Receive(10, t0);
    b.Drain(t0 + 333ms);
    EXPECT_EQ(b.Level(), 10);
    b.Drain(t0 + 334ms);
    EXPECT_EQ(b.Level(), 9);
    b.Drain(t0 + 1s);
    EXPECT_EQ(b.Level(), 7);
    b.Drain(t0 + 500s);
    EXPECT_EQ(b.Level(), 0);
    // An hour idle lets nothing through faster afterwards.
    b.Receive(5, t0 + 3600s);
    b.Drain(t0 + 3600s + 333ms);
    EXPECT_EQ(b.Level(), 5);
    b.Drain(t0 + 3600s + 334ms);
    EXPECT_EQ(b.Level(), 4);
    // A clock that seems to step back changes nothing.
    b.Drain(t0);
    EXPECT_EQ(b.Level(), 4);
}

// A dwell stops the reading, whether the buffer holds bytes or they come
// during it; the DC1 and the empty buffer come that much later.
TEST(VcncModel, ADwellReadsNothingUntilItEnds) {
    VcncInputBuffer b(100, 10, 1000); // a byte a millisecond
    b.Receive(95, t0);
    ASSERT_TRUE(b.Held());
    b.Dwell(t0 + 10ms, t0 + 510ms);
    b.Drain(t0 + 500ms);
    EXPECT_EQ(b.Level(), 85) << "ten read before the dwell, none during it";
    ASSERT_TRUE(b.NextFlowChange());
    EXPECT_EQ(*b.NextFlowChange(), t0 + 510ms + 36ms) << "below half after 36 more";
    EXPECT_EQ(b.EmptyAt(), t0 + 510ms + 85ms);

    VcncInputBuffer idle(100, 10, 1000);
    idle.Dwell(t0, t0 + 200ms);
    idle.Receive(20, t0 + 50ms);
    idle.Drain(t0 + 200ms);
    EXPECT_EQ(idle.Level(), 20) << "what came during the dwell waits for its end";
    idle.Drain(t0 + 205ms);
    EXPECT_EQ(idle.Level(), 15);
}

TEST(VcncModel, ArrivalsDuringDrainingKeepTheDrainSteady) {
    VcncInputBuffer b(1000, 10, 1000);
    for (int ms = 0; ms < 100; ++ms)
        b.Receive(2, t0 + std::chrono::milliseconds(ms)); // twice the rate
    b.Drain(t0 + 100ms);
    EXPECT_EQ(b.Level(), 100);
    EXPECT_EQ(b.Overflow(), 0);
}

TEST(VcncModel, RateZeroTakesEverythingAtOnce) {
    VcncInputBuffer b(16, 2, 0);
    EXPECT_EQ(b.Receive(1'000'000, t0), 0);
    EXPECT_EQ(b.Level(), 0);
    EXPECT_EQ(b.TakeFlowByte(), 0);
    EXPECT_EQ(b.Overflow(), 0);
    EXPECT_EQ(b.Received(), 1'000'000);
}

TEST(VcncModel, TheTopRateOverHoursStaysExact) {
    const long rate = VcncInputBuffer::kMaxRate;
    VcncInputBuffer b(1 << 24, 10, rate);
    b.Receive(1 << 24, t0);
    b.Drain(t0 + 1s);
    EXPECT_EQ(b.Level(), (1 << 24) - rate);
    // Kept busy for ten hours: the drain since the buffer last ran dry grows
    // to 3.6e11 bytes and must not wrap.
    for (int h = 1; h <= 10; ++h) {
        const auto at = t0 + std::chrono::hours(h);
        b.Drain(at - 1s);
        b.Receive(b.Room(), at - 1s);
        ASSERT_EQ(b.Level(), 1 << 24);
        b.Drain(at);
        ASSERT_EQ(b.Level(), (1 << 24) - rate) << "hour " << h;
    }
}

TEST(VcncModel, IdleOnlyOnceTheBufferHasRunEmptyAndNothingGoesOut) {
    VcncInputBuffer b(256, 10, 50);
    EXPECT_EQ(VcncIdleSince(t0, b, false), t0) << "nothing ever arrived";
    // Filled to the hold at once: DC1 is due 2.4 s on, the last byte is gone
    // after 5 s. Idle from the last byte received would end the run while
    // the sender still waits for the DC1.
    b.Receive(250, t0);
    ASSERT_EQ(b.TakeFlowByte(), DC3);
    const auto dc1 = *b.NextFlowChange();
    EXPECT_EQ(VcncIdleSince(t0, b, false), t0 + 5s);
    EXPECT_LT(dc1, *VcncIdleSince(t0, b, false));
    // More after the DC1 pushes the end back; a drain seen late does not.
    b.Drain(t0 + 4s);
    ASSERT_EQ(b.TakeFlowByte(), DC1);
    b.Receive(10, t0 + 4s);
    EXPECT_EQ(VcncIdleSince(t0 + 4s, b, false), t0 + 5200ms);
    b.Drain(t0 + 60s);
    EXPECT_EQ(VcncIdleSince(t0 + 4s, b, false), t0 + 5200ms);
    // A later byte punched counts from then; while anything is still to go
    // out the controller is never idle.
    EXPECT_EQ(VcncIdleSince(t0 + 7s, b, false), t0 + 7s);
    EXPECT_EQ(VcncIdleSince(t0 + 7s, b, true), std::nullopt);
    // After running dry the next arrival counts afresh.
    b.Receive(5, t0 + 100s);
    EXPECT_EQ(VcncIdleSince(t0 + 100s, b, false), t0 + 100100ms);
}

TEST(VcncModel, TheBufferRunsEmptyExactlyWhenIdleStarts) {
    VcncInputBuffer b(200, 10, 3); // a byte every 333.3 ms: rounding shows
    b.Receive(10, t0);
    const auto empty = *VcncIdleSince(t0, b, false);
    b.Drain(empty - 1ns);
    EXPECT_EQ(b.Level(), 1) << "idle with a byte still waiting";
    b.Drain(empty);
    EXPECT_EQ(b.Level(), 0);

    VcncInputBuffer atOnce(16, 2, 0);
    atOnce.Receive(1000, t0);
    EXPECT_EQ(VcncIdleSince(t0, atOnce, false), t0);
}

TEST(VcncModel, SettingsThatCannotWorkAreInvalid) {
    EXPECT_TRUE(VcncInputBuffer::Valid(256, 10, 960));
    EXPECT_TRUE(VcncInputBuffer::Valid(256, 127, 0));
    EXPECT_FALSE(VcncInputBuffer::Valid(256, 128, 960)) << "DC1 would be followed by DC3";
    EXPECT_FALSE(VcncInputBuffer::Valid(1, 0, 960));
    EXPECT_FALSE(VcncInputBuffer::Valid(256, -1, 960));
    EXPECT_FALSE(VcncInputBuffer::Valid(256, 10, -1));
    EXPECT_FALSE(VcncInputBuffer::Valid(256, 10, VcncInputBuffer::kMaxRate + 1));
}

// --- what is punched ------------------------------------------------------------

const std::string kGbk = "O1 (\xb9\xa4\xbc\xfe)\r\nM30\r\n"; // (工件)
const std::string kUtf8 = "O1 (\xe5\xb7\xa5\xe4\xbb\xb6)\r\nM30\r\n";

// A strict controller counts a hold it asked for as broken once more than its
// room came after the DC3, even when its buffer had space for them.
TEST(VcncModel, AHoldOverrunIsCountedOncePerHold) {
    VcncInputBuffer b(100, 10, 0 + 1);
    b.Receive(90, t0);
    ASSERT_EQ(b.TakeFlowByte(), DC3);
    b.Dc3OnLine(0);
    b.Receive(10, t0);
    EXPECT_EQ(b.HoldsOverrun(), 0) << "ten characters after it are allowed";
    b.Receive(1, t0);
    b.Receive(5, t0);
    EXPECT_EQ(b.HoldsOverrun(), 1);
    EXPECT_EQ(b.AfterDc3(), 16);
    EXPECT_EQ(b.MostAfterDc3(), 16);
}

// An Okuma holds after every 252 characters it reads, with room to spare, and
// lets go once it has used them up.
TEST(VcncModel, AControllerThatHoldsByTheCountLetsGoWhenEmpty) {
    VcncInputBuffer b(256, 10, 1000);
    b.HoldEvery(252);
    b.Receive(200, t0);
    EXPECT_EQ(b.TakeFlowByte(), 0);
    b.Receive(52, t0 + 200ms);
    EXPECT_EQ(b.TakeFlowByte(), DC3) << "252 read, with 204 of room";
    b.Drain(t0 + 240ms);
    EXPECT_TRUE(b.Held()) << "not yet used up";
    ASSERT_TRUE(b.NextFlowChange());
    EXPECT_EQ(*b.NextFlowChange(), t0 + 252ms);
    b.Drain(t0 + 252ms);
    EXPECT_FALSE(b.Held());
    EXPECT_EQ(b.TakeFlowByte(), DC1);
    b.Receive(200, t0 + 300ms);
    EXPECT_EQ(b.TakeFlowByte(), 0) << "counted again from the release";
}

// --- the strict controller models ---------------------------------------------

int64_t ViolationsOf(const char* model, const std::string& bytes, size_t split = 0) {
    const ControllerSpec* spec = FindControllerSpec(model);
    EXPECT_TRUE(spec) << model;
    ControllerModel m(*spec);
    // Split anywhere, the same bytes are judged the same.
    for (size_t at = 0; at < bytes.size(); at += split ? split : bytes.size())
        m.Feed(std::string_view(bytes).substr(at, split ? split : bytes.size()));
    m.Finish();
    return m.Violations();
}

TEST(ControllerModelTest, EachControllerTakesItsOwnFormSplitAnywhere) {
    const std::string nul(20, '\0');
    const struct {
        const char* model;
        std::string wire;
    } good[] = {
        {"fanuc", nul + "%\nO1\nG0 X1\n\nM30\n%\n"},
        {"fanuc-lfcrcr", "%\n\r\rO1\n\r\rM30\n\r\r%\n\r\r"},
        {"haas", "\x12%\r\nO1\nM30\r\n%\r\n\x14"},
        {"sinumerik", "%\nO1\nM30\n\n"},
        {"heidenhain", nul + "O1\r\nM30\r\n\x03" + nul},
        {"mazak", "%\r\nO1\r\nM30\r\n%\r\n"},
        {"okuma", "%\r\nO1\r\nM30\r\n%\r\n"},
    };
    for (const auto& g : good)
        for (size_t split : {size_t(0), size_t(1), size_t(3)})
            EXPECT_EQ(ViolationsOf(g.model, g.wire, split), 0) << g.model << " split " << split;
}

TEST(ControllerModelTest, EachDepartureIsAViolation) {
    EXPECT_EQ(ViolationsOf("fanuc", "%\nG0\r\nM30\r\n%\n"), 2) << "CR LF to an LF controller";
    EXPECT_EQ(ViolationsOf("fanuc", "G0\nM30\n%\n"), 1) << "no '%' first";
    EXPECT_EQ(ViolationsOf("fanuc", "%\nG0\nM30\n"), 1) << "no '%' last";
    EXPECT_EQ(ViolationsOf("fanuc", "%\nG0\n%\nM30\n%\n"), 1) << "it stops at the first '%'";
    EXPECT_EQ(ViolationsOf("fanuc", "%\n(\xb9\xa4)\n%\n"), 2) << "bytes beyond 7 bits";
    EXPECT_EQ(ViolationsOf("fanuc-lfcrcr", "%\n\r\rG0\n\r%\n\r\r"), 1);
    EXPECT_EQ(ViolationsOf("haas", "%\r\nM30\r\n%\r\n"), 2) << "neither DC2 nor DC4";
    EXPECT_EQ(ViolationsOf("haas", "\x12%\rM30\r\n%\r\n\x14"), 1) << "CR alone";
    EXPECT_EQ(ViolationsOf("heidenhain", "O1\r\nM30\r\n"), 1) << "no ETX";
    EXPECT_EQ(ViolationsOf("heidenhain", ""), 0) << "nothing sent, nothing judged";
}

TEST(ControllerModelTest, TheLineAsThePcSetItUp) {
    ControllerModel sinumerik(*FindControllerSpec("sinumerik"));
    TtyLineSetup pc;
    pc.baud = 9600;
    pc.stopBits = 2;
    pc.rtsCts = true;
    sinumerik.CheckLine(pc, 9600);
    EXPECT_EQ(sinumerik.Violations(), 0);
    pc.rtsCts = false;
    pc.stopBits = 1;
    sinumerik.CheckLine(pc, 4800);
    EXPECT_EQ(sinumerik.Violations(), 3) << "rate, stop bits and RTS/CTS each";
    ASSERT_EQ(sinumerik.Described().size(), 3u);
    EXPECT_NE(sinumerik.Described()[2].find("CTS"), std::string::npos);
}

TEST(VcncPunch, FramingAndUtf8WithTheMarkAfterDc2) {
    EXPECT_EQ(PunchBytes(kGbk, {}), kGbk);
    EXPECT_EQ(PunchBytes(kGbk, {true, false, false}), "\x12" + kGbk + "\x14");
    EXPECT_EQ(PunchBytes(kGbk, {true, true, false}), "\x12\xEF\xBB\xBF" + kUtf8 + "\x14");
    EXPECT_EQ(PunchBytes(kGbk, {false, true, false}), kUtf8) << "no DC2, so no mark";
    EXPECT_EQ(PunchBytes("", {true, true, false}), "\x12\xEF\xBB\xBF\x14");
}

TEST(VcncPunch, LfTakesTheLinesAsTheEditorSplitsThem) {
    TempDir dir;
    struct Case {
        std::string file, lf;
    } cases[] = {
        {"N1\r\nN2\r\n", "N1\nN2\n"},
        {"N1\n\rN2\n\r", "N1\nN2\n"}, // LF CR: one break each, not two
        {"N1\nN2", "N1\nN2"},
        {"N1 ;x\r\n\r\nM30", "N1 ;x\n\nM30"}, // a controller punches comments too
        {"", ""},
    };
    for (const Case& c : cases) {
        WriteBytes(dir.File("p.nc"), c.file);
        std::string text, error;
        ASSERT_TRUE(LoadPunchText(dir.File("p.nc"), true, text, error)) << error;
        EXPECT_EQ(text, c.lf);
        ASSERT_TRUE(LoadPunchText(dir.File("p.nc"), false, text, error)) << error;
        EXPECT_EQ(text, c.file) << "without --lf every byte as it is";
    }
    std::string text, error;
    EXPECT_FALSE(LoadPunchText(dir.File("none.nc"), false, text, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(LoadPunchText(dir.File("none.nc"), true, text, error));
}

TEST(VcncPunch, PacerHandsOutBytesAtTheRate) {
    VcncPunchPacer p("0123456789", 1000, t0);
    EXPECT_EQ(p.Due(t0), "");
    EXPECT_EQ(p.NextDue(), t0 + 1ms);
    EXPECT_EQ(p.Due(t0 + 5ms), "01234");
    p.Sent(3); // the device took only part of it
    EXPECT_EQ(p.Due(t0 + 5ms), "34");
    EXPECT_EQ(p.NextDue(), t0 + 4ms);
    EXPECT_EQ(p.Due(t0 + 1h), "3456789");
    p.Sent(7);
    EXPECT_TRUE(p.Done());
    EXPECT_EQ(p.Due(t0 + 2h), "");

    VcncPunchPacer now("abc", 0, t0);
    EXPECT_EQ(now.Due(t0), "abc");
}

// --- the controller's end of the cable ------------------------------------------

std::string LinkTarget(const std::string& path) {
    char buf[PATH_MAX];
    ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

std::string ReadFor(int fd, size_t want, int timeoutMs) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[4096];
    while (out.size() < want && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 20);
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            out.append(buf, size_t(n));
        else if (n < 0 && errno != EAGAIN)
            ADD_FAILURE() << "read: " << std::strerror(errno);
    }
    return out;
}

class VcncLineTest : public ::testing::Test {
protected:
    // The PC's side of the cable, opened as the program's own port opens it.
    bool OpenPc(CSerialPort& port) {
        port.SetMessageSink(&sink);
        port.Configure(PortSettings{1, 115200, 8, 1, 'N'}, link);
        return port.Open().Ok();
    }
    TempDir dir;
    std::string link = dir.File("cnc");
    RecordingSink sink;
    ScopedEnv noPacing{"SERMIDA_PTY_PACING", "0"};
};

TEST_F(VcncLineTest, LinkLeadsToANewTerminalAndGoesAtClose) {
    VcncLine line;
    std::string error;
    ASSERT_TRUE(line.OpenLink(link, error)) << error;
    EXPECT_EQ(LinkTarget(link), line.OtherEnd());
    EXPECT_EQ(line.OtherEnd().rfind("/dev/pts/", 0), 0u);
    EXPECT_EQ(dir.Entries().size(), 1u) << "no temporary name left behind";
    line.Close();
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0);
}

TEST_F(VcncLineTest, StaleLinkIsReplacedButNoOtherFile) {
    ASSERT_EQ(::symlink("/dev/pts/none-such", link.c_str()), 0);
    {
        VcncLine line;
        std::string error;
        ASSERT_TRUE(line.OpenLink(link, error)) << error;
        EXPECT_EQ(LinkTarget(link), line.OtherEnd());
    }
    WriteBytes(link, "a program");
    VcncLine line;
    std::string error;
    EXPECT_FALSE(line.OpenLink(link, error));
    EXPECT_NE(error.find("not a symbolic link"), std::string::npos) << error;
    EXPECT_EQ(ReadBytes(link), "a program");
}

TEST_F(VcncLineTest, CloseLeavesALinkThatAnotherRunTookOver) {
    VcncLine first, second;
    std::string error;
    ASSERT_TRUE(first.OpenLink(link, error)) << error;
    ASSERT_TRUE(second.OpenLink(link, error)) << error;
    first.Close();
    EXPECT_EQ(LinkTarget(link), second.OtherEnd());
}

TEST_F(VcncLineTest, BytesBothWaysAndThePcMayCloseAndReopen) {
    VcncLine line;
    std::string error;
    ASSERT_TRUE(line.OpenLink(link, error)) << error;
    for (int round = 0; round < 3; ++round) {
        CSerialPort pc;
        ASSERT_TRUE(OpenPc(pc)) << round;
        uint32_t written = 0;
        const std::string program = "N" + std::to_string(round) + " G0\r\n";
        ASSERT_TRUE(pc.Write(program.data(), uint32_t(program.size()), written));
        EXPECT_EQ(ReadFor(line.Fd(), program.size(), 2000), program);
        ASSERT_EQ(::write(line.Fd(), "\x13", 1), 1);
        std::this_thread::sleep_for(100ms); // the port reads only what is waiting
        char c = 0;
        EXPECT_EQ(pc.Read(&c, 1), 1u);
        EXPECT_EQ(c, DC3);
        pc.Close();
        // With nobody on the other end the master must not report a hang-up.
        char buf[16];
        EXPECT_EQ(::read(line.Fd(), buf, sizeof buf), -1);
        EXPECT_EQ(errno, EAGAIN);
    }
    for (const std::string& m : sink.Messages())
        ADD_FAILURE() << m;
}

TEST_F(VcncLineTest, SeesThePcComeAndGoAndLiftsItsExclusiveHold) {
    VcncLine line;
    std::string error;
    ASSERT_TRUE(line.OpenLink(link, error)) << error;
    EXPECT_FALSE(line.PeerPresent());
    CSerialPort pc;
    ASSERT_TRUE(OpenPc(pc));
    EXPECT_TRUE(line.PeerPresent());
    pc.Close();
    EXPECT_FALSE(line.PeerPresent());
    // Without this a program not run by root could never open the line again.
    int keeperView = ::open(line.OtherEnd().c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(keeperView, 0);
    int exclusive = 1;
    ASSERT_EQ(::ioctl(keeperView, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(keeperView);
}

TEST_F(VcncLineTest, APcThatDiedHoldingTheLineIsLetGo) {
    VcncLine line;
    std::string error;
    ASSERT_TRUE(line.OpenLink(link, error)) << error;
    // What a killed program leaves: the line set up and marked exclusive,
    // but its lock gone with its descriptor.
    int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    ::ioctl(fd, TIOCEXCL);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    line.PeerPresent();
    int exclusive = 0;
    ::ioctl(fd, TIOCGEXCL, &exclusive);
    EXPECT_EQ(exclusive, 1) << "held while the lock is held";
    ::close(fd);
    line.PeerPresent();
    int view = ::open(line.OtherEnd().c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(view, 0);
    ::ioctl(view, TIOCGEXCL, &exclusive);
    EXPECT_EQ(exclusive, 0);
    ::close(view);
}

TEST_F(VcncLineTest, DeviceOpensRawOrFailsWithTheReason) {
    PtyPair pty;
    VcncLine line;
    std::string error;
    ASSERT_TRUE(line.OpenDevice(pty.SlavePath(), 19200, error)) << error;
    EXPECT_TRUE(line.PeerPresent());
    TtyLineSetup setup;
    ASSERT_EQ(TtyReadLine(line.Fd(), setup), 0);
    EXPECT_TRUE(setup.raw);
    EXPECT_TRUE(setup.flowOff) << "DC1/DC3 must reach the controller, not the driver";
    EXPECT_EQ(setup.baud, 19200);
    char c;
    errno = 0;
    EXPECT_EQ(::read(line.Fd(), &c, 1), -1) << "a quiet line must not read as one that has gone";
    EXPECT_EQ(errno, EAGAIN);
    pty.WriteMaster("\x11G0\r\n");
    EXPECT_EQ(ReadFor(line.Fd(), 5, 2000), "\x11G0\r\n");
    pty.CloseMaster();
    errno = 0;
    const ssize_t n = ::read(line.Fd(), &c, 1);
    EXPECT_TRUE(n == 0 || (n < 0 && errno != EAGAIN)) << "a hung-up line must read as gone";

    VcncLine none;
    EXPECT_FALSE(none.OpenDevice(dir.File("none"), 9600, error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    WriteBytes(dir.File("plain"), "x");
    EXPECT_FALSE(none.OpenDevice(dir.File("plain"), 9600, error)) << "not a terminal";
}

} // namespace
