// Connecting as the settings dialog's OK and Cancel do, taking a connection
// over, and releasing a port from other views, on real pseudo-terminals
// mapped to COM ports.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>

#include "HostLoop.h"
#include "ModemSimulator.h"
#include "PtyPair.h"
#include "TestHelpers.h"
#include "cli/CliHost.h"
#include "common/Gbk.h"
#include "settings/DialModem.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsProposal.h"
#include "transfer/TransferMessages.h"

namespace {

using namespace std::chrono_literals;

// Everything that happens, in order, across views, waits and releases.
struct Log {
    std::vector<std::string> events;
    void Add(const std::string& e) { events.push_back(e); }
};

// A view: its connection, and its fixed waits written to the log.
struct View {
    View(const std::string& name, Log& log, MessageSink& sink) : name(name) {
        host.UseMessageSink(sink);
        host.connection.SetSleep([&log](int ms) { log.Add("sleep " + std::to_string(ms)); });
    }
    Connection& c() { return host.connection; }
    std::string name;
    CliHost host;
};

class SettingsConnectionTest : public ::testing::Test {
protected:
    TempDir home;
    ScopedEnv homeEnv{"SERMIDA_HOME", home.Path()};
    PtyPair com3;
    ScopedEnv map3{"SERMIDA_COM3", com3.SlavePath()};
    RecordingSink sink;
    Log log;
    View view{"view", log, sink};
    View other{"other", log, sink};

    // The main frame's release across these views, logged.
    Connection::ReleaseFn Release(std::vector<View*> views) {
        return [this, views](int port) {
            log.Add("release COM" + std::to_string(port));
            std::vector<Connection*> connections;
            for (View* v : views)
                connections.push_back(&v->c());
            return ReleasePort(connections, port);
        };
    }
    // The dialog's OK in direct mode: open, complete, remember.
    bool Ok(View& v, const PortSettings& chosen, std::vector<View*> views = {}) {
        if (!v.c().OpenLine(chosen, Release(views)).Opened() || !v.c().Complete())
            return false;
        SaveSettingsFile(TokensOfSettings(v.c().Settings()));
        return true;
    }
    // A transmission that stays running: the controller holds it at once.
    void TransmitHeld(View& v) {
        std::string program;
        for (int i = 0; i < 200; ++i)
            program += "N" + std::to_string(i) + " G1 X1\r\n";
        WriteBytes(home.File("p.nc"), program);
        ASSERT_TRUE(v.host.buffer.LoadFromDisk(home.File("p.nc")));
        ASSERT_TRUE(v.c().StartTransmit());
        com3.WriteMaster("\x13");
        ASSERT_TRUE(RunHostUntil(
            v.host, [&] { return v.c().State() == HeldByPeer; }, 5000ms));
    }
    std::string Ini() { return ReadBytes(home.File("Sermida.ini")); }
    bool IniExists() {
        struct stat st {};
        return ::stat(home.File("Sermida.ini").c_str(), &st) == 0;
    }
};

const PortSettings kCom3{3, 9600, 8, 1, 'N'};

} // namespace

TEST_F(SettingsConnectionTest, OkReleasesClosesWaitsOpensListensAndStores) {
    ASSERT_TRUE(Ok(view, SettingsOfChoice(DialogChoice{2, "9600", 3, 0, 0})));
    EXPECT_EQ(log.events, (std::vector<std::string>{"release COM3", "sleep 300", "sleep 200"}));
    EXPECT_TRUE(view.c().IsConnected());
    EXPECT_TRUE(view.c().Port().IsOpen());
    EXPECT_EQ(Ini(), "COM3 9600 8 1 " + Utf8ToGbk("无"));
    EXPECT_TRUE(sink.Messages().empty());

    // The reader is running: the controller's bytes reach the connection.
    com3.WriteMaster("G01 X10\r\n");
    EXPECT_TRUE(RunHostUntil(
        view.host, [&] { return view.c().TakeReceiveActivity(); }, 5000ms));

    // A second OK on the same view closes and reopens.
    log.events.clear();
    ASSERT_TRUE(Ok(view, PortSettings{3, 4800, 7, 2, 'O'}, {&view}));
    EXPECT_EQ(log.events, (std::vector<std::string>{"release COM3", "sleep 300", "sleep 200"}));
    EXPECT_TRUE(view.c().IsConnected());
    EXPECT_EQ(Ini(), "COM3 4800 7 2 " + Utf8ToGbk("奇校验"));
}

