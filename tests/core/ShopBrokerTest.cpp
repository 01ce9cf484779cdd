// The DNC service's broker link against a real mosquitto on 127.0.0.1, watched
// by another client as the shop's dashboard would watch it.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "BlackHole.h"
#include "ChildOfTest.h"
#include "MosquittoBroker.h"
#include "MqttWatcher.h"
#include "Ser2net.h"
#include "TestHelpers.h"
#include "shopnet/ShopBroker.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The service's loop: waits on the link's fd, as poll(2) in its main loop would.
std::vector<ShopCommand> WaitCommands(ShopBroker& link, size_t count,
                                      std::chrono::milliseconds limit = 5000ms) {
    std::vector<ShopCommand> got;
    const auto until = Clock::now() + limit;
    while (got.size() < count && Clock::now() < until) {
        pollfd p{link.WakeFd(), POLLIN, 0};
        if (::poll(&p, 1, 50) == 1)
            for (ShopCommand& c : link.TakeCommands())
                got.push_back(std::move(c));
    }
    return got;
}

bool NoticeSaying(ShopBroker& link, const std::string& part, std::vector<std::string>& seen,
                  std::chrono::milliseconds limit = 5000ms) {
    return WaitUntil(
        [&] {
            for (std::string& n : link.TakeNotices())
                seen.push_back(std::move(n));
            for (const std::string& n : seen)
                if (n.find(part) != std::string::npos)
                    return true;
            return false;
        },
        limit);
}

MosquittoBroker::Options WithUser(const std::string& user, const std::string& password) {
    MosquittoBroker::Options options;
    options.user = user;
    options.password = password;
    return options;
}

std::string Joined(const std::vector<std::string>& texts) {
    std::string out;
    for (const std::string& t : texts)
        out += t + "\n";
    return out;
}

class ShopBrokerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (MosquittoBroker::Program().empty())
            GTEST_SKIP() << "mosquitto is not installed (Debian package mosquitto)";
    }
    void StartServer(const MosquittoBroker::Options& options = {}) {
        server = std::make_unique<MosquittoBroker>(dir.Path(), options);
        ASSERT_TRUE(server->Running()) << server->Log();
    }
    ShopBrokerSettings Settings(const std::string& service = "dnc") const {
        ShopBrokerSettings s;
        s.host = "127.0.0.1";
        s.port = server ? server->Port() : 0;
        s.service = service;
        s.clientId = "test-" + service + "-" + std::to_string(::getpid());
        return s;
    }
    void StartLink(ShopBroker& link, const ShopBrokerSettings& settings,
                   const std::vector<std::string>& machines = {"Mill"}) {
        std::string why;
        for (const std::string& m : machines)
            ASSERT_TRUE(link.AddMachine(m, why)) << why;
        ASSERT_TRUE(link.Start(settings, why)) << why;
        ASSERT_TRUE(WaitUntil([&] { return link.Connected(); })) << Joined(link.TakeNotices());
    }

    TempDir dir;
    std::unique_ptr<MosquittoBroker> server;
};

TEST_F(ShopBrokerTest, StatesGoOutInOrderAndTheLatestStaysForLateSubscribers) {
    StartServer();
    MqttWatcher watcher(server->Port(), "sermida/dnc/#");
    ASSERT_TRUE(watcher.Ready());
    ShopBroker link;
    StartLink(link, Settings(), {"Mill 1", "Lathe/2"});

    const std::vector<std::string> states = {
        IdleState(),        ReceivingState(), SendingState(1, 3),
        SendingState(3, 3), HeldState(),      FailedState("controller stopped the line")};
    for (const std::string& s : states)
        EXPECT_TRUE(link.SetState("Mill 1", s));
    EXPECT_TRUE(link.SetState("Lathe/2", IdleState()));
    EXPECT_TRUE(link.SetProgress("Mill 1", SendProgress(3, 3)));
    const std::string state = "sermida/dnc/Mill 1/state";
    ASSERT_TRUE(watcher.WaitFor(state, states.back()));
    EXPECT_EQ(watcher.On(state), states);
    EXPECT_TRUE(watcher.WaitFor("sermida/dnc/Lathe_2/state", "idle"));

    // A dashboard opened later sees where each machine is now, and only that.
    MqttWatcher late(server->Port(), "sermida/dnc/#");
    bool retained = false;
    ASSERT_TRUE(late.WaitFor(state, states.back(), 5000ms, &retained));
    EXPECT_TRUE(retained);
    EXPECT_EQ(late.On(state).size(), 1u);
    EXPECT_TRUE(late.WaitFor("sermida/dnc/Mill 1/progress", "{\"sent\":3,\"total\":3}"));
    EXPECT_TRUE(late.WaitFor("sermida/dnc/status", "online", 5000ms, &retained));
    EXPECT_TRUE(retained);
}

