// The desktop's view of the shop: every DNC service on a real mosquitto on
// 127.0.0.1, watched read-only. The services are real broker links
// (ShopBroker), as `sermida-cli serve` runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "BlackHole.h"
#include "MosquittoBroker.h"
#include "MqttWatcher.h"
#include "Ser2net.h"
#include "TestHelpers.h"
#include "shopnet/ShopBroker.h"
#include "shopnet/ShopWatcher.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Kind = ShopWatchChange::Kind;

// The reader's side, as the dialog's timer reads it: every change taken so far.
class Reader {
public:
    explicit Reader(ShopWatcher& watcher) : watcher(watcher) {}
    // Waits for a change that pred accepts among all taken so far.
    template <class Pred>
    const ShopWatchChange* WaitFor(Pred pred, std::chrono::milliseconds limit = 5000ms) {
        const ShopWatchChange* found = nullptr;
        WaitUntil(
            [&] {
                for (ShopWatchChange& c : watcher.TakeChanges())
                    seen.push_back(std::move(c));
                const auto it = std::find_if(seen.begin(), seen.end(), pred);
                found = it == seen.end() ? nullptr : &*it;
                return found != nullptr;
            },
            limit);
        return found;
    }
    const ShopWatchChange* State(const std::string& service, const std::string& machine,
                                 const std::string& state,
                                 std::chrono::milliseconds limit = 5000ms) {
        return WaitFor(
            [&](const ShopWatchChange& c) {
                return c.kind == Kind::Machine && c.machine.service == service &&
                       c.machine.machine == machine && c.machine.state == state;
            },
            limit);
    }
    std::string Texts() const {
        std::string out;
        for (const ShopWatchChange& c : seen)
            out += std::to_string(int(c.kind)) + " " + c.service + c.machine.service + "/" +
                   c.machine.machine + " " + c.machine.state + c.text + "\n";
        return out;
    }

    std::vector<ShopWatchChange> seen;

private:
    ShopWatcher& watcher;
};

std::string StateOf(const ShopWatcher& watcher, const std::string& service,
                    const std::string& machine) {
    for (const ShopMachine& m : watcher.Machines())
        if (m.service == service && m.machine == machine)
            return m.state;
    return "<none>";
}

class ShopWatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (MosquittoBroker::Program().empty())
            GTEST_SKIP() << "mosquitto is not installed (Debian package mosquitto)";
    }
    void StartServer() {
        server = std::make_unique<MosquittoBroker>(dir.Path());
        ASSERT_TRUE(server->Running()) << server->Log();
    }
    ShopBrokerSettings Settings(const std::string& service = "dnc") const {
        ShopBrokerSettings s;
        s.host = "127.0.0.1";
        s.port = server ? server->Port() : FreeTcpPort();
        s.prefix = "plant2/sermida";
        s.service = service;
        s.reconnectMaxSeconds = 1;
        return s;
    }
    // The watcher on the test's broker, its link up.
    void Connect(ShopWatcher& watcher) {
        std::string why;
        ASSERT_TRUE(watcher.Start(Settings(), why)) << why;
        ASSERT_TRUE(WaitUntil([&] { return watcher.LinkUp(); }));
    }
    // A service with its machines, connected.
    std::unique_ptr<ShopBroker> Service(const std::string& name,
                                        const std::vector<std::string>& machines,
                                        ShopBrokerSettings settings) {
        auto link = std::make_unique<ShopBroker>();
        std::string why;
        for (const std::string& m : machines)
            EXPECT_TRUE(link->AddMachine(m, why)) << why;
        settings.service = name;
        EXPECT_TRUE(link->Start(settings, why)) << why;
        EXPECT_TRUE(WaitUntil([&] { return link->Connected(); }));
        return link;
    }
    std::unique_ptr<ShopBroker> Service(const std::string& name,
                                        const std::vector<std::string>& machines) {
        return Service(name, machines, Settings(name));
    }

    TempDir dir;
    std::unique_ptr<MosquittoBroker> server;
};

