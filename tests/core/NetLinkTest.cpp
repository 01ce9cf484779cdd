// Controllers behind a serial device server: the program's network link
// against a real ser2net on 127.0.0.1, whose serial side is a pseudo-terminal
// the test holds as the controller's end of the cable.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "HostLoop.h"
#include "PtyPair.h"
#include "Ser2net.h"
#include "TestHelpers.h"
#include "cli/CliHost.h"
#include "link/PortLink.h"
#include "netlink/GensioLink.h"
#include "netlink/NetAddress.h"
#include "serial/LinuxTty.h"
#include "transfer/TransferMessages.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

PortSettings Line(int baud, int data = 8, int stop = 1, char parity = 'N') {
    PortSettings s;
    s.portNumber = 1;
    s.baudRate = baud;
    s.dataBits = uint8_t(data);
    s.stopBits = uint8_t(stop);
    s.parity = parity;
    return s;
}

// A server of the test's own on 127.0.0.1 that accepts and does nothing more
// (a receive buffer of receiveBuffer bytes when given); -1 when it cannot.
int Listen(int& port, int receiveBuffer = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 1) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(a.sin_port);
    return fd;
}

TEST(NetAddressTest, SchemesHostsAndPorts) {
    NetAddress a;
    std::string why;
    ASSERT_TRUE(ParseNetAddress("rfc2217://10.0.0.5:4001", a, why)) << why;
    EXPECT_EQ(a.kind, NetAddress::Kind::Rfc2217);
    EXPECT_EQ(a.GensioText(), "telnet(rfc2217),tcp(nodelay=true),10.0.0.5,4001");
    ASSERT_TRUE(ParseNetAddress("tcp://box-3.shop:23", a, why)) << why;
    EXPECT_EQ(a.GensioText(), "tcp(nodelay=true),box-3.shop,23");
    for (const char* bad : {"rfc2217://10.0.0.5", "tcp://:4001", "tcp://h:0", "tcp://h:65536",
                            "tcp://h:40x1", "tcp://a,b:1", "tcp://h(x):1", "udp://h:1"})
        EXPECT_FALSE(ParseNetAddress(bad, a, why)) << bad;
    EXPECT_TRUE(IsNetworkAddress("rfc2217://h:1"));
    EXPECT_FALSE(IsNetworkAddress("/dev/ttyUSB0"));
}

class NetLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<Ser2net>(pty.SlavePath(), dir.Path());
        if (!server->Running())
            GTEST_SKIP() << "ser2net did not start";
        link.SetMessageSink(&sink);
    }
    std::string Drain(std::chrono::milliseconds quiet = 200ms) {
        return pty.DrainMaster(int(quiet.count()));
    }
    std::string ReadLink(size_t want, std::chrono::milliseconds limit = 3000ms) {
        std::string got;
        const auto until = Clock::now() + limit;
        char buffer[4096];
        while (got.size() < want && Clock::now() < until) {
            const uint32_t n = link.ReadSome(buffer, sizeof buffer);
            got.append(buffer, n);
            if (n == 0)
                std::this_thread::sleep_for(5ms);
        }
        return got;
    }

    TempDir dir;
    PtyPair pty;
    RecordingSink sink;
    std::unique_ptr<Ser2net> server;
    PortLink link;
};

// The server applies the line as asked and says so; the serial side shows it
// (a pseudo-terminal carries the rate and the stop bits).
TEST_F(NetLinkTest, Rfc2217SetsTheServersLineAndReadsItBack) {
    link.Configure(Line(4800, 7, 2, 'E'), server->Rfc2217());
    const LinkStatus status = link.Open();
    ASSERT_TRUE(status.Ok()) << status.text;
    EXPECT_TRUE(link.OnNetwork());
    std::this_thread::sleep_for(200ms);
    TtyLineSetup device;
    ASSERT_EQ(TtyReadLine(pty.Master(), device), 0);
    EXPECT_EQ(device.baud, 4800);
    EXPECT_EQ(device.stopBits, 2);
    EXPECT_TRUE(sink.Messages().empty());
    link.Close();

    // Any rate the server takes: the bytes are paced to it.
    link.Configure(Line(115200), server->Rfc2217());
    ASSERT_TRUE(link.Open().Ok());
    ASSERT_EQ(TtyReadLine(pty.Master(), device), 0);
    EXPECT_EQ(device.baud, 115200);
}

// Every byte both ways, 0xFF (telnet's escape) among them, through either accepter.
TEST_F(NetLinkTest, EveryByteArrivesExactlyBothWays) {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    all += std::string(20, '\xff') + "N1 G0 X1\r\n";
    for (const std::string& address : {server->Rfc2217(), server->RawTcp()}) {
        SCOPED_TRACE(address);
        link.Configure(Line(115200), address);
        ASSERT_TRUE(link.Open().Ok());
        uint32_t written = 0;
        ASSERT_TRUE(link.Write(all.data(), uint32_t(all.size()), written))
            << written << " lost " << link.IsLost();
        EXPECT_EQ(written, all.size());
        EXPECT_EQ(Drain(), all);
        pty.WriteMaster(all);
        EXPECT_EQ(ReadLink(all.size()), all);
        link.Close();
        // Both accepters share the one device: the server lets it go first.
        std::this_thread::sleep_for(500ms);
    }
}

// A write takes the line's time: the server's buffer never runs ahead.
TEST_F(NetLinkTest, WritesArePacedToTheLine) {
    link.Configure(Line(9600), server->Rfc2217());
    ASSERT_TRUE(link.Open().Ok());
    const std::string block(960, 'X'); // one second at 9600 8N1
    uint32_t written = 0;
    const auto start = Clock::now();
    std::string got;
    std::thread controller([&] { got = Drain(500ms); });
    ASSERT_TRUE(link.Write(block.data(), uint32_t(block.size()), written));
    EXPECT_GE(Clock::now() - start, 950ms);
    controller.join();
    EXPECT_EQ(got, block);
}