TEST_F(ShopBrokerTest, ACleanStopLeavesEveryMachineAndTheServiceOffline) {
    StartServer();
    MqttWatcher watcher(server->Port(), "sermida/dnc/#");
    ASSERT_TRUE(watcher.Ready());
    {
        ShopBroker link;
        StartLink(link, Settings(), {"Mill", "Drill"});
        link.SetState("Mill", SendingState(5, 90));
        link.SetState("Drill", IdleState());
        ASSERT_TRUE(watcher.WaitFor("sermida/dnc/Drill/state", "idle"));
    }
    EXPECT_TRUE(watcher.WaitFor("sermida/dnc/Mill/state", "offline", 1000ms));
    EXPECT_TRUE(watcher.WaitFor("sermida/dnc/Drill/state", "offline", 1000ms));
    EXPECT_TRUE(watcher.WaitFor("sermida/dnc/status", "offline", 1000ms));

    MqttWatcher late(server->Port(), "sermida/dnc/#");
    bool retained = false;
    EXPECT_TRUE(late.WaitFor("sermida/dnc/Mill/state", "offline", 5000ms, &retained));
    EXPECT_TRUE(retained);
}

TEST_F(ShopBrokerTest, CommandsReachOnlyTheServiceTheyAreFor) {
    StartServer();
    MqttWatcher watcher(server->Port(), "sermida/#");
    ASSERT_TRUE(watcher.Ready());
    ShopBroker east, west;
    StartLink(east, Settings("east"));
    StartLink(west, Settings("west"));
    east.SetState("Mill", IdleState());
    west.SetState("Mill", HeldState());

    ASSERT_TRUE(watcher.Publish("sermida/east/Mill/command", "send O1234"));
    const auto eastGot = WaitCommands(east, 1);
    ASSERT_EQ(eastGot.size(), 1u);
    EXPECT_EQ(eastGot[0].machine, "Mill");
    EXPECT_EQ(eastGot[0].text, "send O1234");

    // West's own command, sent after east's: once it is there, east's would be too.
    ASSERT_TRUE(watcher.Publish("sermida/west/Mill/command", "receive"));
    const auto westGot = WaitCommands(west, 2, 1000ms);
    ASSERT_EQ(westGot.size(), 1u);
    EXPECT_EQ(westGot[0].text, "receive");
    EXPECT_TRUE(east.TakeCommands().empty());

    EXPECT_TRUE(east.Reply(eastGot[0], true));
    EXPECT_TRUE(west.Reply(westGot[0], false, "a transfer is under way"));
    EXPECT_TRUE(watcher.WaitFor("sermida/east/Mill/reply",
                                "{\"command\":\"send O1234\",\"result\":\"accepted\"}"));
    EXPECT_TRUE(watcher.WaitFor("sermida/west/Mill/reply",
                                "{\"command\":\"receive\",\"result\":\"refused\","
                                "\"reason\":\"a transfer is under way\"}"));

    // Each service's state is its own.
    MqttWatcher late(server->Port(), "sermida/#");
    EXPECT_TRUE(late.WaitFor("sermida/east/Mill/state", "idle"));
    EXPECT_TRUE(late.WaitFor("sermida/west/Mill/state", "held"));
    EXPECT_TRUE(late.WaitFor("sermida/east/status", "online"));
    EXPECT_TRUE(late.WaitFor("sermida/west/status", "online"));
}

