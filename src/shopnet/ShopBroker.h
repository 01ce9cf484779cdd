#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "shopnet/MqttSession.h"
#include "shopnet/ShopCommand.h"
#include "shopnet/ShopInbox.h"
#include "shopnet/ShopSettings.h"
#include "shopnet/ShopTopics.h"

struct mosquitto;
struct mosquitto_message;

// The DNC service's link to the shop's MQTT broker (topics in ShopTopics.h,
// commands in ShopCommand.h). It publishes what the service says of each
// machine and hands the commands it takes to the service; it acts on none.
//
// The link keeps itself up: it connects in the background, retries with
// doubling waits, and on every connect subscribes again and publishes the
// latest state and progress of every machine again (a restarted broker has
// lost them). While the broker is unreachable, states and progress are only
// kept (the latest of each is what goes out on connect) and log records wait
// in a backlog of settings.logBacklog, the oldest dropped first. Connection
// changes and failures come as notices.
//
// Threads: every public call from one thread, the service's. The network runs
// on the session's thread (MqttSession); what it takes reaches the service
// through the inbox (WakeFd, TakeCommands, TakeNotices).
class ShopBroker {
public:
    ShopBroker();
    ~ShopBroker(); // Stop()
    ShopBroker(const ShopBroker&) = delete;
    ShopBroker& operator=(const ShopBroker&) = delete;

    // Starts connecting; false with the reason for settings that cannot work
    // (a missing TLS file, no host, ...). Does not wait for the broker:
    // refusals and unreachable brokers are told as notices.
    bool Start(const ShopBrokerSettings& settings, std::string& why);
    // The clean end: every machine's state "offline" and the service's
    // status "offline", waited for up to 1.5 s, then a disconnect. Returns
    // within about 2 s whether the broker answers or not (a host name
    // lookup under way may add the resolver's own time-out).
    void Stop();

    // A machine to report on; false when its topic name is another's
    // (see MachineTopicName). Adding one twice is harmless.
    bool AddMachine(const std::string& name, std::string& why);
    // These return false for a machine not added, or when the broker took
    // nothing (a reply or a log record that could not be sent or kept).
    bool SetState(const std::string& machine, const std::string& state);
    bool SetProgress(const std::string& machine, const std::string& progressJson);
    bool PublishLog(const std::string& machine, const std::string& jsonLine);
    // The answer to a command taken from TakeCommands; not kept while the
    // broker is unreachable (a late answer misleads more than none).
    bool Reply(const ShopCommand& command, bool accepted, const std::string& reason = {});

    int WakeFd() const { return inbox.WakeFd(); }
    std::vector<ShopCommand> TakeCommands() { return inbox.TakeCommands(); }
    std::vector<std::string> TakeNotices() { return inbox.TakeNotices(); }

    bool Connected() const { return connected.load(); }
    uint64_t DroppedLogRecords() const { return droppedLogs.load(); }

    // Commands waiting for the service beyond this are refused at once.
    static constexpr size_t kMaxWaitingCommands = 64;

private:
    struct Machine {
        std::string name; // the service's own
        std::string state, progress;
    };
    struct LogRecord {
        std::string topic, line;
    };

    // What the session tells the link, on the network thread.
    class SessionEvents final : public MqttSessionOwner {
    public:
        explicit SessionEvents(ShopBroker& broker) : broker(broker) {}
        void LinkUp() override { broker.LinkUp(); }
        void LinkDown() override { broker.LinkDown(); }
        void LinkFailed(const std::string& reason) override {
            broker.inbox.PushNotice("broker " + broker.session.Where() + ": " + reason);
        }
        void Message(const mosquitto_message& message) override { broker.Message(message); }
        void Published(int mid) override { broker.Published(mid); }

    private:
        ShopBroker& broker;
    };

    Machine* Find(const std::string& name); // lock held
    int Publish(const std::string& topic, const std::string& payload, bool retain,
                int* mid = nullptr);
    void PublishReply(const std::string& topicName, const std::string& payload);

    void LinkUp();
    void LinkDown();
    void Message(const mosquitto_message& message);
    void Published(int mid);

    ShopBrokerSettings settings;
    ShopTopics topics{"", ""};
    ShopInbox inbox{kMaxWaitingCommands};
    std::atomic<bool> connected{false};
    std::atomic<uint64_t> droppedLogs{0};

    // Publishing happens under `lock`, so that a state set while a connect
    // republishes cannot be overtaken by the older one. The network thread
    // takes it only outside libmosquitto's write path (in on_connect and
    // on_message); on_disconnect and on_publish never take it.
    std::mutex lock;
    std::map<std::string, Machine> machines; // by topic name
    std::deque<LogRecord> backlog;           // invariant: size() <= logBacklog
    bool backlogOverflowTold = false;

    // Stop waits for the broker to acknowledge the final publishes.
    std::mutex ackLock;
    std::condition_variable acked;
    bool collectingAcks = false;
    std::set<int> ackedMids;

    // Last, so that its thread is gone before anything it calls into.
    SessionEvents events{*this};
    MqttSession session{events};
};
