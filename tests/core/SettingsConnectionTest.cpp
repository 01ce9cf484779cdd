// The settings dialog's OK and Cancel as core operations, and the release of
// a port from other views, on real pseudo-terminals mapped to COM ports.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <memory>

#include "ModemSimulator.h"
#include "PtyPair.h"
#include "TestHelpers.h"
#include "common/Gbk.h"
#include "serial/CSerialPort.h"
#include "settings/ConnectionSetup.h"
#include "settings/DialModem.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsProposal.h"

namespace {

// Everything that happens, in order, across views, waits and the dialog.
struct Log {
    std::vector<std::string> events;
    void Add(const std::string& e) { events.push_back(e); }
};

class FakeView : public ConnectionView, public PortOwner {
public:
    FakeView(const std::string& name, Log& log, MessageSink& sink) : name(name), log(log) {
        port.SetMessageSink(&sink);
    }
    ~FakeView() override { port.Close(); }
    CSerialPort& Port() override { return port; }
    PortOwner* Owner() override { return this; }
    bool IsConnected() const override { return connected; }
    void SetConnected(bool c) override {
        if (c != connected)
            log.Add(name + (c ? " connected" : " disconnected"));
        connected = c;
    }
    int TransferStateValue() const override { return state; }
    void SetTransferIdle() override { state = 1; }
    // What the monitor announces is read and dropped.
    void PostPortData(CSerialPort& p) override {
        char buf[4096];
        p.Read(buf, CSerialPort::kReadAll);
        p.m_hReadDone.Set();
    }

    std::string name;
    Log& log;
    CSerialPort port;
    bool connected = false;
    int state = 1;
};

class SettingsConnectionTest : public ::testing::Test {
protected:
    TempDir home;
    ScopedEnv homeEnv{"SERMIDA_HOME", home.Path()};
    PtyPair com3;
    ScopedEnv map3{"SERMIDA_COM3", com3.SlavePath()};
    RecordingSink sink;
    Log log;
    FakeView view{"view", log, sink};
    SleepFn sleep = [this](int ms) { log.Add("sleep " + std::to_string(ms)); };

    std::function<int(int)> Release(std::vector<ConnectionView*> views,
                                    ConnectionView** linked = nullptr) {
        return [this, views, linked](int port) {
            log.Add("release COM" + std::to_string(port));
            ConnectionView* none = nullptr;
            return ReleasePortFromViews(views, port, linked ? *linked : none, sleep);
        };
    }
    bool Ok(FakeView& v, const PortSettings& chosen, std::vector<ConnectionView*> views = {}) {
        return OpenForConnection(v, chosen, Release(views), sleep) && CompleteConnection(v);
    }
    std::string Ini() { return ReadBytes(home.File("Sermida.ini")); }
    bool IniExists() {
        struct stat st {};
        return ::stat(home.File("Sermida.ini").c_str(), &st) == 0;
    }
};

const PortSettings kCom3{3, 9600, 8, 1, 'N'};

} // namespace

TEST_F(SettingsConnectionTest, OkReleasesClosesWaitsOpensMonitorsAndStores) {
    ASSERT_TRUE(Ok(view, SettingsOfChoice(DialogChoice{2, "9600", 3, 0, 0})));
    EXPECT_EQ(log.events, (std::vector<std::string>{"release COM3", "sleep 300", "sleep 200",
                                                    "view connected"}));
    EXPECT_TRUE(view.port.IsOpen());
    TtyLineSetup line;
    ASSERT_TRUE(view.port.ReadBackLine(line));
    EXPECT_EQ(line.baud, 9600);
    EXPECT_EQ(Ini(), "COM3 9600 8 1 " + Utf8ToGbk("无"));
    EXPECT_TRUE(sink.Messages().empty());

    // The monitor is running: bytes from the controller reach the owner.
    com3.WriteMaster("G01 X10\r\n");

    // A second OK on the same view closes and reopens.
    log.events.clear();
    ASSERT_TRUE(Ok(view, PortSettings{3, 4800, 7, 2, 'O'}));
    EXPECT_EQ(log.events, (std::vector<std::string>{"release COM3", "view disconnected",
                                                    "sleep 300", "sleep 200", "view connected"}));
    EXPECT_EQ(Ini(), "COM3 4800 7 2 " + Utf8ToGbk("奇校验"));
}

TEST_F(SettingsConnectionTest, FileWithRateOutsideTheListConnectsAt38400) {
    WriteBytes(home.File("Sermida.ini"), "COM3 8800 7 2 " + Utf8ToGbk("偶校验"));
    SettingsTokens file;
    ASSERT_TRUE(LoadSettingsFile(file));
    DialogSelection s = SelectionOfProposal(ProposeSelections(view.port.Settings(), &file));
    ASSERT_TRUE(
        Ok(view, SettingsOfChoice(DialogChoice{s.port, "", s.dataBits, s.stopBits, s.parity})));
    TtyLineSetup line;
    ASSERT_TRUE(view.port.ReadBackLine(line));
    EXPECT_EQ(line.baud, 38400);
    EXPECT_EQ(view.port.Settings().dataBits, 7);
    EXPECT_EQ(Ini(), "COM3 38400 7 2 " + Utf8ToGbk("偶校验"));
}

