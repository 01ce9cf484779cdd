// The modem dial against a simulated Hayes modem on a pseudo-terminal, with a
// made-up clock: the 120-second wait costs no real time.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <memory>
#include <thread>

#include "ModemSimulator.h"
#include "PtyPair.h"
#include "TestHelpers.h"
#include "serial/CSerialPort.h"
#include "settings/DialModem.h"

namespace {

using Result = DialModem::Result;
using ms = std::chrono::milliseconds;

class RecordingHost : public DialHost {
public:
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }
    void EnableOkCancel(bool enabled) override { buttons.push_back(enabled); }
    std::vector<std::string> statuses;
    std::vector<bool> buttons;
};

std::string Count(int seconds, const char* suffix) {
    return "正在连接..." + std::to_string(seconds) + "/120 秒. " + suffix;
}

const std::string kReadError = "读取串口数据错误！";
const std::string kResetFailed = "错误|复位moderm时失败,请确认线路是否正确连接.";
const std::string kNoEcho =
    "错误|发送拨号命令后Moderm没有返回或返回错误数据.请确认链路并复位Moderm";
const std::string kWaitStart = "正在连接...0/120 秒. (ESC停止连接)";

// The wait for the answer begins at 3500 ms: 2000 after "atz", 1500 after dialing.
constexpr int kAnswerStart = 3500;

class DialTest : public ::testing::Test {
protected:
    TempDir home;
    ScopedEnv homeEnv{"SERMIDA_HOME", home.Path()};
    PtyPair pty;
    RecordingSink sink;
    RecordingHost host;
    CSerialPort port;
    std::unique_ptr<ModemSimulator> modem;
    DialModem dial{port, host, sink};

    void SetUp() override { port.SetMessageSink(&sink); }

    // The modem first: it opens the port's end before the port takes it exclusively.
    void Connect(ModemScript script, int dataBits = 8, int stopBits = 1, char parity = 'N') {
        modem = std::make_unique<ModemSimulator>(pty.Master(), pty.SlavePath(), script);
        port.Configure(PortSettings{1, 38400, uint8_t(dataBits), uint8_t(stopBits), parity},
                       pty.SlavePath());
        ASSERT_TRUE(port.Open().Opened());
    }

    // Resets and dials; returns at the start of the wait for the answer.
    void DialToAnswer(const std::string& number) {
        ASSERT_EQ(dial.Start(number, ms(0)), Result::Running);
        ASSERT_TRUE(modem->Settle(1));
        ASSERT_EQ(dial.Poll(ms(1999)), Result::Running);
        ASSERT_EQ(dial.Poll(ms(2000)), Result::Running);
        ASSERT_TRUE(modem->Settle(2));
        ASSERT_EQ(dial.Poll(ms(kAnswerStart - 1)), Result::Running);
        ASSERT_EQ(dial.Poll(ms(kAnswerStart)), Result::Running);
        ASSERT_EQ(host.statuses.back(), kWaitStart);
        ASSERT_EQ(host.buttons, std::vector<bool>{false});
    }

    // Lets whole seconds of the answer wait pass, polling every 250 ms.
    Result PassSeconds(int from, int to) {
        Result r = Result::Running;
        for (int t = kAnswerStart + from * 1000 + 250; t <= kAnswerStart + to * 1000; t += 250)
            if ((r = dial.Poll(ms(t))) != Result::Running)
                break;
        return r;
    }

    // What the modem has heard, once it has heard what is expected or a
    // second has passed: a command's last bytes may still be on their way
    // when the dial moves on.
    std::string ModemHeard(const std::string& expected) {
        for (int i = 0; i < 200 && modem->Received() != expected; ++i)
            std::this_thread::sleep_for(ms(5));
        return modem->Received();
    }

    // What the port still holds, without a read-error message.
    std::string Leftover() {
        std::string out;
        char buf[4096];
        while (uint32_t n = port.Read(buf, Link::kReadAll))
            out.append(buf, n);
        return out;
    }
};

} // namespace

