// The serial port on real pseudo-terminals: opening and refusing, the line
// set-up the device really holds, waking its reader, timing and closing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "PtyPair.h"
#include "TestHelpers.h"
#include "serial/CSerialPort.h"
#include "serial/PortMap.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { port.SetMessageSink(&sink); }
    // Configures the port for the test's pseudo-terminal and opens it.
    bool OpenOn(const std::string& path, int baud = 115200, int data = 8, int stop = 1,
                char parity = 'N') {
        port.Configure(Line(3, baud, data, stop, parity), path);
        return port.Open().Opened();
    }
    // The controller sends bytes; the port wakes for them and reads them.
    void ExpectToRead(const std::string& bytes) {
        pty.WriteMaster(bytes);
        EXPECT_EQ(port.WaitReadable(), Link::Wait::Readable);
        char buf[64];
        EXPECT_EQ(std::string(buf, port.ReadSome(buf, sizeof buf)), bytes);
    }
    static PortSettings Line(int n, int baud, int data = 8, int stop = 1, char parity = 'N') {
        return PortSettings{n, baud, uint8_t(data), uint8_t(stop), parity};
    }

    RecordingSink sink;
    PtyPair pty;
    CSerialPort port;
};

// --- Opening and refusing ------------------------------------------------------

TEST_F(SerialPortTest, PortsOutsideOneToNineAreRefusedBeforeAnyDevice) {
    for (int n : {0, 10, -1}) {
        sink.Clear();
        port.Configure(Line(n, 9600));
        const LinkStatus status = port.Open();
        EXPECT_FALSE(status.Opened());
        EXPECT_EQ(status.text, sink.Messages().back()) << "the value says what the box said";
        EXPECT_FALSE(port.IsOpen());
        ASSERT_EQ(sink.Messages().size(), 1u);
        EXPECT_EQ(sink.Messages()[0], "无法打开串口COM" + std::to_string(n) + ",仅支持COM1-9.");
    }
}

TEST_F(SerialPortTest, MissingDeviceNamesThePortAndTheErrno) {
    ScopedEnv env("SERMIDA_COM3", "/dev/no-such-serial-device");
    port.Configure(Line(3, 9600));
    const LinkStatus status = port.Open();
    EXPECT_FALSE(status.Opened());
    EXPECT_EQ(status.error, ENOENT);
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0], "无法打开串口3(COM3)，请检查串口是否正确安装，"
                                  "或是否已经被占用。错误码:2\n"
                                  "设备 /dev/no-such-serial-device：文件或目录不存在。");
}

TEST_F(SerialPortTest, DeviceHeldByAnotherPortOrProgramIsRefused) {
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    CSerialPort second;
    RecordingSink secondSink;
    second.SetMessageSink(&secondSink);
    second.Configure(Line(3, 9600), pty.SlavePath());
    EXPECT_FALSE(second.Open().Opened());
    ASSERT_EQ(secondSink.Messages().size(), 1u);
    // The kernel's exclusive mode refuses the open itself, except to root,
    // whom only the lock stops; either way the device is busy.
    EXPECT_NE(secondSink.Messages()[0].find("错误码:" + std::to_string(EBUSY)), std::string::npos);
    EXPECT_NE(secondSink.Messages()[0].find(pty.SlavePath() + "：设备正被占用"), std::string::npos)
        << secondSink.Messages()[0];
    port.Close();

    // Another program that locks the device.
    int other = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    sink.Clear();
    EXPECT_FALSE(port.Open().Opened());
    EXPECT_EQ(sink.Messages().size(), 1u);
    ::close(other);
    EXPECT_TRUE(port.Open().Ok()) << "free again once the other program lets go";
}