TEST_F(ShopBrokerTest, CommandsThatCannotBeActedOnAreRefusedAndNotQueued) {
    StartServer();
    MqttWatcher watcher(server->Port(), "sermida/dnc/+/+");
    ASSERT_TRUE(watcher.Ready());
    // Left retained by a careless client before the service starts: it would
    // come back on every reconnect.
    ASSERT_TRUE(watcher.Publish("sermida/dnc/Mill/command", "send O1", true));
    ASSERT_TRUE(watcher.WaitFor("sermida/dnc/Mill/command", "send O1"));
    ShopBroker link;
    StartLink(link, Settings());

    const std::string reply = "sermida/dnc/Mill/reply";
    ASSERT_TRUE(watcher.WaitForCount(reply, 1));
    EXPECT_NE(watcher.On(reply)[0].find("retained"), std::string::npos) << watcher.On(reply)[0];
    ASSERT_TRUE(watcher.Publish("sermida/dnc/Mill/command", "", true)); // cleared: no answer

    ASSERT_TRUE(watcher.Publish("sermida/dnc/Drill/command", "receive"));
    EXPECT_TRUE(watcher.WaitForCount("sermida/dnc/Drill/reply", 1));
    ASSERT_TRUE(watcher.Publish("sermida/dnc/Mill/command", std::string(1000, 'x')));
    ASSERT_TRUE(watcher.WaitForCount(reply, 2));
    EXPECT_NE(watcher.On(reply)[1].find("longer than"), std::string::npos);

    // A flood while the service is busy: what does not fit is refused at once.
    const size_t flood = ShopBroker::kMaxWaitingCommands + 6;
    for (size_t i = 0; i < flood; ++i)
        ASSERT_TRUE(watcher.Publish("sermida/dnc/Mill/command", "receive"));
    ASSERT_TRUE(watcher.WaitForCount(reply, 2 + 6));
    EXPECT_NE(watcher.On(reply).back().find("too many"), std::string::npos);
    const auto queued = WaitCommands(link, flood, 1000ms);
    EXPECT_EQ(queued.size(), ShopBroker::kMaxWaitingCommands);
    for (const ShopCommand& c : queued)
        EXPECT_EQ(c.text, "receive");
}

// The service killed (a crash, kill -9, the power): the broker's last will
// tells the shop, since the service cannot.
TEST_F(ShopBrokerTest, AServiceThatDiesIsShownOfflineByItsWill) {
    StartServer();
    const ShopBrokerSettings settings = Settings();
    const pid_t test = ::getpid();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        DieWithTest(test);
        ShopBroker link;
        std::string why;
        if (!link.AddMachine("Mill", why) || !link.Start(settings, why) ||
            !WaitUntil([&] { return link.Connected(); }))
            ::_exit(2);
        link.SetState("Mill", SendingState(1, 9));
        for (;;)
            ::pause();
    }
    MqttWatcher watcher(server->Port(), "sermida/dnc/#");
    const bool started = watcher.WaitFor("sermida/dnc/Mill/state", "sending 1/9", 10000ms);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(started) << server->Log();
    EXPECT_TRUE(watcher.WaitFor("sermida/dnc/status", "online"));
    EXPECT_TRUE(watcher.WaitFor("sermida/dnc/status", "offline"));

    MqttWatcher late(server->Port(), "sermida/dnc/status");
    bool retained = false;
    EXPECT_TRUE(late.WaitFor("sermida/dnc/status", "offline", 5000ms, &retained));
    EXPECT_TRUE(retained);
}