TEST_F(SettingsConnectionTest, FileWithRateOutsideTheListConnectsAt38400) {
    WriteBytes(home.File("Sermida.ini"), "COM3 8800 7 2 " + Utf8ToGbk("偶校验"));
    SettingsTokens file;
    ASSERT_TRUE(LoadSettingsFile(file));
    DialogSelection s = SelectionOfProposal(ProposeSelections(view.c().Settings(), &file));
    ASSERT_TRUE(
        Ok(view, SettingsOfChoice(DialogChoice{s.port, "", s.dataBits, s.stopBits, s.parity})));
    EXPECT_EQ(view.c().Settings().baudRate, 38400);
    EXPECT_EQ(view.c().Settings().dataBits, 7);
    EXPECT_EQ(Ini(), "COM3 38400 7 2 " + Utf8ToGbk("偶校验"));
}

TEST_F(SettingsConnectionTest, BoxesWithoutSelectionConnectToCom1At38400EightNoneOne) {
    PtyPair com1;
    ScopedEnv map1("SERMIDA_COM1", com1.SlavePath());
    ASSERT_TRUE(Ok(view, SettingsOfChoice(DialogChoice{})));
    const PortSettings& s = view.c().Settings();
    EXPECT_EQ(s.portNumber, 1);
    EXPECT_EQ(s.baudRate, 38400);
    EXPECT_EQ(Ini(), "COM1 38400 8 1 " + Utf8ToGbk("无"));
}

TEST_F(SettingsConnectionTest, FailedOpenMarksThePortUnconfiguredAndStoresNothing) {
    ASSERT_TRUE(Ok(other, kCom3)); // another view holds COM3 and transmits on it
    TransmitHeld(other);
    log.events.clear();

    EXPECT_FALSE(Ok(view, kCom3, {&other, &view}));
    ASSERT_EQ(sink.Messages().size(), 1u);
    EXPECT_NE(sink.Messages()[0].find("无法打开串口3(COM3)"), std::string::npos);
    EXPECT_EQ(view.c().Settings().portNumber, -1);
    EXPECT_EQ(view.c().Settings().baudRate, 0);
    EXPECT_EQ(view.c().Settings().dataBits, 8);
    EXPECT_FALSE(view.c().IsConnected());
    EXPECT_EQ(log.events, (std::vector<std::string>{"release COM3", "sleep 300"}));
    EXPECT_TRUE(other.c().IsConnected()) << "a transmitting view keeps its port";
    EXPECT_EQ(other.c().State(), HeldByPeer);
    other.c().Stop();
}

