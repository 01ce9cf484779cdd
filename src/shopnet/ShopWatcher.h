#pragma once
#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "shopnet/MqttSession.h"
#include "shopnet/ShopSettings.h"

struct mosquitto_message;

// A machine as the shop's broker last told of it.
struct ShopMachine {
    std::string service, machine; // topic levels (see ShopWatcher::Message)
    std::string state;            // the service's state text, made fit to show
    // When this watcher saw the state change. For a state the broker already
    // held when the watcher connected (a retained one), the change happened at
    // some time before: changeSeen is false.
    std::chrono::system_clock::time_point changed;
    bool changeSeen = false;
};

// One change, as the watcher hands it to its reader.
struct ShopWatchChange {
    enum class Kind {
        Machine,     // machine: its state now
        MachineGone, // machine.service, machine.machine: the state was cleared
        Service,     // service, text: its status ("online", "offline"; empty: cleared)
        Link,        // up, text: the link to the broker (text: why not up, or what is wrong)
        Reset,       // changes were lost to the queue's limit: read Machines(), Services()
    };
    Kind kind = Kind::Reset;
    ShopMachine machine;
    std::string service, text;
    bool up = false;
};

// A read-only view of every DNC service on the broker: it subscribes to
// every service's status and every machine's state under the prefix and
// keeps a table of them. It never publishes (no will, no status of its own),
// and connects with a client id of its own, so that it cannot throw a
// service of the same config off the broker. The link keeps itself up as
// MqttSession does. Texts from the broker are made fit to show (ShownText);
// a topic level that is not (too long, control characters) is no service's,
// and its messages are left out.
//
// Threads: Start, Stop and the destructor from one thread; the readers
// (TakeChanges, Machines, Services, Link*) from any thread. The network runs on
// the session's thread and only queues what it takes: nothing there waits on
// a reader.
class ShopWatcher {
public:
    ShopWatcher();
    ~ShopWatcher(); // Stop()
    ShopWatcher(const ShopWatcher&) = delete;
    ShopWatcher& operator=(const ShopWatcher&) = delete;

    // Starts watching; false with the reason for settings that cannot work.
    // Does not wait for the broker: an unreachable one is told as a Link change.
    bool Start(const ShopBrokerSettings& settings, std::string& why);
    // Returns within about 0.6 s whatever the network does (a host name
    // lookup under way may add the resolver's own time-out).
    void Stop();

    // The changes since the last call, oldest first.
    std::vector<ShopWatchChange> TakeChanges();
    // The table now, by service, then machine.
    std::vector<ShopMachine> Machines() const;
    // Each service's status, by name.
    std::map<std::string, std::string> Services() const;
    bool LinkUp() const;
    // Why the link is not up, or what is wrong with it (a refused
    // subscription), in libmosquitto's words; empty when all is well or while
    // the first connect is under way.
    std::string LinkProblem() const;
    // The broker's address as "HOST:PORT".
    std::string Where() const;
    // Machines beyond kMaxMachines are not kept; true once one was not.
    bool Truncated() const;

    // Bounds against a broker (or a client publishing there) that sends
    // without end: the table, the queue of changes, and each text kept.
    static constexpr size_t kMaxMachines = 4096;
    static constexpr size_t kMaxChanges = 10000;
    static constexpr size_t kMaxTextBytes = 256;
    static constexpr size_t kMaxNameBytes = 128;

private:
    class SessionEvents final : public MqttSessionOwner {
    public:
        explicit SessionEvents(ShopWatcher& watcher) : watcher(watcher) {}
        void LinkUp() override { watcher.Connected(); }
        void LinkDown() override { watcher.Disconnected(); }
        void LinkFailed(const std::string& reason) override { watcher.Failed(reason); }
        void Message(const mosquitto_message& message) override { watcher.Message(message); }
        void Subscribed(int mid, int count, const int* granted) override {
            watcher.Subscribed(mid, count, granted);
        }

    private:
        ShopWatcher& watcher;
    };

    void Connected();
    void Disconnected();
    void Failed(const std::string& text);
    void Message(const mosquitto_message& message);
    void Subscribed(int mid, int count, const int* granted);
    void Push(ShopWatchChange change);              // lock held
    void SetLink(bool up, const std::string& text); // lock held

    std::string prefix;
    std::string where;

    // Guards everything below, and is never held while calling libmosquitto
    // (on_disconnect comes from inside its write path).
    mutable std::mutex lock;
    std::map<std::pair<std::string, std::string>, ShopMachine> machines;
    std::map<std::string, std::string> services;
    std::deque<ShopWatchChange> changes; // invariant: size() <= kMaxChanges
    bool up = false;
    std::string problem;
    bool truncated = false;

    // Network thread only: the filter of each SUBACK still to come.
    std::map<int, std::string> subscribing;

    // Last, so that its thread is gone before anything it calls into.
    SessionEvents events{*this};
    MqttSession session{events};
};