TEST_F(ShopBrokerTest, ARestartedBrokerGetsTheLatestStatesBack) {
    StartServer();
    ShopBrokerSettings settings = Settings();
    settings.reconnectMaxSeconds = 1;
    ShopBroker link;
    StartLink(link, settings);
    link.SetState("Mill", SendingState(2, 5));
    link.SetProgress("Mill", SendProgress(2, 5));
    {
        MqttWatcher before(server->Port(), "sermida/dnc/#");
        ASSERT_TRUE(before.WaitFor("sermida/dnc/Mill/progress", "{\"sent\":2,\"total\":5}"));
    }

    server->Kill();
    ASSERT_TRUE(WaitUntil([&] { return !link.Connected(); }));
    // What happens while the broker is away is what the shop sees afterwards.
    EXPECT_TRUE(link.SetState("Mill", HeldState()));
    EXPECT_TRUE(link.PublishLog("Mill", "{\"event\":\"held\",\"line\":412}\n"));
    ASSERT_TRUE(server->Restart()) << server->Log();

    MqttWatcher after(server->Port(), "sermida/dnc/#");
    ASSERT_TRUE(after.Ready());
    ASSERT_TRUE(after.WaitFor("sermida/dnc/Mill/state", "held", 10000ms));
    EXPECT_EQ(after.On("sermida/dnc/Mill/state"), std::vector<std::string>{"held"});
    EXPECT_TRUE(after.WaitFor("sermida/dnc/Mill/log", "{\"event\":\"held\",\"line\":412}"));

    MqttWatcher late(server->Port(), "sermida/dnc/#");
    bool retained = false;
    EXPECT_TRUE(late.WaitFor("sermida/dnc/Mill/state", "held", 5000ms, &retained));
    EXPECT_TRUE(retained);
    EXPECT_TRUE(late.WaitFor("sermida/dnc/Mill/progress", "{\"sent\":2,\"total\":5}"));
    EXPECT_TRUE(late.WaitFor("sermida/dnc/status", "online"));

    // Commands are taken again: the subscription came back with the link.
    ASSERT_TRUE(late.Publish("sermida/dnc/Mill/command", "cancel"));
    EXPECT_EQ(WaitCommands(link, 1).size(), 1u);
}

TEST_F(ShopBrokerTest, CredentialsAreCheckedAndARefusalIsTold) {
    StartServer(WithUser("shop", "right"));
    ShopBroker good;
    ShopBrokerSettings settings = Settings();
    settings.username = "shop";
    settings.password = "right";
    StartLink(good, settings);

    ShopBroker bad;
    settings.clientId += "-bad";
    settings.password = "wrong";
    std::string why;
    ASSERT_TRUE(bad.Start(settings, why)) << why;
    std::vector<std::string> notices;
    EXPECT_TRUE(NoticeSaying(bad, "refused", notices)) << Joined(notices);
    EXPECT_FALSE(bad.Connected());
    EXPECT_TRUE(good.Connected());
}

// A CA of the test's own, and the broker's certificate for 127.0.0.1 signed
// by it; also a second CA that signed nothing. False without openssl.
bool MakeCertificates(const TempDir& dir) {
    WriteBytes(dir.File("server.ext"), "subjectAltName=IP:127.0.0.1\n");
    const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    const std::string commands =
        "(cd '" + dir.Path() + "' && openssl req -x509 -days 2" + ec +
        " -keyout ca.key -out ca.crt -subj /CN=ShopTestCA && openssl req -x509 -days 2" + ec +
        " -keyout other.key -out other.crt -subj /CN=OtherCA && openssl req" + ec +
        " -keyout server.key -out server.csr -subj /CN=127.0.0.1 && openssl x509 -req -in "
        "server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt -days 2 -extfile "
        "server.ext)";
    return std::system((commands + " >/dev/null 2>&1").c_str()) == 0;
}