TEST_F(SettingsConnectionTest, AReaderThatCannotStartLeavesTheViewUnconnected) {
    EXPECT_FALSE(view.c().Complete()); // nothing was opened
    EXPECT_EQ(view.c().Settings().portNumber, -1);
    EXPECT_EQ(view.c().Settings().baudRate, 0);
    EXPECT_FALSE(view.c().IsConnected());
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(SettingsConnectionTest, UnwritableSettingsDoNotAffectTheConnection) {
    ASSERT_EQ(::mkdir(home.File("Sermida.ini").c_str(), 0755), 0);
    ASSERT_TRUE(Ok(view, kCom3));
    EXPECT_TRUE(view.c().IsConnected());
    EXPECT_TRUE(view.c().Port().IsOpen());
    EXPECT_TRUE(sink.Messages().empty());
}

TEST_F(SettingsConnectionTest, OkTakesThePortFromAnIdleViewButNotFromATransmittingOne) {
    ASSERT_TRUE(Ok(other, kCom3, {&other, &view}));
    ASSERT_TRUE(other.c().StartReceive());
    log.events.clear();

    ASSERT_TRUE(Ok(view, kCom3, {&other, &view}));
    EXPECT_EQ(log.events,
              (std::vector<std::string>{"release COM3", "sleep 70", "sleep 300", "sleep 200"}));
    EXPECT_FALSE(other.c().Port().IsOpen());
    EXPECT_FALSE(other.c().IsConnected());
    EXPECT_EQ(other.c().State(), Idle);

    // Now `view` transmits; `other` asks for the same port and is refused.
    TransmitHeld(view);
    EXPECT_EQ(ReleasePort({&other.c(), &view.c()}, 3), 1);
    EXPECT_TRUE(view.c().Port().IsOpen());
    EXPECT_FALSE(Ok(other, kCom3, {&other, &view}));
    EXPECT_TRUE(view.c().IsConnected());
    EXPECT_EQ(other.c().Settings().portNumber, -1);
    ASSERT_FALSE(sink.Messages().empty());
    EXPECT_NE(sink.Messages().back().find("无法打开串口3(COM3)"), std::string::npos);

    // Unconnected views and other port numbers are not touched.
    EXPECT_EQ(ReleasePort({&other.c(), &view.c()}, 4), 0);
    view.c().Stop();
}

TEST_F(SettingsConnectionTest, TakeOverMovesTheLineAndClosesTheViewItCameFrom) {
    ASSERT_TRUE(Ok(other, PortSettings{3, 19200, 7, 2, 'E'}));
    ASSERT_TRUE(other.c().StartReceive());
    log.events.clear();
    EXPECT_EQ(view.c().TakeOver(nullptr), TakeOverResult::NothingToTakeOver);
    EXPECT_EQ(view.c().TakeOver(&other.c()), TakeOverResult::Connected);
    EXPECT_EQ(log.events, (std::vector<std::string>{"sleep 70", "sleep 50"}));
    EXPECT_FALSE(other.c().IsConnected());
    EXPECT_EQ(other.c().State(), Idle);
    EXPECT_TRUE(view.c().IsConnected());
    const PortSettings s = view.c().Settings();
    EXPECT_EQ(s.portNumber, 3);
    EXPECT_EQ(s.baudRate, 19200);
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.stopBits, 2);
    EXPECT_EQ(s.parity, 'E');
    EXPECT_EQ(other.c().TakeOver(&view.c()), TakeOverResult::Connected) << "and back";

    // Never from a view that transmits.
    TransmitHeld(other);
    sink.Clear();
    EXPECT_EQ(view.c().TakeOver(&other.c()), TakeOverResult::LinkedBusy);
    EXPECT_EQ(sink.Messages(), std::vector<std::string>{kMsgWaitForTransfer});
    EXPECT_TRUE(other.c().IsConnected());
    other.c().Stop();
}

TEST_F(SettingsConnectionTest, CancelClosesAnIdleConnectionAndKeepsItsValues) {
    ASSERT_TRUE(Ok(view, PortSettings{3, 19200, 7, 2, 'E'}));
    ASSERT_TRUE(view.c().StartReceive());
    log.events.clear();
    EXPECT_TRUE(view.c().Disconnect());
    EXPECT_EQ(log.events, std::vector<std::string>{"sleep 70"});
    EXPECT_FALSE(view.c().Port().IsOpen());
    EXPECT_FALSE(view.c().IsConnected());
    EXPECT_EQ(view.c().State(), Idle);
    EXPECT_TRUE(sink.Messages().empty());

    // The next dialog proposes what this view last used, whatever the file says.
    WriteBytes(home.File("Sermida.ini"), "COM5 2400 5 1 " + Utf8ToGbk("无"));
    SettingsTokens file;
    ASSERT_TRUE(LoadSettingsFile(file));
    DialogProposal p = ProposeSelections(view.c().Settings(), &file);
    EXPECT_EQ(p.port + " " + p.baud + " " + p.dataBits + " " + p.stopBits + " " + p.parity,
              "COM3 19200 7 2 偶校验");

    // Cancel on a view without an open port does nothing more.
    log.events.clear();
    EXPECT_TRUE(view.c().Disconnect());
    EXPECT_TRUE(log.events.empty());
}