TEST_F(DialTest, ConnectAfterFiveSecondsWaitsThenPurgesThePort) {
    Connect({});
    DialToAnswer("5551234");
    EXPECT_EQ(PassSeconds(0, 5), Result::Running);
    modem->SendResult();
    ASSERT_TRUE(modem->Settle(3));
    EXPECT_EQ(dial.Poll(ms(kAnswerStart + 5100)), Result::Running);
    EXPECT_EQ(host.statuses.back(), Count(5, "[连接成功]"));

    // The 2000 ms after CONNECT: what the modem says meanwhile is purged.
    modem->Send("\r\nnoise after connect\r\n");
    ASSERT_TRUE(modem->Settle(4));
    EXPECT_EQ(dial.Poll(ms(kAnswerStart + 7099)), Result::Running);
    EXPECT_EQ(dial.Poll(ms(kAnswerStart + 7100)), Result::Connected);
    EXPECT_EQ(Leftover(), "");

    std::vector<std::string> expected = {kWaitStart};
    for (int s = 1; s <= 5; ++s)
        expected.push_back(Count(s, "[ESC停止连接]"));
    expected.push_back(Count(5, "[连接成功]"));
    EXPECT_EQ(host.statuses, expected);
    EXPECT_EQ(host.buttons, std::vector<bool>{false}) << "they stay disabled: the dialog closes";
    EXPECT_EQ(ModemHeard("atz\r\nattd5551234\r\n"), "atz\r\nattd5551234\r\n");
    EXPECT_TRUE(sink.Messages().empty());
    EXPECT_TRUE(port.IsOpen());
    // Late calls change nothing.
    EXPECT_EQ(dial.Cancel(), Result::Connected);
    EXPECT_EQ(dial.Poll(ms(999999)), Result::Connected);
}