TEST_F(SettingsConnectionTest, BoxesWithoutSelectionConnectToCom1At38400EightNoneOne) {
    PtyPair com1;
    ScopedEnv map1("SERMIDA_COM1", com1.SlavePath());
    ASSERT_TRUE(Ok(view, SettingsOfChoice(DialogChoice{})));
    const PortSettings& s = view.port.Settings();
    EXPECT_EQ(s.portNumber, 1);
    EXPECT_EQ(s.baudRate, 38400);
    EXPECT_EQ(Ini(), "COM1 38400 8 1 " + Utf8ToGbk("无"));
}

TEST_F(SettingsConnectionTest, FailedOpenMarksThePortUnconfiguredAndStoresNothing) {
    CSerialPort holder; // another program holds COM3
    holder.SetMessageSink(&sink);
    holder.SetDevicePath(com3.SlavePath());
    holder.Configure(nullptr, 3, 9600, 8, 1, 'N');
    ASSERT_TRUE(holder.Open());

    EXPECT_FALSE(OpenForConnection(view, kCom3, Release({}), sleep));
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_NE(sink.Messages()[0].find("无法打开串口3(COM3)"), std::string::npos);
    EXPECT_EQ(view.port.Settings().portNumber, -1);
    EXPECT_EQ(view.port.Settings().baudRate, 0);
    EXPECT_EQ(view.port.Settings().dataBits, 8);
    EXPECT_FALSE(view.connected);
    EXPECT_FALSE(IniExists());
    EXPECT_EQ(log.events, (std::vector<std::string>{"release COM3", "sleep 300"}));
}

