// The serial port on real pseudo-terminals: opening and refusing, the line
// set-up the device really holds, the monitor hand-shake, timing and closing.
#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/ioctl.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <random>
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

// Plays the owner's thread: notifications are queued to it, it reads
// everything waiting and then signals read-done, as the window thread does.
class OwnerThread : public PortOwner {
public:
    explicit OwnerThread(CSerialPort& port) : port(port), thread([this] { Run(); }) {}
    ~OwnerThread() override {
        {
            std::lock_guard<std::mutex> hold(lock);
            quit = true;
        }
        wake.notify_all();
        thread.join();
    }
    void PostPortData(CSerialPort&) override {
        {
            std::lock_guard<std::mutex> hold(lock);
            ++pending;
            ++notifications;
        }
        wake.notify_all();
    }
    std::string Received() {
        std::lock_guard<std::mutex> hold(lock);
        return received;
    }
    size_t ReceivedSize() {
        std::lock_guard<std::mutex> hold(lock);
        return received.size();
    }
    std::atomic<int> notifications{0};
    std::atomic<int> maxPending{0};

private:
    void Run() {
        std::vector<char> buf(524288);
        std::unique_lock<std::mutex> hold(lock);
        for (;;) {
            wake.wait(hold, [this] { return quit || pending > 0; });
            if (quit)
                return;
            maxPending = std::max(maxPending.load(), pending);
            --pending;
            hold.unlock();
            uint32_t n = port.Read(buf.data(), CSerialPort::kReadAll);
            hold.lock();
            received.append(buf.data(), n);
            hold.unlock();
            port.m_hReadDone.Set();
            hold.lock();
        }
    }

    CSerialPort& port;
    std::mutex lock;
    std::condition_variable wake;
    int pending = 0;
    bool quit = false;
    std::string received;
    std::thread thread;
};

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { port.SetMessageSink(&sink); }
    // Configures the port for the test's pseudo-terminal and opens it.
    bool OpenOn(const std::string& path, int baud = 115200, int data = 8, int stop = 1,
                char parity = 'N', PortOwner* owner = nullptr) {
        port.Configure(owner, 3, baud, data, stop, parity, 1);
        port.SetDevicePath(path);
        return port.Open();
    }

    RecordingSink sink;
    PtyPair pty;
    CSerialPort port;
};

// --- Opening and refusing ------------------------------------------------------

TEST_F(SerialPortTest, PortsOutsideOneToNineAreRefusedBeforeAnyDevice) {
    for (int n : {0, 10, -1}) {
        sink.Clear();
        port.Configure(nullptr, n, 9600, 8, 1, 'N', 1);
        EXPECT_FALSE(port.Open());
        EXPECT_FALSE(port.IsOpen());
        ASSERT_EQ(sink.Messages().size(), 1u);
        EXPECT_EQ(sink.Messages()[0], "无法打开串口COM" + std::to_string(n) + ",仅支持COM1-9.");
    }
}

TEST_F(SerialPortTest, MissingDeviceNamesThePortAndTheErrno) {
    ScopedEnv env("SERMIDA_COM3", "/dev/no-such-serial-device");
    port.Configure(nullptr, 3, 9600, 8, 1, 'N', 1);
    EXPECT_FALSE(port.Open());
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0], "无法打开串口3(COM3)，请检查串口是否正确安装，"
                                  "或是否已经被占用。错误码:2");
}

TEST_F(SerialPortTest, DeviceHeldByAnotherPortOrProgramIsRefused) {
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    CSerialPort second;
    RecordingSink secondSink;
    second.SetMessageSink(&secondSink);
    second.Configure(nullptr, 3, 9600, 8, 1, 'N', 1);
    second.SetDevicePath(pty.SlavePath());
    EXPECT_FALSE(second.Open());
    ASSERT_EQ(secondSink.Messages().size(), 1u);
    // The kernel's exclusive mode refuses the open itself, except to root,
    // whom only the lock stops.
    const int refusal = ::geteuid() == 0 ? EWOULDBLOCK : EBUSY;
    EXPECT_NE(secondSink.Messages()[0].find("错误码:" + std::to_string(refusal)),
              std::string::npos);
    port.Close();

    // Another program that locks the device.
    int other = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    sink.Clear();
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(sink.Messages().size(), 1u);
    ::close(other);
    EXPECT_TRUE(port.Open()) << "free again once the other program lets go";
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
    EXPECT_FALSE(port.Open());
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
    ASSERT_TRUE(port.StartMonitor());
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
        EXPECT_TRUE(planned.raw && planned.flowOff && planned.parityCheck);
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

TEST_F(SerialPortTest, BadLineDefinitionIsReportedButThePortStaysOpen) {
    for (int baud : {0, -300}) {
        sink.Clear();
        ASSERT_TRUE(OpenOn(pty.SlavePath(), baud));
        ASSERT_EQ(sink.Messages().size(), 1u);
        EXPECT_EQ(sink.Messages()[0],
                  "\"建立串口设备控制块\" 由于以下错误而失败: \n\nInvalid argument");
        EXPECT_TRUE(port.IsOpen());
        EXPECT_TRUE(port.StartMonitor());
        port.Close();
    }
    sink.Clear();
    ASSERT_TRUE(OpenOn(pty.SlavePath(), 9600, 9, 1, 'N'));
    EXPECT_EQ(sink.Messages().size(), 1u);
}

TEST_F(SerialPortTest, NonTerminalDeviceCannotBeQueried) {
    ASSERT_TRUE(OpenOn("/dev/null"));
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0].rfind("\"获取串口状态\" 由于以下错误而失败: \n\n", 0), 0u);
    EXPECT_TRUE(port.IsOpen());
}

