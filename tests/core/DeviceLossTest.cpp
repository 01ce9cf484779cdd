// The cable is pulled in the middle of a transfer: a socat cable is killed
// while the connection transmits or receives. Nothing hangs, the operator is
// told which port went, nothing received is lost, the connection is closed
// and idle, and a new cable works at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "HostLoop.h"
#include "PtyPair.h"
#include "SocatLink.h"
#include "TestHelpers.h"
#include "cli/CliHost.h"
#include "transfer/TransferMessages.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A program of numbered lines with comments, and what goes on the wire for it.
std::string Program(int lines, std::string& wire) {
    std::string file;
    for (int i = 1; i <= lines; ++i) {
        const std::string body =
            "N" + std::to_string(i) + " G01 X" + std::to_string(i) + ".5 Y-2. F300 ";
        file += body + ";step " + std::to_string(i) + "\r\n";
        wire += body + "\r\n";
    }
    file += "M30";
    wire += "M30\r\n";
    return file;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

class DeviceLossTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SocatLink::Available())
            GTEST_SKIP() << "socat is not installed";
        host.UseMessageSink(sink);
    }
    void Load(const std::string& bytes) {
        WriteBytes(dir.File("p.nc"), bytes);
        ASSERT_TRUE(host.buffer.LoadFromDisk(dir.File("p.nc")));
    }
    // Connects (again) to the PC end of a cable.
    void ConnectTo(const SocatLink& link, int baud) {
        ASSERT_TRUE(link.Ready());
        ASSERT_TRUE(connection().Connect(LineAt(baud), link.PcEnd()).Ok());
        pcEnd = link.PcEnd();
    }
    // The operator is told that this cable's port went away.
    bool ToldGone() const { return Said(Format(kMsgPortGone, pcEnd.c_str())); }
    // The connection is closed and idle, ready to be set up again.
    void ExpectClosedAndIdle() {
        EXPECT_EQ(connection().State(), Idle);
        EXPECT_FALSE(connection().IsConnected());
        EXPECT_TRUE(connection().WasLost());
        EXPECT_FALSE(connection().Port().IsOpen());
    }
    Connection& connection() { return host.connection; }
    template <class Pred> bool RunUntil(Pred pred, std::chrono::milliseconds limit = 10000ms) {
        return RunHostUntil(host, pred, limit);
    }
    // A message that says text (at its end: a failed line may come first).
    bool Said(const std::string& text) const {
        for (const auto& m : sink.Messages())
            if (m.size() >= text.size() &&
                m.compare(m.size() - text.size(), text.size(), text) == 0)
                return true;
        return false;
    }
    int MarkedLine() { return host.buffer.FindLineWithMark(TRANSFER_LINE); }
    TempDir dir;
    RecordingSink sink;
    CliHost host;
    std::string pcEnd;
};

TEST_F(DeviceLossTest, TransmissionStopsWithAMessageAndANewCableWorks) {
    std::string wire;
    Load(Program(300, wire)); // about 8 s at 9600 baud
    SocatLink cable;
    FarEnd controller(cable.ControllerEnd());
    ASSERT_TRUE(controller.IsOpen());
    ConnectTo(cable, 9600);
    ASSERT_TRUE(connection().StartTransmit());
    ASSERT_TRUE(controller.WaitFor(300, 10000ms));

    const auto pulled = Clock::now();
    cable.Pull();
    ASSERT_TRUE(RunUntil([&] { return host.transmitEnded.load(); }))
        << "the transmission must end by itself";
    EXPECT_LT(Clock::now() - pulled, 3s);
    ExpectClosedAndIdle();
    EXPECT_EQ(connection().SentLines(), 0);
    EXPECT_FALSE(connection().OperationRunning());
    EXPECT_FALSE(host.buffer.IsWriteProtected()) << "the document can be edited again";
    const Transmitter::Outcome& o = connection().LastTransmit();
    ASSERT_EQ(o.end, Transmitter::End::Failed);
    EXPECT_TRUE(o.lost);
    const int failed = o.linesWhole + 1;
    ASSERT_EQ(sink.Messages().size(), 1u) << "one box says it all";
    EXPECT_EQ(sink.Messages()[0], Format(kMsgSendLineFailed, failed, o.linesWhole) + "\n" +
                                      Format(kMsgPortGone, pcEnd.c_str()));
    EXPECT_EQ(MarkedLine(), failed - 1) << "the line that did not go out is shown";
    const std::string got = controller.Received();
    EXPECT_LT(got.size(), wire.size());
    EXPECT_TRUE(StartsWith(wire, got)) << "what arrived is the start of the program";
    EXPECT_LE(std::count(got.begin(), got.end(), '\n'), o.linesWhole)
        << "no line named whole that the controller lacks";

    int endLine = 0, endByte = 0;
    EXPECT_TRUE(host.buffer.InsertAt(nullptr, 0, 0, "(EDITED)", endLine, endByte, ACTION_TYPING));
    TextPos cursor;
    EXPECT_TRUE(host.buffer.UndoLast(cursor));

    // A new cable: connect again and the whole program goes through.
    SocatLink second;
    FarEnd controller2(second.ControllerEnd());
    ConnectTo(second, 115200);
    sink.Clear();
    host.transmitEnded = false;
    ASSERT_TRUE(connection().StartTransmit());
    ASSERT_TRUE(RunUntil([&] { return host.transmitEnded.load(); }, 30000ms));
    EXPECT_TRUE(controller2.WaitFor(wire.size(), 5000ms));
    EXPECT_TRUE(controller2.Received() == wire)
        << controller2.Count() << " of " << wire.size() << " bytes";
    EXPECT_EQ(connection().LastTransmit().end, Transmitter::End::Completed);
    EXPECT_FALSE(connection().WasLost());
    EXPECT_TRUE(sink.Messages().empty());
    EXPECT_FALSE(host.buffer.IsWriteProtected());
}