TEST_F(SettingsConnectionTest, MonitorThatCannotStartLeavesTheViewUnconnected) {
    view.port.Configure(&view, 3, 9600, 8, 1, 'N'); // never opened
    EXPECT_FALSE(CompleteConnection(view));
    EXPECT_EQ(view.port.Settings().portNumber, -1);
    EXPECT_EQ(view.port.Settings().baudRate, 0);
    EXPECT_FALSE(view.connected);
    EXPECT_FALSE(IniExists());
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(SettingsConnectionTest, UnwritableSettingsDoNotAffectTheConnection) {
    ASSERT_EQ(::mkdir(home.File("Sermida.ini").c_str(), 0755), 0);
    ASSERT_TRUE(Ok(view, kCom3));
    EXPECT_TRUE(view.connected);
    EXPECT_TRUE(view.port.IsOpen());
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(SettingsConnectionTest, OkTakesThePortFromAnIdleViewButNotFromATransmittingOne) {
    FakeView other("other", log, sink);
    ConnectionView* linked = &other;
    ASSERT_TRUE(OpenForConnection(other, kCom3, Release({&other, &view}), sleep));
    ASSERT_TRUE(CompleteConnection(other));
    other.state = 2; // receiving
    log.events.clear();

    ASSERT_TRUE(OpenForConnection(view, kCom3, Release({&other, &view}, &linked), sleep));
    ASSERT_TRUE(CompleteConnection(view));
    EXPECT_EQ(log.events,
              (std::vector<std::string>{"release COM3", "sleep 70", "other disconnected",
                                        "sleep 300", "sleep 200", "view connected"}));
    EXPECT_FALSE(other.port.IsOpen());
    EXPECT_EQ(other.state, 1);
    EXPECT_EQ(linked, nullptr);

    // Now `view` transmits; `other` asks for the same port and is refused.
    view.state = 3;
    ConnectionView* none = nullptr;
    std::vector<ConnectionView*> all = {&other, &view};
    EXPECT_EQ(ReleasePortFromViews(all, 3, none, sleep), 1);
    EXPECT_TRUE(view.port.IsOpen());
    EXPECT_FALSE(OpenForConnection(other, kCom3, Release(all), sleep));
    EXPECT_TRUE(view.connected);
    EXPECT_TRUE(view.port.IsOpen());
    EXPECT_EQ(other.port.Settings().portNumber, -1);
    ASSERT_FALSE(sink.Messages().empty());
    EXPECT_NE(sink.Messages().back().find("无法打开串口3(COM3)"), std::string::npos);

    // Views on other ports, unconnected views and other port numbers are not touched.
    EXPECT_EQ(ReleasePortFromViews(all, 4, none, sleep), 0);
}

TEST_F(SettingsConnectionTest, CancelClosesAnIdleConnectionAndKeepsItsValues) {
    ASSERT_TRUE(Ok(view, PortSettings{3, 19200, 7, 2, 'E'}));
    view.state = 2;
    log.events.clear();
    EXPECT_EQ(CancelConnection(
                  view, sink, [this] { log.Add("dialog ends"); }, sleep),
              CancelOutcome::Disconnected);
    EXPECT_EQ(log.events,
              (std::vector<std::string>{"sleep 70", "view disconnected", "dialog ends"}));
    EXPECT_FALSE(view.port.IsOpen());
    EXPECT_EQ(view.state, 1);
    EXPECT_TRUE(sink.Messages().empty());

    // The next dialog proposes what this view last used, whatever the file says.
    WriteBytes(home.File("Sermida.ini"), "COM5 2400 5 1 " + Utf8ToGbk("无"));
    SettingsTokens file;
    ASSERT_TRUE(LoadSettingsFile(file));
    DialogProposal p = ProposeSelections(view.port.Settings(), &file);
    EXPECT_EQ(p.port + " " + p.baud + " " + p.dataBits + " " + p.stopBits + " " + p.parity,
              "COM3 19200 7 2 偶校验");

    // Cancel on a view without an open port only ends the dialog.
    log.events.clear();
    EXPECT_EQ(CancelConnection(
                  view, sink, [this] { log.Add("dialog ends"); }, sleep),
              CancelOutcome::Disconnected);
    EXPECT_EQ(log.events, std::vector<std::string>{"dialog ends"});
}

TEST_F(SettingsConnectionTest, CancelDuringATransferClosesTheDialogFirstAndKeepsThePort) {
    ASSERT_TRUE(Ok(view, kCom3));
    for (int state : {3, 4, 5}) {
        view.state = state;
        log.events.clear();
        sink.Clear();
        struct LoggingSink : MessageSink {
            Log& log;
            explicit LoggingSink(Log& l) : log(l) {}
            void ShowMessage(const std::string& text, const std::string&) override {
                log.Add("box " + text);
            }
        } boxes(log);
        EXPECT_EQ(CancelConnection(
                      view, boxes, [this] { log.Add("dialog ends"); }, sleep),
                  CancelOutcome::KeptForTransfer);
        EXPECT_EQ(log.events,
                  (std::vector<std::string>{"dialog ends", "box 请等待数据传送完成再断开连接。"}));
        EXPECT_TRUE(view.port.IsOpen());
        EXPECT_TRUE(view.connected);
        EXPECT_EQ(view.state, state);
    }
}

TEST_F(SettingsConnectionTest, ModemWithSevenDataBitsIsRefusedAfterThePortOpened) {
    ModemSimulator modem(com3.Master(), com3.SlavePath(), {});
    ASSERT_TRUE(OpenForConnection(view, PortSettings{3, 38400, 7, 1, 'N'}, Release({}), sleep));
    struct NoHost : DialHost {
        void ShowStatus(const std::string&) override {}
        void EnableOkCancel(bool) override {}
    } host;
    DialModem dial(view.port, host, sink);
    EXPECT_EQ(dial.Start("5551234", std::chrono::milliseconds(0)), DialModem::Result::Failed);
    EXPECT_EQ(sink.Messages(), std::vector<std::string>{"设置错误|请确认com端口的工作方式为:810"});
    EXPECT_TRUE(view.port.IsOpen());
    EXPECT_FALSE(view.connected);
    EXPECT_FALSE(IniExists());

    // Cancel now closes the port that the failed dial left open.
    EXPECT_EQ(CancelConnection(view, sink, nullptr, sleep), CancelOutcome::Disconnected);
    EXPECT_FALSE(view.port.IsOpen());
}

TEST_F(SettingsConnectionTest, DialledConnectionIsCompletedAndStored) {
    ModemSimulator modem(com3.Master(), com3.SlavePath(), {});
    ASSERT_TRUE(OpenForConnection(view, PortSettings{3, 57600, 8, 1, 'N'}, Release({}), sleep));
    struct NoHost : DialHost {
        void ShowStatus(const std::string&) override {}
        void EnableOkCancel(bool) override {}
    } host;
    using ms = std::chrono::milliseconds;
    DialModem dial(view.port, host, sink);
    ASSERT_EQ(dial.Start("0", ms(0)), DialModem::Result::Running);
    ASSERT_TRUE(modem.Settle(1));
    dial.Poll(ms(2000));
    ASSERT_TRUE(modem.Settle(2));
    dial.Poll(ms(3500));
    modem.SendResult();
    ASSERT_TRUE(modem.Settle(3));
    dial.Poll(ms(3600));
    EXPECT_FALSE(view.connected) << "not before the dial has finished";
    ASSERT_EQ(dial.Poll(ms(5600)), DialModem::Result::Connected);
    ASSERT_TRUE(CompleteConnection(view));
    EXPECT_TRUE(view.connected);
    EXPECT_EQ(Ini(), "COM3 57600 8 1 " + Utf8ToGbk("无"));
    EXPECT_TRUE(sink.Messages().empty());
}