TEST_F(ShopWatcherTest, SeesEveryServiceOnTheBrokerThenEachChange) {
    StartServer();
    auto east = Service("east", {"Mill 1", "Lathe/2"});
    auto west = Service("west", {"Mill 1"});
    ShopBrokerSettings elsewhere = Settings("north");
    elsewhere.prefix = "plant3";
    auto north = Service("north", {"Drill"}, elsewhere);
    east->SetState("Mill 1", SendingState(1, 90));
    east->SetState("Lathe/2", IdleState());
    west->SetState("Mill 1", FailedState("controller stopped the line"));
    north->SetState("Drill", IdleState());
    {
        // Once a late client has them, the broker holds them.
        MqttWatcher late(server->Port(), "plant2/sermida/+/+/state");
        ASSERT_TRUE(late.WaitFor("plant2/sermida/west/Mill 1/state",
                                 "failed: controller stopped the line"));
    }

    // Opened later: what the broker holds, as it was before the watcher came.
    const auto before = std::chrono::system_clock::now();
    ShopWatcher watcher;
    std::string why;
    ASSERT_TRUE(watcher.Start(Settings("east"), why)) << why;
    Reader reader(watcher);
    ASSERT_TRUE(reader.State("west", "Mill 1", "failed: controller stopped the line"))
        << reader.Texts();
    ASSERT_TRUE(reader.State("east", "Lathe_2", "idle")) << reader.Texts();
    ASSERT_TRUE(reader.State("east", "Mill 1", "sending 1/90")) << reader.Texts();
    const std::vector<ShopMachine> shown = watcher.Machines();
    ASSERT_EQ(shown.size(), 3u); // the other prefix's service is not this shop's
    EXPECT_EQ(shown[0].service + "/" + shown[0].machine, "east/Lathe_2");
    EXPECT_EQ(shown[1].service + "/" + shown[1].machine, "east/Mill 1");
    EXPECT_EQ(shown[2].service + "/" + shown[2].machine, "west/Mill 1");
    for (const ShopMachine& m : shown) {
        EXPECT_FALSE(m.changeSeen) << m.machine << ": the change was before the watcher came";
        EXPECT_GE(m.changed, before);
    }
    EXPECT_TRUE(reader.WaitFor([](const ShopWatchChange& c) {
        return c.kind == Kind::Service && c.service == "east" && c.text == "online";
    }));
    EXPECT_TRUE(watcher.LinkUp());
    EXPECT_EQ(watcher.LinkProblem(), "");

    // A change as it happens: seen, with the time it was seen.
    const auto sent = std::chrono::system_clock::now();
    east->SetState("Mill 1", SendingState(45, 90));
    const ShopWatchChange* change = reader.State("east", "Mill 1", "sending 45/90");
    ASSERT_TRUE(change) << reader.Texts();
    EXPECT_TRUE(change->machine.changeSeen);
    EXPECT_GE(change->machine.changed, sent);
    EXPECT_LE(change->machine.changed, std::chrono::system_clock::now());
    EXPECT_EQ(StateOf(watcher, "east", "Mill 1"), "sending 45/90");

    // A service stopping: its status and its machines go offline.
    west.reset();
    EXPECT_TRUE(reader.WaitFor([](const ShopWatchChange& c) {
        return c.kind == Kind::Service && c.service == "west" && c.text == "offline";
    })) << reader.Texts();
    EXPECT_TRUE(reader.State("west", "Mill 1", "offline")) << reader.Texts();
    EXPECT_EQ(watcher.Services().at("west"), "offline");
    EXPECT_EQ(watcher.Services().at("east"), "online");
    EXPECT_EQ(StateOf(watcher, "east", "Mill 1"), "sending 45/90");
}