// --- Reading and writing -------------------------------------------------------------

TEST_F(SerialPortTest, ReadTakesOnlyWhatIsWaiting) {
    ASSERT_TRUE(OpenOn(pty.SlavePath()));
    char buf[64];
    EXPECT_EQ(port.Read(buf, CSerialPort::kReadAll), 0u);
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
    EXPECT_NEAR(took, line, line * 0.02);
    EXPECT_EQ(got.size(), block.size());
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

TEST_F(SerialPortTest, CloseEndsAWriteInProgress) {
    ASSERT_TRUE(OpenOn(pty.SlavePath(), 2400)); // 64 KiB would take 27 s
    std::thread reader([&] { pty.ReadMaster(65536, 3000); });
    std::string block(65536, 'G');
    bool ok = true;
    double took = 0;
    std::thread writer([&] {
        uint32_t written = 0;
        auto start = Clock::now();
        ok = port.Write(block.data(), uint32_t(block.size()), written);
        took = SecondsSince(start);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    port.Close();
    writer.join();
    reader.join();
    EXPECT_FALSE(ok);
    EXPECT_LT(took, 2.0);
}

// --- The monitor ---------------------------------------------------------------------

TEST_F(SerialPortTest, RandomBurstsArriveCompleteOnceAndInOrder) {
    OwnerThread owner(port);
    ASSERT_TRUE(OpenOn(pty.SlavePath(), 115200, 8, 1, 'N', &owner));
    ASSERT_TRUE(port.StartMonitor());
    std::mt19937 rng(42);
    std::string sent;
    sent.reserve(8 << 20);
    while (sent.size() < (8u << 20)) {
        size_t chunk = 1 + rng() % 9000;
        for (size_t i = 0; i < chunk; ++i)
            sent += char(rng());
    }
    std::thread writer([&] {
        std::mt19937 pauses(7);
        for (size_t at = 0; at < sent.size();) {
            size_t chunk = std::min(sent.size() - at, size_t(1 + pauses() % 20000));
            pty.WriteMaster(sent.substr(at, chunk));
            at += chunk;
            if (pauses() % 8 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(pauses() % 3000));
        }
    });
    writer.join();
    auto deadline = Clock::now() + std::chrono::seconds(60);
    while (owner.ReceivedSize() < sent.size() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    port.Close();
    EXPECT_TRUE(owner.Received() == sent) << "got " << owner.ReceivedSize() << " of "
                                          << sent.size() << " bytes";
    EXPECT_EQ(owner.maxPending.load(), 1) << "one notification at a time";
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(SerialPortTest, CloseDoesNotHangOnAnOwnerThatNeverAnswers) {
    struct DeafOwner : PortOwner {
        std::atomic<int> told{0};
        void PostPortData(CSerialPort&) override { ++told; }
    } deaf;
    ASSERT_TRUE(OpenOn(pty.SlavePath(), 9600, 8, 1, 'N', &deaf));
    ASSERT_TRUE(port.StartMonitor());
    pty.WriteMaster("M30\r\n");
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (deaf.told == 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(deaf.told.load(), 1);
    pty.WriteMaster("more");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(deaf.told.load(), 1) << "no second notification before read-done";
    auto start = Clock::now();
    EXPECT_TRUE(port.Close());
    EXPECT_LT(SecondsSince(start), 1.0);
}

TEST_F(SerialPortTest, DeviceThatVanishesEndsTheMonitorWithAMessage) {
    OwnerThread owner(port);
    ASSERT_TRUE(OpenOn(pty.SlavePath(), 9600, 8, 1, 'N', &owner));
    ASSERT_TRUE(port.StartMonitor());
    pty.WriteMaster("G0");
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (owner.ReceivedSize() < 2 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    pty.CloseMaster();
    deadline = Clock::now() + std::chrono::seconds(5);
    while (sink.Messages().empty() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0], "串口错误，请重新启动程序。");
    EXPECT_EQ(owner.Received(), "G0");
    uint32_t written = 0;
    EXPECT_FALSE(port.Write("X", 1, written)) << "writing to a vanished device fails";
    EXPECT_TRUE(port.Close());
}

TEST_F(SerialPortTest, CopySettingsTakesTheLineParametersOnly) {
    CSerialPort other;
    other.Configure(nullptr, 7, 4800, 7, 2, 'E', 1);
    EXPECT_EQ(port.CopySettings(other), 1);
    EXPECT_EQ(port.Settings().portNumber, 7);
    EXPECT_EQ(port.Settings().baudRate, 4800);
    EXPECT_EQ(port.Settings().dataBits, 7);
    EXPECT_EQ(port.Settings().stopBits, 2);
    EXPECT_EQ(port.Settings().parity, 'E');
    EXPECT_EQ(CSerialPort().Settings().parity, 'F');
}

} // namespace