TEST_F(DialTest, AnswerWordsAreFoundAnywhereInTheirOrderOfPrecedence) {
    struct Row {
        std::string reply;
        Result result;
        const char* suffix;
    } rows[] = {
        {"\r\nBUSY\r\n", Result::Failed, "[连接失败:对方忙.]"},
        {"\r\nNO CARRIER\r\n", Result::Failed, "[连接失败:没有载波]"},
        {"\r\nBUSY\r\n\r\nCONNECT\r\n", Result::Running, "[连接成功]"}, // CONNECT is tested first
        {"NO CARRIER BUSY", Result::Failed, "[连接失败:对方忙.]"},
        {"xxCONNECT 2400/ARQ", Result::Running, "[连接成功]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reply);
        PtyPair line;
        RecordingHost rowHost;
        CSerialPort rowPort;
        rowPort.SetMessageSink(&sink);
        ModemScript script;
        script.result = row.reply;
        ModemSimulator rowModem(line.Master(), line.SlavePath(), script);
        rowPort.Configure(PortSettings{1, 9600, 8, 1, 'N'}, line.SlavePath());
        ASSERT_TRUE(rowPort.Open().Opened());
        DialModem rowDial(rowPort, rowHost, sink);
        ASSERT_EQ(rowDial.Start("12", ms(0)), Result::Running);
        ASSERT_TRUE(rowModem.Settle(1));
        rowDial.Poll(ms(2000));
        ASSERT_TRUE(rowModem.Settle(2));
        rowDial.Poll(ms(3500));
        for (int t = 3600; t <= 5500; t += 100)
            rowDial.Poll(ms(t));
        rowModem.SendResult();
        ASSERT_TRUE(rowModem.Settle(3));
        EXPECT_EQ(rowDial.Poll(ms(5600)), row.result);
        EXPECT_EQ(rowHost.statuses.back(), Count(2, row.suffix));
        if (row.result == Result::Failed) {
            EXPECT_EQ(rowHost.buttons, (std::vector<bool>{false, true}));
        }
        EXPECT_TRUE(rowPort.IsOpen());
    }
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(DialTest, LowerCaseAnswersAreNotResults) {
    ModemScript script;
    script.result = "connect busy no carrier CONNEC";
    Connect(script);
    DialToAnswer("1");
    modem->SendResult();
    ASSERT_TRUE(modem->Settle(3));
    EXPECT_EQ(PassSeconds(0, 3), Result::Running);
    // The tail of an earlier read completes a word split across two reads.
    modem->Send("T");
    ASSERT_TRUE(modem->Settle(4));
    EXPECT_EQ(dial.Poll(ms(kAnswerStart + 3100)), Result::Running);
    EXPECT_EQ(host.statuses.back(), Count(3, "[连接成功]"));
}

TEST_F(DialTest, SilentModemTimesOutAtOneHundredTwenty) {
    ModemScript script;
    script.result.clear();
    Connect(script);
    DialToAnswer("0123456789");
    EXPECT_EQ(PassSeconds(0, 119), Result::Running);
    EXPECT_EQ(host.statuses.back(), Count(119, "[ESC停止连接]"));
    EXPECT_EQ(dial.Poll(ms(kAnswerStart + 120000)), Result::Failed);

    ASSERT_EQ(host.statuses.size(), 122u);
    for (int s = 1; s <= 120; ++s)
        EXPECT_EQ(host.statuses[size_t(s)], Count(s, "[ESC停止连接]"));
    EXPECT_EQ(host.statuses.back(), Count(120, "[连接超时]"));
    EXPECT_EQ(host.buttons, (std::vector<bool>{false, true}));
    EXPECT_TRUE(sink.Messages().empty());
    EXPECT_TRUE(port.IsOpen());
}

TEST_F(DialTest, LatePollCountsEverySecondItMissed) {
    ModemScript script;
    script.result.clear();
    Connect(script);
    DialToAnswer("1");
    EXPECT_EQ(dial.Poll(ms(kAnswerStart + 4500)), Result::Running);
    EXPECT_EQ(host.statuses.size(), 5u);
    EXPECT_EQ(dial.Seconds(), 4);
    EXPECT_EQ(dial.Poll(ms(kAnswerStart + 500000)), Result::Failed);
    EXPECT_EQ(host.statuses.back(), Count(120, "[连接超时]"));
}

TEST_F(DialTest, EscAfterSevenSecondsShowsSevenAndFreesTheButtons) {
    ModemScript script;
    script.result.clear();
    Connect(script);
    DialToAnswer("5551234");
    EXPECT_EQ(PassSeconds(0, 7), Result::Running);
    EXPECT_EQ(dial.Cancel(), Result::Failed);
    EXPECT_EQ(host.statuses.back(), Count(7, "[取消连接]"));
    EXPECT_EQ(host.buttons, (std::vector<bool>{false, true}));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(dial.Poll(ms(kAnswerStart + 9000)), Result::Failed);
    EXPECT_EQ(host.statuses.back(), Count(7, "[取消连接]"));
}

TEST_F(DialTest, EscBeforeTheAnswerWaitEndsQuietly) {
    Connect({});
    ASSERT_EQ(dial.Start("1", ms(0)), Result::Running);
    EXPECT_EQ(dial.Cancel(), Result::Failed);
    EXPECT_EQ(dial.Poll(ms(5000)), Result::Failed);
    EXPECT_TRUE(host.statuses.empty());
    EXPECT_TRUE(host.buttons.empty());
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(DialTest, NumberOfBlanksIsDialledAsTyped) {
    Connect({});
    DialToAnswer("   ");
    EXPECT_EQ(ModemHeard("atz\r\nattd   \r\n"), "atz\r\nattd   \r\n");
}

TEST_F(DialTest, ResetWithoutOkFails) {
    struct Row {
        ModemScript::ResetReply reply;
        std::vector<std::string> messages;
    } rows[] = {
        {ModemScript::ResetReply::Nothing, {kReadError, kResetFailed}},
        {ModemScript::ResetReply::Garbage, {kResetFailed}},
    };
    for (const Row& row : rows) {
        PtyPair line;
        RecordingSink rowSink;
        RecordingHost rowHost;
        CSerialPort rowPort;
        rowPort.SetMessageSink(&rowSink);
        ModemScript script;
        script.reset = row.reply;
        ModemSimulator rowModem(line.Master(), line.SlavePath(), script);
        rowPort.Configure(PortSettings{1, 38400, 8, 1, 'N'}, line.SlavePath());
        ASSERT_TRUE(rowPort.Open().Opened());
        DialModem rowDial(rowPort, rowHost, rowSink);
        ASSERT_EQ(rowDial.Start("123", ms(0)), Result::Running);
        if (row.reply != ModemScript::ResetReply::Nothing) {
            ASSERT_TRUE(rowModem.Settle(1));
        }
        EXPECT_EQ(rowDial.Poll(ms(2000)), Result::Failed);
        EXPECT_EQ(rowSink.Messages(), row.messages);
        EXPECT_TRUE(rowPort.IsOpen());
        EXPECT_TRUE(rowHost.statuses.empty());
        std::this_thread::sleep_for(ms(20));
        EXPECT_EQ(rowModem.Received(), "atz\r\n") << "no dial after a failed reset";
    }
}

TEST_F(DialTest, NoEchoAfterDialingFails) {
    ModemScript silent;
    silent.echo = false;
    Connect(silent);
    ASSERT_EQ(dial.Start("5551234", ms(0)), Result::Running);
    ASSERT_TRUE(modem->Settle(1));
    ASSERT_EQ(dial.Poll(ms(2000)), Result::Running);
    EXPECT_EQ(dial.Poll(ms(3500)), Result::Failed);
    EXPECT_EQ(sink.Messages(), (std::vector<std::string>{kReadError, kNoEcho}));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_TRUE(host.statuses.empty());
    EXPECT_TRUE(host.buttons.empty());
}

TEST_F(DialTest, WrongEchoAfterDialingFails) {
    ModemScript wrong;
    wrong.echo = false;
    wrong.afterEcho = "attd5551235\r\nERROR\r\n";
    Connect(wrong);
    ASSERT_EQ(dial.Start("5551234", ms(0)), Result::Running);
    ASSERT_TRUE(modem->Settle(1));
    ASSERT_EQ(dial.Poll(ms(2000)), Result::Running);
    ASSERT_TRUE(modem->Settle(2));
    EXPECT_EQ(dial.Poll(ms(3500)), Result::Failed);
    EXPECT_EQ(sink.Messages(), std::vector<std::string>{kNoEcho});
}

TEST_F(DialTest, EmptyNumberIsRefusedAfterTheReset) {
    Connect({});
    ASSERT_EQ(dial.Start("", ms(0)), Result::Running);
    ASSERT_TRUE(modem->Settle(1));
    EXPECT_EQ(dial.Poll(ms(2000)), Result::Failed);
    EXPECT_EQ(sink.Messages(), std::vector<std::string>{"错误|电话号码不合法."});
    std::this_thread::sleep_for(ms(20));
    EXPECT_EQ(ModemHeard("atz\r\n"), "atz\r\n");
}

TEST_F(DialTest, LineOtherThanEightNoneOneIsRefusedBeforeAnythingIsSent) {
    struct Row {
        int data, stop;
        char parity;
    } rows[] = {{7, 1, 'N'}, {8, 2, 'N'}, {8, 1, 'E'}, {5, 2, 'O'}};
    for (const Row& row : rows) {
        PtyPair line;
        RecordingSink rowSink;
        RecordingHost rowHost;
        CSerialPort rowPort;
        rowPort.SetMessageSink(&rowSink);
        ModemSimulator rowModem(line.Master(), line.SlavePath(), {});
        rowPort.Configure(PortSettings{1, 38400, uint8_t(row.data), uint8_t(row.stop), row.parity},
                          line.SlavePath());
        ASSERT_TRUE(rowPort.Open().Opened());
        DialModem rowDial(rowPort, rowHost, rowSink);
        EXPECT_EQ(rowDial.Start("123", ms(0)), Result::Failed);
        EXPECT_EQ(rowSink.Messages(),
                  std::vector<std::string>{"设置错误|请确认com端口的工作方式为:810"});
        EXPECT_TRUE(rowPort.IsOpen());
        std::this_thread::sleep_for(ms(20));
        EXPECT_EQ(rowModem.Received(), "");
    }
}

TEST_F(DialTest, NumberTooLongForTheCommandBufferIsRefusedBeforeAnythingIsSent) {
    Connect({});
    EXPECT_EQ(dial.Start(std::string(122, '7'), ms(0)), Result::Failed);
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_EQ(sink.Messages()[0], "错误|电话号码太长,最多121个字符.");
    std::this_thread::sleep_for(ms(20));
    EXPECT_EQ(modem->Received(), "");

    // The longest number that fits is dialled, and its echo is recognised.
    sink.Clear();
    DialToAnswer(std::string(121, '7'));
    const std::string sent = "atz\r\nattd" + std::string(121, '7') + "\r\n";
    EXPECT_EQ(ModemHeard(sent), sent);
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(DialTest, AnswerLongerThanTheBufferIsSearchedWithoutOverflow) {
    Connect({});
    DialToAnswer("42");
    // Kilobytes of line noise in one read, with the word at its very start...
    modem->Send("\r\nCONNECT" + std::string(3000, '#'));
    ASSERT_TRUE(modem->Settle(3));
    EXPECT_EQ(dial.Poll(ms(kAnswerStart + 100)), Result::Running);
    EXPECT_EQ(host.statuses.back(), Count(0, "[连接成功]"));
}

TEST_F(DialTest, WordSplitAfterLongNoiseIsStillFound) {
    ModemScript script;
    script.result.clear();
    Connect(script);
    DialToAnswer("42");
    // Noise read first, then a word split across two reads, the first of them
    // far longer than the answer buffer.
    modem->Send(std::string(200, '.'));
    ASSERT_TRUE(modem->Settle(3));
    EXPECT_EQ(dial.Poll(ms(kAnswerStart + 100)), Result::Running);
    modem->Send(std::string(1000, '.') + "NO CAR");
    ASSERT_TRUE(modem->Settle(4));
    EXPECT_EQ(dial.Poll(ms(kAnswerStart + 400)), Result::Running);
    modem->Send("RIER\r\n");
    ASSERT_TRUE(modem->Settle(5));
    EXPECT_EQ(dial.Poll(ms(kAnswerStart + 500)), Result::Failed);
    EXPECT_EQ(host.statuses.back(), Count(0, "[连接失败:没有载波]"));
}

TEST_F(DialTest, AnswerArrivingWithTheEchoIsNotLost) {
    ModemScript quick;
    quick.afterEcho = "\r\nBUSY\r\n";
    quick.result.clear();
    Connect(quick);
    ASSERT_EQ(dial.Start("9", ms(0)), Result::Running);
    ASSERT_TRUE(modem->Settle(1));
    dial.Poll(ms(2000));
    ASSERT_TRUE(modem->Settle(2));
    EXPECT_EQ(dial.Poll(ms(3500)), Result::Failed);
    EXPECT_EQ(host.statuses,
              (std::vector<std::string>{kWaitStart, Count(0, "[连接失败:对方忙.]")}));
}

TEST_F(DialTest, ResetCommandThatCannotBeWrittenFails) {
    // No modem, and the port is not open.
    port.Configure(PortSettings{1, 38400, 8, 1, 'N'});
    EXPECT_EQ(dial.Start("1", ms(0)), Result::Failed);
    EXPECT_EQ(sink.Messages(), (std::vector<std::string>{"串口句柄无效，无法发送数据.",
                                                         "错误|复位moderm时发送复位命令失败."}));
}

// A line whose output stops after the reset (here: stopped by hand, as a
// modem dropping CTS would in effect do) cannot take the dial command; the
// write gives up after its time-out and the dial ends with its own message.
TEST_F(DialTest, DialCommandThatCannotBeWrittenFails) {
    const int line = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(line, 0);
    Connect(ModemScript{});
    ASSERT_EQ(dial.Start("5551234", ms(0)), Result::Running);
    ASSERT_TRUE(modem->Settle(1));
    ASSERT_EQ(::tcflow(line, TCOOFF), 0);
    EXPECT_EQ(dial.Poll(ms(2000)), Result::Failed);
    ::tcflow(line, TCOON);
    ::close(line);
    const auto messages = sink.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "错误|发送拨号命令失败.");
    EXPECT_TRUE(host.statuses.empty());
}

TEST_F(DialTest, ModemAnsweringInRealTimeIsFoundByPolling) {
    ModemScript script;
    script.resultDelayMs = 30;
    Connect(script);
    ASSERT_EQ(dial.Start("77", ms(0)), Result::Running);
    ASSERT_TRUE(modem->Settle(1));
    dial.Poll(ms(2000));
    ASSERT_TRUE(modem->Settle(2));
    dial.Poll(ms(3500));
    Result r = Result::Running;
    for (int t = 3600; r == Result::Running && t < 200000; t += 100) {
        r = dial.Poll(ms(t));
        std::this_thread::sleep_for(ms(2));
    }
    EXPECT_EQ(r, Result::Connected);
    EXPECT_EQ(host.statuses.back().find("[连接成功]") != std::string::npos, true);
}