// The watcher reads the service's config, client_id included: it must not
// take the service's place on the broker, and it says nothing there.
TEST_F(ShopWatcherTest, WatchingBesideTheServiceNeitherDisturbsItNorPublishes) {
    StartServer();
    MqttWatcher spy(server->Port(), "#");
    ASSERT_TRUE(spy.Ready());
    ShopBrokerSettings settings = Settings("cell-a"); // no client_id: the default one
    ShopWatcher first;
    std::string why;
    ASSERT_TRUE(first.Start(settings, why)) << why;
    ASSERT_TRUE(WaitUntil([&] { return first.LinkUp(); }));
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(spy.All().empty()) << spy.All()[0].topic;

    auto service = Service("cell-a", {"Mill"}, settings);
    settings.clientId = DefaultClientId("cell-a"); // the service's, named in the config
    ShopWatcher second;
    ASSERT_TRUE(second.Start(settings, why)) << why;
    Reader reader(second);
    service->SetState("Mill", HeldState());
    ASSERT_TRUE(reader.State("cell-a", "Mill", "held")) << reader.Texts();
    service->SetState("Mill", IdleState());
    ASSERT_TRUE(reader.State("cell-a", "Mill", "idle")) << reader.Texts();
    EXPECT_EQ(StateOf(first, "cell-a", "Mill"), "idle");
    // One connect, and never thrown off since.
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(service->Connected());
    std::string notices;
    for (const std::string& n : service->TakeNotices())
        notices += n + "\n";
    EXPECT_EQ(notices, "connected to broker 127.0.0.1:" + std::to_string(server->Port()) + "\n");
    first.Stop();
    second.Stop();
    for (const MqttWatcher::Seen& s : spy.All())
        EXPECT_EQ(s.topic.rfind("plant2/sermida/cell-a/", 0), 0u)
            << s.topic << ": not the service's";
}

// Anyone may publish on the shop's topics: what is not a service's is left
// out, what is shown is made fit to show, and a cleared state goes away.
TEST_F(ShopWatcherTest, WhatOthersPublishThereIsCleanedOrLeftOut) {
    StartServer();
    MqttWatcher other(server->Port(), "nothing/#");
    ASSERT_TRUE(other.Ready());
    ShopWatcher watcher;
    Connect(watcher);
    Reader reader(watcher);
    const std::string base = "plant2/sermida/";
    other.Publish(base + "x/Mill/state", "held\r\n\xFF" + std::string(1000, 'a'));
    other.Publish(base + std::string(300, 's') + "/Mill/state", "idle");
    other.Publish(base + "x/Mill/progress", "{\"sent\":1}");
    other.Publish(base + "x/a/b/state", "idle");
    other.Publish(base + "x//state", "idle");
    other.Publish(base + "x/Drill/state", "receiving");
    ASSERT_TRUE(reader.State("x", "Drill", "receiving")) << reader.Texts();

    const std::vector<ShopMachine> shown = watcher.Machines();
    ASSERT_EQ(shown.size(), 2u) << reader.Texts();
    const std::string& state = shown[1].state;
    EXPECT_EQ(state.substr(0, 9), "held  \xEF\xBF\xBD");
    EXPECT_LE(state.size(), ShopWatcher::kMaxTextBytes + 3);
    EXPECT_EQ(state.substr(state.size() - 3), "...");

    other.Publish(base + "x/Drill/state", "", true); // cleared
    EXPECT_TRUE(reader.WaitFor([](const ShopWatchChange& c) {
        return c.kind == Kind::MachineGone && c.machine.machine == "Drill";
    })) << reader.Texts();
    EXPECT_EQ(watcher.Machines().size(), 1u);
}