// The kernel's exclusive mark stays on a pseudo-terminal after its opener
// has gone, so a port that forgot it would lock out every later user but root.
TEST_F(SerialPortTest, TheDeviceIsExclusiveOnlyWhileThePortHoldsIt) {
    int watcher = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(watcher, 0);
    auto exclusive = [&] {
        int on = -1;
        EXPECT_EQ(::ioctl(watcher, TIOCGEXCL, &on), 0);
        return on;
    };
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    EXPECT_EQ(exclusive(), 1);
    port.Close();
    EXPECT_EQ(exclusive(), 0) << "closing gives the device back";

    // Refused because another program locks it: the device is left as it was.
    ASSERT_EQ(::flock(watcher, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(port.Open().Opened());
    EXPECT_EQ(exclusive(), 0);
    ::close(watcher);
}

// What Write has handed out is on its way: closing straight after it (as a
// sender does after its last line) must not take it back from the far end.
TEST_F(SerialPortTest, CloseRightAfterAWriteKeepsWhatWasWritten) {
    ScopedEnv unpaced("SERMIDA_PTY_PACING", "0");
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    const std::string program = "O1\r\nG1 X5\r\nM30\r\n";
    uint32_t written = 0;
    ASSERT_TRUE(port.Write(program.data(), uint32_t(program.size()), written));
    port.Close();
    EXPECT_EQ(pty.ReadMaster(program.size(), 1000), program);
}

TEST_F(SerialPortTest, CloseIsHarmlessWhenNeverOpenedOrTwice) {
    EXPECT_TRUE(port.Close());
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    EXPECT_TRUE(port.Close());
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(SerialPortTest, PortMapFromEnvironmentFileAndDefault) {
    TempDir home;
    ScopedEnv env("SERMIDA_HOME", home.Path());
    WriteBytes(home.File("Sermida.ports"), "# cables\nCOM4 = /dev/ttyUSB7\nCOM6=/dev/ttyACM0\n");
    EXPECT_EQ(DevicePathOfPort(4), "/dev/ttyUSB7");
    EXPECT_EQ(DevicePathOfPort(5), "/dev/ttyS4");
    EXPECT_EQ(DevicePathOfPort(1), "/dev/ttyS0");
    ScopedEnv over("SERMIDA_COM6", "/dev/pts/99");
    EXPECT_EQ(DevicePathOfPort(6), "/dev/pts/99");
}

// --- Line set-up ------------------------------------------------------------------

TEST_F(SerialPortTest, LineSetupIsRawWithNoFlowControlAtEveryRate) {
    const int rates[] = {2400, 4800, 7200, 8800, 9600, 14400, 19200, 38400, 56000, 57600, 115200};
    for (int rate : rates) {
        ASSERT_TRUE(OpenOn(pty.SlavePath(), rate, 8, 1, 'N'));
        TtyLineSetup got;
        ASSERT_TRUE(port.ReadBackLine(got));
        EXPECT_EQ(got.baud, rate);
        EXPECT_TRUE(got.raw);
        EXPECT_TRUE(got.flowOff);
        EXPECT_TRUE(got.parityCheck);
        EXPECT_FALSE(got.marksErrors) << "a pseudo-terminal damages nothing";
        port.Close();
    }
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(SerialPortTest, FramingIsProgrammedAsConfigured) {
    struct Case {
        int data, stop;
        char parity;
    } cases[] = {{5, 1, 'N'}, {6, 2, 'O'}, {7, 1, 'E'}, {8, 2, 'N'}, {7, 2, 'O'}};
    for (const Case& c : cases) {
        TtyLineSetup planned;
        ASSERT_EQ(TtyPlannedLine(7200, c.data, c.stop, c.parity, planned), 0);
        EXPECT_EQ(planned.dataBits, c.data);
        EXPECT_EQ(planned.stopBits, c.stop);
        EXPECT_EQ(planned.parity, c.parity);
        EXPECT_EQ(planned.baud, 7200);
        EXPECT_TRUE(planned.raw && planned.flowOff && planned.parityCheck && planned.marksErrors);
        EXPECT_TRUE(planned.clocal && planned.cread);

        // What a pseudo-terminal keeps of it: the stop bits and the rate.
        ASSERT_TRUE(OpenOn(pty.SlavePath(), 9600, c.data, c.stop, c.parity));
        TtyLineSetup got;
        ASSERT_TRUE(port.ReadBackLine(got));
        EXPECT_EQ(got.stopBits, c.stop);
        EXPECT_TRUE(got.raw && got.flowOff);
        port.Close();
    }
    TtyLineSetup unused;
    EXPECT_EQ(TtyPlannedLine(9600, 9, 1, 'N', unused), EINVAL);
    EXPECT_EQ(TtyPlannedLine(9600, 8, 3, 'N', unused), EINVAL);
    EXPECT_EQ(TtyPlannedLine(9600, 8, 1, 'M', unused), EINVAL);
    EXPECT_EQ(TtyPlannedLine(0, 8, 1, 'N', unused), EINVAL);
}

// A controller that holds the line with its CTS gets the driver's hardware
// handshake, and only that: never the driver's own XON/XOFF, which would eat
// the DC3 and DC1 our code obeys. A pseudo-terminal keeps the flag, so it is
// read back from the device; that CTS then stops the bytes can only be seen
// on a real UART, which a pseudo-terminal has no modem lines for.
TEST_F(SerialPortTest, HardwareHandshakeIsAskedOnlyWhenTheMachineWantsIt) {
    TtyLineSetup planned;
    ASSERT_EQ(TtyPlannedLine(9600, 7, 2, 'E', planned, true), 0);
    EXPECT_TRUE(planned.rtsCts);
    EXPECT_FALSE(planned.flowOff);
    ASSERT_EQ(TtyPlannedLine(9600, 7, 2, 'E', planned, false), 0);
    EXPECT_FALSE(planned.rtsCts);

    PortSettings line = Line(3, 9600, 7, 2, 'E');
    line.rtsCts = true;
    port.Configure(line, pty.SlavePath());
    ASSERT_TRUE(port.Open().Ok());
    TtyLineSetup got;
    ASSERT_TRUE(port.ReadBackLine(got));
    EXPECT_TRUE(got.rtsCts);
    port.Close();
    ASSERT_TRUE(OpenOn(pty.SlavePath())); // the next opener without it gets none
    ASSERT_TRUE(port.ReadBackLine(got));
    EXPECT_FALSE(got.rtsCts);
    EXPECT_TRUE(got.flowOff);
}

// The window goes on with a line it could not set up, as the operator was
// told; a script learns it from the value.
TEST_F(SerialPortTest, BadLineDefinitionIsReportedButThePortStaysOpen) {
    for (int baud : {0, -300}) {
        sink.Clear();
        port.Configure(Line(3, baud), pty.SlavePath());
        const LinkStatus status = port.Open();
        ASSERT_EQ(sink.Messages().size(), 1u);
        EXPECT_EQ(sink.Messages()[0], "\"建立串口设备控制块\" 由于以下错误而失败: \n\n无效的参数");
        EXPECT_TRUE(status.Opened());
        EXPECT_FALSE(status.Ok());
        EXPECT_EQ(status.error, EINVAL);
        EXPECT_EQ(status.text, sink.Messages()[0]);
        EXPECT_TRUE(port.IsOpen());
        port.Close();
    }
    sink.Clear();
    ASSERT_TRUE(OpenOn(pty.SlavePath(), 9600, 9, 1, 'N'));
    EXPECT_EQ(sink.Messages().size(), 1u);
}

// A file, a pipe or /dev/null named as the port would swallow a program and
// report success; a program file named by mistake would be overwritten.
TEST_F(SerialPortTest, AnythingButATerminalIsRefusedBeforeAByteIsWritten) {
    TempDir dir;
    WriteBytes(dir.File("prog.nc"), "O1000\r\nM30\r\n");
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    int keepFifoOpen = ::open(dir.File("fifo").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(keepFifoOpen, 0);
    for (const std::string& path :
         {dir.File("prog.nc"), std::string("/dev/null"), dir.File("fifo")}) {
        sink.Clear();
        port.Configure(Line(3, 9600), path);
        const LinkStatus status = port.Open();
        EXPECT_FALSE(status.Opened()) << path;
        EXPECT_EQ(status.error, ENOTTY) << path;
        EXPECT_FALSE(port.IsOpen());
        ASSERT_EQ(sink.Messages().size(), 1u);
        EXPECT_EQ(sink.Messages()[0], "无法打开串口3(COM3)：" + path + " 不是串口设备。");
        uint32_t written = 0;
        EXPECT_FALSE(port.Write("G0\r\n", 4, written));
    }
    ::close(keepFifoOpen);
    EXPECT_EQ(ReadBytes(dir.File("prog.nc")), "O1000\r\nM30\r\n");
}

// --- Reading and writing -------------------------------------------------------------

TEST_F(SerialPortTest, ReadTakesOnlyWhatIsWaiting) {
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    char buf[64];
    EXPECT_EQ(port.Read(buf, Link::kReadAll), 0u);
    EXPECT_TRUE(sink.Messages().empty()) << "nothing waiting is no error when reading all";
    EXPECT_EQ(port.Read(buf, 10), 0u);
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0], "读取串口数据错误！");

    pty.WriteMaster("N10 G0 X1\r\n");
    auto deadline = Clock::now() + std::chrono::seconds(2);
    std::string got;
    while (got.size() < 11 && Clock::now() < deadline) {
        uint32_t n = port.Read(buf, 4);
        got.append(buf, n);
        ASSERT_LE(n, 4u);
    }
    EXPECT_EQ(got, "N10 G0 X1\r\n");
}

TEST_F(SerialPortTest, WriteWithoutAnOpenPortIsRefused) {
    uint32_t written = 99;
    EXPECT_FALSE(port.Write("G0", 2, written));
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0], "串口句柄无效，无法发送数据.");
}

TEST_F(SerialPortTest, WrittenBytesArriveExactly) {
    ScopedEnv pacing("SERMIDA_PTY_PACING", "0");
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += char(i);
    uint32_t written = 0;
    ASSERT_TRUE(port.Write(bytes.data(), uint32_t(bytes.size()), written));
    EXPECT_EQ(written, bytes.size());
    EXPECT_EQ(pty.ReadMaster(bytes.size(), 2000), bytes) << "raw: no byte changed or added";
}

// Every byte the controller can send arrives once and unchanged, 0xFF (the
// kernel's mark byte on a real line) included.
TEST_F(SerialPortTest, EveryByteValueIsReadOnceAndUnchanged) {
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    std::string bytes;
    for (int round = 0; round < 3; ++round)
        for (int i = 0; i < 256; ++i)
            bytes += char(255 - i);
    pty.WriteMaster(bytes);
    std::string got;
    char buf[100];
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (got.size() < bytes.size() && Clock::now() < deadline) {
        if (port.WaitReadable() != Link::Wait::Readable)
            break;
        got.append(buf, port.ReadSome(buf, 7));
    }
    EXPECT_TRUE(got == bytes) << got.size() << " of " << bytes.size() << " bytes";
    EXPECT_EQ(port.TakeLineErrors().badCharacters, 0);
}

// Timing-sensitive: ctest runs it alone.
using SerialPortTimingTest = SerialPortTest;

TEST_F(SerialPortTimingTest, PacedWriteTakesTheLineTime) {
    ASSERT_TRUE(OpenOn(pty.SlavePath(), 115200));
    ASSERT_TRUE(port.IsPaced());
    std::string block(65536, 'G');
    std::string got;
    std::thread reader([&] { got = pty.ReadMaster(block.size(), 15000); });
    uint32_t written = 0;
    auto start = Clock::now();
    ASSERT_TRUE(port.Write(block.data(), uint32_t(block.size()), written));
    double took = SecondsSince(start);
    reader.join();
    const double line = 65536.0 * 10 / 115200; // 8N1: ten bits a character
    // Never sooner than the line (bytes ahead of it would reach a controller
    // before a cable could carry them); a wake-up that comes late is not made
    // up for, so it may take a little longer on a busy machine.
    EXPECT_GE(took, line - 0.001);
    EXPECT_LE(took, line * 1.05);
    EXPECT_EQ(got.size(), block.size());
}

// A paced write that starts late never makes up for it: the far end never
// sees bytes sooner than the line could have carried them.
TEST_F(SerialPortTimingTest, PacedWritesNeverRunAheadOfTheLine) {
    ASSERT_TRUE(OpenOn(pty.SlavePath(), 9600));
    const auto charTime = std::chrono::microseconds(1'000'000 * 10 / 9600);
    std::vector<Clock::time_point> arrivals;
    std::thread reader([&] {
        while (arrivals.size() < 41) {
            std::string got = pty.ReadMaster(1, 3000);
            if (got.empty())
                return;
            for (size_t i = 0; i < got.size(); ++i)
                arrivals.push_back(Clock::now());
        }
    });
    uint32_t written = 0;
    ASSERT_TRUE(port.Write("X", 1, written));
    // Late by less than two characters: the old line time must not be reused.
    std::this_thread::sleep_for(charTime * 3 / 2);
    const auto start = Clock::now();
    const std::string block(40, 'G');
    ASSERT_TRUE(port.Write(block.data(), uint32_t(block.size()), written));
    reader.join();
    ASSERT_EQ(arrivals.size(), 41u);
    // A thread's usual wake-up delay (at most a quarter of a millisecond, and
    // at most four characters) is all the line may be ahead by.
    for (size_t k = 1; k <= 40; ++k)
        EXPECT_GE(arrivals[k] - start, charTime * long(k - 1) - std::chrono::microseconds(300))
            << "byte " << k << " of the late write came ahead of the line";
}

TEST_F(SerialPortTest, UnpacedWriteReturnsWhenTheKernelHasTheBytes) {
    ScopedEnv pacing("SERMIDA_PTY_PACING", "0");
    ASSERT_TRUE(OpenOn(pty.SlavePath(), 115200));
    EXPECT_FALSE(port.IsPaced());
    std::string block(65536, 'G');
    std::string got;
    std::thread reader([&] { got = pty.ReadMaster(block.size(), 5000); });
    uint32_t written = 0;
    auto start = Clock::now();
    ASSERT_TRUE(port.Write(block.data(), uint32_t(block.size()), written));
    EXPECT_LT(SecondsSince(start), 1.0);
    reader.join();
    EXPECT_EQ(got, block);
}

// A write far longer than the test, on a thread of its own, with the far end
// reading; Stop waits for it and says how it ended.
class LongWrite {
public:
    LongWrite(CSerialPort& port, PtyPair& pty, size_t bytes)
        : block(bytes, 'G'), reader([&pty, bytes] { pty.ReadMaster(bytes, 1500); }),
          writer(
              [this, &port] { ok = port.Write(block.data(), uint32_t(block.size()), written); }) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    // Seconds from the call until the write had returned.
    double Join() {
        const auto from = Clock::now();
        writer.join();
        const double took = SecondsSince(from);
        reader.join();
        return took;
    }
    std::string block;
    bool ok = true;
    uint32_t written = 0;

private:
    std::thread reader, writer;
};

TEST_F(SerialPortTest, CloseEndsAWriteInProgress) {
    ASSERT_TRUE(OpenOn(pty.SlavePath(), 2400)); // 64 KiB would take 27 s
    LongWrite write(port, pty, 65536);
    port.Close();
    EXPECT_LT(write.Join(), 1.0);
    EXPECT_FALSE(write.ok);
}

// --- Waking the reader and cutting a write -------------------------------------------

TEST_F(SerialPortTest, TheReaderWakesForBytesForAWakeAndForClose) {
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    ExpectToRead("N1");
    char buf[8];
    EXPECT_EQ(port.ReadSome(buf, sizeof buf), 0u) << "never waits";

    port.WakeReader();
    EXPECT_EQ(port.WaitReadable(), Link::Wait::Woken);
    Link::Wait result = Link::Wait::Readable;
    std::thread reader([&] { result = port.WaitReadable(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    port.Close();
    reader.join();
    EXPECT_EQ(result, Link::Wait::Closed);
    EXPECT_FALSE(port.IsLost());
}

TEST_F(SerialPortTest, AVanishedDeviceIsLostAndWaitsNoMore) {
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    ExpectToRead("G0");
    pty.CloseMaster();
    char buf[8];
    EXPECT_EQ(port.WaitReadable(), Link::Wait::Lost);
    EXPECT_EQ(port.ReadSome(buf, sizeof buf), 0u);
    EXPECT_TRUE(port.IsLost());
    uint32_t written = 0;
    EXPECT_FALSE(port.Write("X", 1, written)) << "writing to a vanished device fails";
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(SerialPortTest, CancelledWritesEndAtOnceUntilAllowedAgain) {
    ASSERT_TRUE(OpenOn(pty.SlavePath(), 300)); // 1 KiB would take 34 s
    LongWrite write(port, pty, 1024);
    port.CancelWrites(true);
    EXPECT_LT(write.Join(), 0.2);
    EXPECT_FALSE(write.ok);
    EXPECT_GT(write.written, 0u);
    EXPECT_LT(write.written, write.block.size());
    uint32_t written = 0;
    EXPECT_FALSE(port.Write("X", 1, written)) << "still cancelled";
    port.CancelWrites(false);
    EXPECT_TRUE(port.Write("X", 1, written));
}

TEST_F(SerialPortTest, AnUnconfiguredPortHoldsThePlaceholders) {
    const PortSettings s = CSerialPort().Settings();
    EXPECT_EQ(s.portNumber, -1);
    EXPECT_EQ(s.baudRate, 0);
    EXPECT_EQ(s.parity, 'F');
}

} // namespace