TEST_F(NetLinkTest, AServerThatIsNotThereIsReportedAtOnce) {
    link.Configure(Line(9600), "rfc2217://127.0.0.1:" + std::to_string(FreeTcpPort()));
    const auto start = Clock::now();
    const LinkStatus status = link.Open();
    EXPECT_FALSE(status.Opened());
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_NE(status.text.find("无法连接串口服务器"), std::string::npos) << status.text;
    link.Configure(Line(9600), "tcp://127.0.0.1:notaport");
    EXPECT_FALSE(link.Open().Opened());
    EXPECT_NE(sink.Messages().back().find("地址"), std::string::npos);
}

// A server that accepts but never answers the settings: a clear message in
// bounded time, never a hang.
TEST_F(NetLinkTest, AServerThatNeverAnswersIsGivenUp) {
    int port = 0;
    const int listener = Listen(port);
    ASSERT_GE(listener, 0);
    link.Configure(Line(9600), "rfc2217://127.0.0.1:" + std::to_string(port));
    const auto start = Clock::now();
    const LinkStatus status = link.Open();
    EXPECT_FALSE(status.Opened());
    EXPECT_LT(Clock::now() - start,
              std::chrono::milliseconds(GensioLink::kConnectTimeoutMs +
                                        GensioLink::kSettingTimeoutMs + 2000));
    EXPECT_NE(status.text.find("127.0.0.1"), std::string::npos) << status.text;
    ::close(listener);
}

// The box goes away mid-transfer: the transmission stops with the line named,
// as for a vanished device, and the connection can be made again.
TEST_F(NetLinkTest, AServerLostMidTransferStopsItWithTheLineNamed) {
    CliHost host;
    host.UseMessageSink(sink);
    std::string program;
    for (int i = 1; i <= 400; ++i)
        program += "N" + std::to_string(i) + " G1 X" + std::to_string(i) + ".5 Y-1.25\r\n";
    WriteBytes(dir.File("p.nc"), program);
    ASSERT_TRUE(host.buffer.LoadFromDisk(dir.File("p.nc")));
    ASSERT_TRUE(host.connection.Connect(Line(9600), server->Rfc2217()).Ok());
    ASSERT_TRUE(host.connection.StartTransmit());
    ASSERT_FALSE(pty.ReadMaster(200, 3000).empty());
    server->Kill();
    ASSERT_TRUE(RunHostUntil(
        host, [&] { return host.transmitEnded.load(); }, 15000ms));
    const Transmitter::Outcome& o = host.connection.LastTransmit();
    EXPECT_EQ(o.end, Transmitter::End::Failed);
    EXPECT_TRUE(o.lost);
    ASSERT_TRUE(RunHostUntil(
        host, [&] { return !host.connection.IsConnected(); }, 5000ms));
    ASSERT_FALSE(sink.Messages().empty());
    EXPECT_NE(sink.Messages().back().find(server->Rfc2217()), std::string::npos)
        << sink.Messages().back();
    EXPECT_NE(sink.Messages().back().find("发送失败"), std::string::npos);

    Ser2net again(pty.SlavePath(), dir.Path());
    ASSERT_TRUE(again.Running());
    EXPECT_TRUE(host.connection.Connect(Line(9600), again.Rfc2217()).Ok()) << "it can come back";
}

// A box that loses its power says nothing: it only stops taking bytes. The
// transmission must not wait for ever: it fails with the line named once the
// network has held the bytes longer than any line would.
TEST_F(NetLinkTest, AServerThatStopsTakingBytesFailsTheTransmission) {
    int port = 0;
    const int listener = Listen(port, 4096);
    ASSERT_GE(listener, 0);
    std::atomic<bool> done{false};
    std::thread box([&] {
        const int fd = ::accept(listener, nullptr, nullptr);
        char buffer[2000];
        size_t got = 0;
        while (got < sizeof buffer) { // it reads a little, then its power goes
            const ssize_t n = ::read(fd, buffer, sizeof buffer - got);
            if (n <= 0)
                break;
            got += size_t(n);
        }
        while (!done)
            std::this_thread::sleep_for(10ms);
        ::close(fd);
    });
    CliHost host;
    host.UseMessageSink(sink);
    std::string program;
    for (int i = 1; i <= 20000; ++i)
        program += "N" + std::to_string(i) + " G1 X" + std::to_string(i) + ".5\r\n";
    WriteBytes(dir.File("p.nc"), program);
    ASSERT_TRUE(host.buffer.LoadFromDisk(dir.File("p.nc")));
    const std::string address = "tcp://127.0.0.1:" + std::to_string(port);
    ASSERT_TRUE(host.connection.Connect(Line(115200), address).Ok());
    ASSERT_TRUE(host.connection.StartTransmit());
    const auto start = Clock::now();
    EXPECT_TRUE(RunHostUntil(
        host, [&] { return host.transmitEnded.load(); }, 40000ms));
    EXPECT_LT(Clock::now() - start, 40s);
    EXPECT_EQ(host.connection.LastTransmit().end, Transmitter::End::Failed);
    EXPECT_GT(host.connection.LastTransmit().linesWhole, 0);
    ASSERT_FALSE(sink.Messages().empty());
    EXPECT_NE(sink.Messages().back().find(address), std::string::npos) << sink.Messages().back();
    done = true;
    box.join();
    ::close(listener);
}

} // namespace