// A reader that stops reading (a dialog hidden for a shift) costs a bounded
// queue; it is then told to read the table anew, and misses nothing.
TEST_F(ShopWatcherTest, AReaderThatFallsBehindIsToldToReadTheTableAgain) {
    StartServer();
    MqttWatcher other(server->Port(), "nothing/#");
    ASSERT_TRUE(other.Ready());
    ShopWatcher watcher;
    Connect(watcher);
    // In rounds, each waited for: the broker drops what queues up for a client
    // beyond its own limit.
    const size_t count = ShopWatcher::kMaxChanges + 10, round = 500;
    for (size_t sent = 0; sent < count;) {
        const size_t upTo = std::min(count, sent + round);
        for (++sent; sent <= upTo; ++sent)
            ASSERT_TRUE(other.Publish("plant2/sermida/x/Mill/state", SendingState(sent, count)));
        sent = upTo;
        ASSERT_TRUE(WaitUntil(
            [&] { return StateOf(watcher, "x", "Mill") == SendingState(upTo, count); }, 10000ms))
            << StateOf(watcher, "x", "Mill");
    }
    const std::vector<ShopWatchChange> changes = watcher.TakeChanges();
    ASSERT_FALSE(changes.empty());
    EXPECT_LE(changes.size(), ShopWatcher::kMaxChanges);
    EXPECT_EQ(changes.front().kind, Kind::Reset);
    EXPECT_EQ(changes.back().machine.state, SendingState(count, count));
}

// The dialog keeps retrying, and says why it cannot connect meanwhile.
TEST_F(ShopWatcherTest, ABrokerThatGoesAwayIsToldAndFoundAgain) {
    StartServer();
    auto service = Service("east", {"Mill"});
    service->SetState("Mill", IdleState());
    ShopWatcher watcher;
    std::string why;
    ASSERT_TRUE(watcher.Start(Settings(), why)) << why;
    Reader reader(watcher);
    ASSERT_TRUE(reader.State("east", "Mill", "idle")) << reader.Texts();

    server->Kill();
    EXPECT_TRUE(reader.WaitFor([](const ShopWatchChange& c) {
        return c.kind == Kind::Link && !c.up && !c.text.empty();
    })) << reader.Texts();
    EXPECT_FALSE(watcher.LinkUp());
    EXPECT_NE(watcher.LinkProblem(), "");
    EXPECT_EQ(watcher.Where(), "127.0.0.1:" + std::to_string(server->Port()));
    // What was seen stays, for the dialog to show as it last was.
    EXPECT_EQ(StateOf(watcher, "east", "Mill"), "idle");

    ASSERT_TRUE(server->Restart()) << server->Log();
    ASSERT_TRUE(WaitUntil([&] { return watcher.LinkUp() && service->Connected(); }, 10000ms));
    EXPECT_EQ(watcher.LinkProblem(), "");
    service->SetState("Mill", ReceivingState());
    EXPECT_TRUE(reader.State("east", "Mill", "receiving", 10000ms)) << reader.Texts();
}

// Closing the dialog, or the program, never waits on the network.
TEST_F(ShopWatcherTest, ABrokerThatIsNotThereIsToldAndStopIsPromptTiming) {
    const auto stopTime = [](const ShopBrokerSettings& settings, bool toldFirst) {
        auto watcher = std::make_unique<ShopWatcher>();
        std::string why;
        EXPECT_TRUE(watcher->Start(settings, why)) << why;
        if (toldFirst) {
            EXPECT_TRUE(WaitUntil([&] { return !watcher->LinkProblem().empty(); }));
            EXPECT_NE(watcher->LinkProblem().find("refused"), std::string::npos)
                << watcher->LinkProblem();
        } else {
            std::this_thread::sleep_for(300ms);
        }
        EXPECT_FALSE(watcher->LinkUp());
        const auto start = Clock::now();
        watcher.reset();
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    ShopBrokerSettings settings = Settings(); // nothing listens on its port
    EXPECT_LT(stopTime(settings, true), 1.0);

    BlackHole hole;
    ASSERT_GT(hole.port, 0);
    settings.port = hole.port;
    EXPECT_LT(stopTime(settings, false), 1.0);

    // Settings no connection can come of are refused at once.
    ShopWatcher watcher;
    std::string why;
    settings.prefix = "plant2/+";
    EXPECT_FALSE(watcher.Start(settings, why));
    EXPECT_NE(why.find("prefix"), std::string::npos) << why;
}

} // namespace