// A controller that has said DC3 and then goes away will never say DC1: the
// transmission must not wait for it forever.
TEST_F(DeviceLossTest, AHeldTransmissionEndsWhenTheDeviceVanishes) {
    std::string wire;
    Load(Program(300, wire));
    SocatLink cable;
    FarEnd controller(cable.ControllerEnd());
    ConnectTo(cable, 9600);
    ASSERT_TRUE(connection().StartTransmit());
    ASSERT_TRUE(controller.WaitFor(100, 10000ms));
    ASSERT_TRUE(controller.Write("\x13"));
    ASSERT_TRUE(RunUntil([&] { return connection().State() == HeldByPeer && MarkedLine() >= 0; }));

    cable.Pull();
    ASSERT_TRUE(RunUntil([&] { return host.transmitEnded.load(); }, 5000ms))
        << "still waiting for a DC1 from a device that is gone";
    ExpectClosedAndIdle();
    EXPECT_FALSE(host.buffer.IsWriteProtected());
    const Transmitter::Outcome& o = connection().LastTransmit();
    EXPECT_EQ(o.end, Transmitter::End::Failed);
    EXPECT_GT(o.linesWhole, 0);
    EXPECT_EQ(MarkedLine(), o.linesWhole) << "the next line, the first not sent";
    EXPECT_TRUE(Said(Format(kMsgPortGone, pcEnd.c_str())));
}

// A green line means "the transmission waits here"; once the whole program
// has gone through on a new cable no line may still say so.
TEST_F(DeviceLossTest, ANewTransmissionClearsTheMarkOfTheLineThatFailed) {
    std::string wire;
    Load(Program(300, wire));
    SocatLink cable;
    FarEnd controller(cable.ControllerEnd());
    ConnectTo(cable, 9600);
    ASSERT_TRUE(connection().StartTransmit());
    ASSERT_TRUE(controller.WaitFor(300, 10000ms));
    cable.Pull();
    ASSERT_TRUE(RunUntil([&] { return host.transmitEnded.load(); }));
    ASSERT_GE(MarkedLine(), 0);

    SocatLink second;
    FarEnd controller2(second.ControllerEnd());
    ConnectTo(second, 115200);
    host.transmitEnded = false;
    ASSERT_TRUE(connection().StartTransmit());
    ASSERT_TRUE(RunUntil([&] { return host.transmitEnded.load(); }, 30000ms));
    EXPECT_EQ(MarkedLine(), -1);
}

TEST_F(DeviceLossTest, WhatWasReceivedStaysInTheDocumentAndANewCableWorks) {
    SocatLink cable;
    FarEnd controller(cable.ControllerEnd());
    ConnectTo(cable, 115200);
    ASSERT_TRUE(connection().StartReceive());

    // The controller punches without pause until the cable goes.
    std::string punched;
    std::atomic<bool> stop{false};
    std::thread punch([&] {
        for (int i = 1; !stop && punched.size() < (20u << 20); ++i) {
            std::string line = "N" + std::to_string(i) + " G01 X" + std::to_string(i % 977) +
                               ".25 Y-" + std::to_string(i % 313) + ".5\n";
            if (!controller.Write(line))
                return;
            punched += line;
        }
    });
    const bool flowing = RunUntil([&] { return host.buffer.CountLines() > 500; });
    const std::string atPull = Lines(host.buffer);
    cable.Pull();
    stop = true;
    punch.join();
    ASSERT_TRUE(flowing);

    ASSERT_TRUE(RunUntil([&] { return ToldGone(); })) << "the operator is told";
    EXPECT_EQ(connection().QueuedBytes(), 0u) << "what was decoded is in the document";
    ExpectClosedAndIdle();
    const std::string kept = Lines(host.buffer);
    EXPECT_TRUE(StartsWith(kept, atPull)) << "nothing that was in the document goes away";
    std::replace(punched.begin(), punched.end(), '\n', '|'); // as Lines() joins them
    EXPECT_TRUE(StartsWith(punched, kept)) << "and nothing in it is lost or out of order";
    EXPECT_FALSE(host.buffer.IsWriteProtected());

    // A new cable: receiving goes on at the end of the same document.
    SocatLink second;
    FarEnd controller2(second.ControllerEnd());
    ConnectTo(second, 115200);
    ASSERT_TRUE(connection().StartReceive());
    ASSERT_TRUE(controller2.Write("\nM30\n"));
    ASSERT_TRUE(RunUntil([&] { return Lines(host.buffer) == kept + "|M30|"; }))
        << Lines(host.buffer).substr(kept.size());
    connection().StopReceive();
}

} // namespace
