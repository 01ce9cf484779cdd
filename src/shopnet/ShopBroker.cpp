#include "shopnet/ShopBroker.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "shopnet/MosquittoLib.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long the network thread waits in one turn: the bound on noticing Stop.
constexpr int kLoopMs = 100;
constexpr auto kAckWait = 1500ms;
constexpr auto kDisconnectWait = 500ms;
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
    if (mosq)
        mosquitto_destroy(mosq);
}

bool ShopBroker::Start(const ShopBrokerSettings& wanted, std::string& why) {
    if (mosq) {
        why = "the broker link is already started";
        return false;
    }
    if (!CheckShopBrokerSettings(wanted, why))
        return false;
    settings = wanted;
    if (settings.clientId.empty())
        settings.clientId = DefaultClientId(settings.service);
    topics = ShopTopics(settings.prefix, settings.service);

    EnsureMosquittoLib();
    // A clean session: commands sent while the service was away are not
    // delivered when it returns, hours later, to a machine in another state.
    mosq = mosquitto_new(settings.clientId.c_str(), true, this);
    if (!mosq) {
        why = std::string("cannot create the MQTT client: ") + std::strerror(errno);
        return false;
    }
    // Our own thread runs the loop; publishes from the service's thread only queue.
    mosquitto_threaded_set(mosq, true);
    mosquitto_connect_callback_set(mosq, &ShopBroker::OnConnect);
    mosquitto_disconnect_callback_set(mosq, &ShopBroker::OnDisconnect);
    mosquitto_message_callback_set(mosq, &ShopBroker::OnMessage);
    mosquitto_publish_callback_set(mosq, &ShopBroker::OnPublish);
    mosquitto_log_callback_set(mosq, &ShopBroker::OnLog);

    const std::string status = topics.Status();
    int rc = mosquitto_will_set(mosq, status.c_str(), int(std::strlen(OfflineState())),
                                OfflineState(), kQos, true);
    if (rc == MOSQ_ERR_SUCCESS && !settings.username.empty())
        rc = mosquitto_username_pw_set(mosq, settings.username.c_str(),
                                       settings.password.empty() ? nullptr
                                                                 : settings.password.c_str());
    if (rc == MOSQ_ERR_SUCCESS && settings.tls)
        rc = mosquitto_tls_set(mosq, settings.caFile.c_str(), nullptr,
                               settings.certFile.empty() ? nullptr : settings.certFile.c_str(),
                               settings.keyFile.empty() ? nullptr : settings.keyFile.c_str(),
                               nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
        why = "MQTT client set-up: " + MosquittoErrorText(rc, errno);
        mosquitto_destroy(mosq);
        mosq = nullptr;
        return false;
    }
    network = std::thread(&ShopBroker::Run, this);
    return true;
}

// The network thread. libmosquitto's own thread (loop_start) is not used: it
// cannot be stopped while a TCP connect is pending (it waits out the keepalive,
// and its reconnects are blocking connects), and it gives up for good on a
// TLS failure. Here every wait is bounded by kLoopMs or the stop signal.
void ShopBroker::Run() {
    int rc = mosquitto_connect_async(mosq, settings.host.c_str(), settings.port,
                                     settings.keepaliveSeconds);
    int savedErrno = errno;
    std::chrono::seconds delay(settings.reconnectMinSeconds);
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(stopLock);
            if (stopping)
                break;
        }
        if (rc == MOSQ_ERR_SUCCESS) {
            rc = mosquitto_loop(mosq, kLoopMs, 1);
            savedErrno = errno;
            if (rc == MOSQ_ERR_SUCCESS)
                continue;
        }
        // Whatever failed, nothing more goes out on this connection.
        Disconnected();
        NoteFailure(rc, savedErrno);
        if (resetDelay.exchange(false))
            delay = std::chrono::seconds(settings.reconnectMinSeconds);
        if (WaitForStop(delay))
            break;
        delay = std::min(delay * 2, std::chrono::seconds(settings.reconnectMaxSeconds));
        rc = mosquitto_reconnect_async(mosq);
        savedErrno = errno;
    }
    Finish();
}

void ShopBroker::Finish() {
    if (connected.load()) {
        mosquitto_disconnect(mosq);
        const auto until = Clock::now() + kDisconnectWait;
        while (Clock::now() < until && mosquitto_loop(mosq, 20, 1) == MOSQ_ERR_SUCCESS) {
        }
    }
    connected = false;
}

void ShopBroker::NoteFailure(int rc, int savedErrno) {
    std::string text = rc == MOSQ_ERR_CONN_REFUSED && !refusal.empty()
                           ? "the broker refused the connection: " + refusal
                           : MosquittoErrorText(rc, savedErrno);
    {
        std::lock_guard<std::mutex> hold(libraryErrorLock);
        if (rc == MOSQ_ERR_TLS && !libraryError.empty())
            text += " (" + libraryError + ")";
        libraryError.clear();
    }
    text = "broker " + settings.host + ":" + std::to_string(settings.port) + ": " + text;
    if (text != lastFailure) {
        lastFailure = text;
        inbox.PushNotice(text);
    }
}

bool ShopBroker::WaitForStop(std::chrono::seconds delay) {
    std::unique_lock<std::mutex> hold(stopLock);
    return stopChanged.wait_for(hold, delay, [this] { return stopping; });
}

void ShopBroker::Stop() {
    if (!network.joinable())
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
    {
        std::lock_guard<std::mutex> hold(stopLock);
        stopping = true;
    }
    stopChanged.notify_all();
    network.join();
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
    return mosquitto_publish(mosq, mid, topic.c_str(), int(payload.size()), payload.data(), kQos,
                             retain);
}

void ShopBroker::PublishReply(const std::string& topicName, const std::string& payload) {
    Publish(topics.Reply(topicName), payload, false);
}

void ShopBroker::OnConnect(mosquitto*, void* self, int rc) {
    static_cast<ShopBroker*>(self)->Connected(rc);
}

void ShopBroker::OnDisconnect(mosquitto*, void* self, int) {
    static_cast<ShopBroker*>(self)->Disconnected();
}

void ShopBroker::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    if (message)
        static_cast<ShopBroker*>(self)->Message(*message);
}

void ShopBroker::OnPublish(mosquitto*, void* self, int mid) {
    static_cast<ShopBroker*>(self)->Published(mid);
}

void ShopBroker::OnLog(mosquitto*, void* self, int level, const char* text) {
    if (level != MOSQ_LOG_ERR || !text)
        return;
    auto* broker = static_cast<ShopBroker*>(self);
    std::lock_guard<std::mutex> hold(broker->libraryErrorLock);
    broker->libraryError = text;
}

// Network thread, inside the CONNACK's handling: what is published here goes
// out after anything libmosquitto still held from the last connection, so the
// latest state is the one that stays retained.
void ShopBroker::Connected(int rc) {
    if (rc != 0) {
        refusal = ConnackText(rc);
        return;
    }
    refusal.clear();
    lastFailure.clear();
    resetDelay = true;
    size_t flushed = 0;
    {
        std::lock_guard<std::mutex> hold(lock);
        connected = true;
        const std::string commands = topics.AllCommands();
        mosquitto_subscribe(mosq, nullptr, commands.c_str(), kQos);
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
    std::string text = "connected to broker " + settings.host + ":" + std::to_string(settings.port);
    if (flushed > 0)
        text += ", " + std::to_string(flushed) + " waiting log records sent";
    inbox.PushNotice(text);
}

// Called from libmosquitto's write path too: takes no lock of ours but ackLock.
void ShopBroker::Disconnected() {
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