TEST_F(ShopBrokerTest, TlsTakesTheBrokerSignedByTheCaAndTellsAnyOther) {
    if (std::system("openssl version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "openssl is not installed";
    ASSERT_TRUE(MakeCertificates(dir));
    MosquittoBroker::Options options;
    options.caFile = dir.File("ca.crt");
    options.certFile = dir.File("server.crt");
    options.keyFile = dir.File("server.key");
    StartServer(options);

    ShopBrokerSettings settings = Settings();
    settings.tls = true;
    settings.caFile = dir.File("ca.crt");
    ShopBroker link;
    StartLink(link, settings);

    // A broker the CA did not sign is told, and the link keeps trying.
    settings.caFile = dir.File("other.crt");
    settings.clientId += "-other";
    ShopBroker doubtful;
    std::string why;
    ASSERT_TRUE(doubtful.Start(settings, why)) << why;
    std::vector<std::string> notices;
    EXPECT_TRUE(NoticeSaying(doubtful, "certificate verify failed", notices)) << Joined(notices);
    EXPECT_FALSE(doubtful.Connected());
    EXPECT_TRUE(link.Connected());
}

// Log records written while the broker is away wait, up to the backlog, and
// go out in order once it takes the link (here: once it knows the link's user).
TEST_F(ShopBrokerTest, LogRecordsWaitForTheBrokerUpToTheBacklog) {
    StartServer(WithUser("dashboard", "pw"));
    MqttWatcher watcher(server->Port(), "sermida/dnc/+/log", "dashboard", "pw");
    ASSERT_TRUE(watcher.Ready());
    ShopBrokerSettings settings = Settings();
    settings.username = "service";
    settings.password = "pw";
    settings.logBacklog = 3;
    settings.reconnectMaxSeconds = 1;
    ShopBroker link;
    std::string why;
    ASSERT_TRUE(link.AddMachine("Mill", why));
    ASSERT_TRUE(link.Start(settings, why)) << why;
    for (int i = 1; i <= 5; ++i)
        EXPECT_TRUE(link.PublishLog("Mill", "{\"n\":" + std::to_string(i) + "}"));
    EXPECT_EQ(link.DroppedLogRecords(), 2u);
    std::vector<std::string> notices;
    EXPECT_TRUE(NoticeSaying(link, "backlog is full", notices)) << Joined(notices);

    ASSERT_TRUE(server->AddUser("service", "pw"));
    ASSERT_TRUE(WaitUntil([&] { return link.Connected(); }, 10000ms)) << server->Log();
    ASSERT_TRUE(watcher.WaitForCount("sermida/dnc/Mill/log", 3));
    EXPECT_EQ(watcher.On("sermida/dnc/Mill/log"),
              (std::vector<std::string>{"{\"n\":3}", "{\"n\":4}", "{\"n\":5}"}));
}

// The service must be able to stop (and a new one start) whatever the network
// does. Stop's own waits add up to 2 s; the limits leave room for a busy machine.
TEST_F(ShopBrokerTest, StopIsPromptWhenTheBrokerCannotBeReachedTiming) {
    const auto stopTime = [](ShopBrokerSettings settings) {
        auto link = std::make_unique<ShopBroker>();
        std::string why;
        link->AddMachine("Mill", why);
        EXPECT_TRUE(link->Start(settings, why)) << why;
        std::this_thread::sleep_for(300ms);
        link->SetState("Mill", IdleState());
        EXPECT_FALSE(link->Connected());
        const auto start = Clock::now();
        link.reset();
        return SecondsSince(start);
    };
    ShopBrokerSettings settings = Settings();
    settings.port = FreeTcpPort(); // nothing listens
    EXPECT_LT(stopTime(settings), 1.0);

    BlackHole hole;
    ASSERT_GT(hole.port, 0);
    settings.port = hole.port;
    EXPECT_LT(stopTime(settings), 1.0);

    settings.host = "no-such-broker.invalid";
    {
        ShopBroker link;
        std::string why;
        ASSERT_TRUE(link.Start(settings, why)) << why;
        std::vector<std::string> notices;
        EXPECT_TRUE(NoticeSaying(link, "cannot be resolved", notices)) << Joined(notices);
    }

    // A broker that hangs once the link is up: the offline states find no
    // answer, and Stop gives up on them.
    StartServer();
    auto link = std::make_unique<ShopBroker>();
    StartLink(*link, Settings());
    if (HasFatalFailure())
        return;
    link->SetState("Mill", SendingState(1, 2));
    server->Freeze();
    const auto start = Clock::now();
    link.reset();
    EXPECT_LT(SecondsSince(start), 3.0);
}

} // namespace
