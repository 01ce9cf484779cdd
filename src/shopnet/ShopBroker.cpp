#include "shopnet/ShopBroker.h"

#include <mosquitto.h>

#include <algorithm>

namespace {

using namespace std::chrono_literals;

constexpr auto kAckWait = 1500ms;
constexpr int kQos = 1;

std::string WithoutLineEnd(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

} // namespace

ShopBroker::ShopBroker() = default;

ShopBroker::~ShopBroker() {
    Stop();
}

bool ShopBroker::Start(const ShopBrokerSettings& wanted, std::string& why) {
    if (session.Handle()) {
        why = "the broker link is already started";
        return false;
    }
    if (!CheckShopBrokerSettings(wanted, why))
        return false;
    settings = wanted;
    if (settings.clientId.empty())
        settings.clientId = DefaultClientId(settings.service);
    topics = ShopTopics(settings.prefix, settings.service);
    // The session is a clean one: commands sent while the service was away are
    // not delivered when it returns, hours later, to a machine in another state.
    const MqttSession::Will will{topics.Status(), OfflineState(), kQos, true};
    return session.Start(settings, settings.clientId, &will, why);
}

void ShopBroker::Stop() {
    if (!session.Running())
        return;
    {
        std::lock_guard<std::mutex> hold(ackLock);
        collectingAcks = true;
        ackedMids.clear();
    }
    std::vector<int> mids;
    {
        std::lock_guard<std::mutex> hold(lock);
        for (auto& [topicName, machine] : machines) {
            machine.state = OfflineState();
            int mid = 0;
            if (connected.load() &&
                Publish(topics.State(topicName), machine.state, true, &mid) == MOSQ_ERR_SUCCESS)
                mids.push_back(mid);
        }
        int mid = 0;
        if (connected.load() &&
            Publish(topics.Status(), OfflineState(), true, &mid) == MOSQ_ERR_SUCCESS)
            mids.push_back(mid);
    }
    {
        std::unique_lock<std::mutex> hold(ackLock);
        acked.wait_for(hold, kAckWait, [&] {
            return !connected.load() || std::all_of(mids.begin(), mids.end(), [&](int mid) {
                return ackedMids.count(mid) > 0;
            });
        });
        collectingAcks = false;
    }
    session.Stop();
}

bool ShopBroker::AddMachine(const std::string& name, std::string& why) {
    const std::string topicName = MachineTopicName(name);
    std::lock_guard<std::mutex> hold(lock);
    const auto found = machines.find(topicName);
    if (found != machines.end()) {
        if (found->second.name == name)
            return true;
        why = "machines \"" + found->second.name + "\" and \"" + name +
              "\" would share the topic name " + topicName;
        return false;
    }
    machines[topicName].name = name;
    return true;
}

ShopBroker::Machine* ShopBroker::Find(const std::string& name) {
    const auto found = machines.find(MachineTopicName(name));
    return found != machines.end() && found->second.name == name ? &found->second : nullptr;
}

bool ShopBroker::SetState(const std::string& machine, const std::string& state) {
    std::lock_guard<std::mutex> hold(lock);
    Machine* m = Find(machine);
    if (!m)
        return false;
    if (m->state == state)
        return true;
    m->state = state;
    if (connected.load())
        Publish(topics.State(MachineTopicName(machine)), state, true);
    return true;
}

bool ShopBroker::SetProgress(const std::string& machine, const std::string& progressJson) {
    std::lock_guard<std::mutex> hold(lock);
    Machine* m = Find(machine);
    if (!m)
        return false;
    if (m->progress == progressJson)
        return true;
    m->progress = progressJson;
    if (connected.load())
        Publish(topics.Progress(MachineTopicName(machine)), progressJson, true);
    return true;
}

bool ShopBroker::PublishLog(const std::string& machine, const std::string& jsonLine) {
    std::lock_guard<std::mutex> hold(lock);
    if (!Find(machine))
        return false;
    LogRecord record{topics.Log(MachineTopicName(machine)), WithoutLineEnd(jsonLine)};
    if (connected.load())
        return Publish(record.topic, record.line, false) == MOSQ_ERR_SUCCESS;
    if (settings.logBacklog == 0) {
        ++droppedLogs;
        return false;
    }
    if (backlog.size() >= size_t(settings.logBacklog)) {
        backlog.pop_front();
        ++droppedLogs;
        if (!backlogOverflowTold) {
            backlogOverflowTold = true;
            inbox.PushNotice("broker unreachable: the log backlog is full, the oldest records "
                             "are dropped");
        }
    }
    backlog.push_back(std::move(record));
    return true;
}

bool ShopBroker::Reply(const ShopCommand& command, bool accepted, const std::string& reason) {
    {
        std::lock_guard<std::mutex> hold(lock);
        if (!Find(command.machine))
            return false;
    }
    if (!connected.load())
        return false;
    const std::string payload =
        accepted ? AcceptedReply(command.text) : RefusedReply(command.text, reason);
    return Publish(topics.Reply(MachineTopicName(command.machine)), payload, false) ==
           MOSQ_ERR_SUCCESS;
}

int ShopBroker::Publish(const std::string& topic, const std::string& payload, bool retain,
                        int* mid) {
    return mosquitto_publish(session.Handle(), mid, topic.c_str(), int(payload.size()),
                             payload.data(), kQos, retain);
}

void ShopBroker::PublishReply(const std::string& topicName, const std::string& payload) {
    Publish(topics.Reply(topicName), payload, false);
}

// Network thread, inside the CONNACK's handling: what is published here goes
// out after anything libmosquitto still held from the last connection, so the
// latest state is the one that stays retained.
void ShopBroker::LinkUp() {
    size_t flushed = 0;
    {
        std::lock_guard<std::mutex> hold(lock);
        connected = true;
        const std::string commands = topics.AllCommands();
        mosquitto_subscribe(session.Handle(), nullptr, commands.c_str(), kQos);
        Publish(topics.Status(), "online", true);
        for (const auto& [topicName, machine] : machines) {
            if (!machine.state.empty())
                Publish(topics.State(topicName), machine.state, true);
            if (!machine.progress.empty())
                Publish(topics.Progress(topicName), machine.progress, true);
        }
        for (const LogRecord& record : backlog)
            Publish(record.topic, record.line, false);
        flushed = backlog.size();
        backlog.clear();
        backlogOverflowTold = false;
    }
    std::string text = "connected to broker " + session.Where();
    if (flushed > 0)
        text += ", " + std::to_string(flushed) + " waiting log records sent";
    inbox.PushNotice(text);
}

// Called from libmosquitto's write path too (see MqttSessionOwner): takes no
// lock of ours but ackLock.
void ShopBroker::LinkDown() {
    connected = false;
    std::lock_guard<std::mutex> hold(ackLock);
    acked.notify_all();
}

void ShopBroker::Published(int mid) {
    std::lock_guard<std::mutex> hold(ackLock);
    if (!collectingAcks)
        return;
    ackedMids.insert(mid);
    acked.notify_all();
}

void ShopBroker::Message(const mosquitto_message& message) {
    const std::string topicName = message.topic ? topics.CommandMachine(message.topic) : "";
    if (topicName.empty())
        return;
    const std::string payload =
        message.payload && message.payloadlen > 0
            ? std::string(static_cast<const char*>(message.payload), size_t(message.payloadlen))
            : std::string();
    // An empty payload is how a retained command is cleared: nothing to answer.
    if (payload.empty())
        return;
    std::string text, why;
    const bool wellFormed = CommandText(payload, text, why);
    if (message.retain) {
        PublishReply(topicName, RefusedReply(text, "a retained command is not acted on: "
                                                   "publish commands without retain"));
        return;
    }
    if (!wellFormed) {
        PublishReply(topicName, RefusedReply(text, why));
        return;
    }
    std::string name;
    {
        std::lock_guard<std::mutex> hold(lock);
        const auto found = machines.find(topicName);
        if (found != machines.end())
            name = found->second.name;
    }
    if (name.empty()) {
        PublishReply(topicName, RefusedReply(text, "no machine " + topicName + " here"));
        return;
    }
    if (!inbox.PushCommand({name, text}))
        PublishReply(topicName, RefusedReply(text, "too many commands are waiting"));
}