TEST_F(SettingsConnectionTest, CancelDuringATransferKeepsThePort) {
    ASSERT_TRUE(Ok(view, kCom3));
    TransmitHeld(view);
    for (int step = 0; step < 2; ++step) {
        EXPECT_FALSE(view.c().Disconnect()) << "state " << view.c().State();
        EXPECT_TRUE(view.c().Port().IsOpen());
        EXPECT_TRUE(view.c().IsConnected());
        view.c().Pause();
    }
    EXPECT_EQ(view.c().State(), Paused);
    view.c().Stop();
    ASSERT_TRUE(RunHostUntil(
        view.host, [&] { return view.host.transmitEnded.load(); }, 5000ms));
    EXPECT_TRUE(view.c().Disconnect());
}

TEST_F(SettingsConnectionTest, ModemWithSevenDataBitsIsRefusedAfterThePortOpened) {
    ModemSimulator modem(com3.Master(), com3.SlavePath(), {});
    ASSERT_TRUE(view.c().OpenLine(PortSettings{3, 38400, 7, 1, 'N'}).Opened());
    struct NoHost : DialHost {
        void ShowStatus(const std::string&) override {}
        void EnableOkCancel(bool) override {}
    } host;
    DialModem dial(view.c().Port(), host, sink);
    EXPECT_EQ(dial.Start("5551234", std::chrono::milliseconds(0)), DialModem::Result::Failed);
    EXPECT_EQ(sink.Messages(), std::vector<std::string>{"设置错误|请确认com端口的工作方式为:810"});
    EXPECT_TRUE(view.c().Port().IsOpen());
    EXPECT_FALSE(view.c().IsConnected());
    EXPECT_FALSE(IniExists());

    // Cancel now closes the port that the failed dial left open.
    EXPECT_TRUE(view.c().Disconnect());
    EXPECT_FALSE(view.c().Port().IsOpen());
}

TEST_F(SettingsConnectionTest, DialledConnectionIsCompletedAndStored) {
    ModemSimulator modem(com3.Master(), com3.SlavePath(), {});
    ASSERT_TRUE(view.c().OpenLine(PortSettings{3, 57600, 8, 1, 'N'}).Opened());
    struct NoHost : DialHost {
        void ShowStatus(const std::string&) override {}
        void EnableOkCancel(bool) override {}
    } host;
    using ms = std::chrono::milliseconds;
    DialModem dial(view.c().Port(), host, sink);
    ASSERT_EQ(dial.Start("0", ms(0)), DialModem::Result::Running);
    ASSERT_TRUE(modem.Settle(1));
    dial.Poll(ms(2000));
    ASSERT_TRUE(modem.Settle(2));
    dial.Poll(ms(3500));
    modem.SendResult();
    ASSERT_TRUE(modem.Settle(3));
    dial.Poll(ms(3600));
    EXPECT_FALSE(view.c().IsConnected()) << "not before the dial has finished";
    ASSERT_EQ(dial.Poll(ms(5600)), DialModem::Result::Connected);
    ASSERT_TRUE(view.c().Complete());
    SaveSettingsFile(TokensOfSettings(view.c().Settings()));
    EXPECT_TRUE(view.c().IsConnected());
    EXPECT_EQ(Ini(), "COM3 57600 8 1 " + Utf8ToGbk("无"));
    EXPECT_TRUE(sink.Messages().empty());
}
