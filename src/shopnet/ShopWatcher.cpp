#include "shopnet/ShopWatcher.h"

#include <mosquitto.h>
#include <unistd.h>

#include <atomic>

#include "shopnet/ShopTopics.h"

namespace {

constexpr int kQos = 1;
// What a SUBACK grants in place of a QoS when the broker refuses the filter.
constexpr int kRefused = 0x80;

} // namespace

ShopWatcher::ShopWatcher() = default;

ShopWatcher::~ShopWatcher() {
    Stop();
}

bool ShopWatcher::Start(const ShopBrokerSettings& settings, std::string& why) {
    if (session.Handle()) {
        why = "the watcher is already started";
        return false;
    }
    if (!CheckShopBrokerSettings(settings, why))
        return false;
    prefix = settings.prefix;
    where = settings.host + ":" + std::to_string(settings.port);
    // Never the service's own id (the config's client_id, or the default one
    // made from the same service name), nor another watcher's: the broker
    // drops the older of two clients with one id.
    static std::atomic<unsigned> started{0};
    const std::string id = DefaultClientId("sermida-view-" + std::to_string(::getpid()) + "-" +
                                           std::to_string(++started));
    return session.Start(settings, id, nullptr, why);
}

void ShopWatcher::Stop() {
    session.Stop();
}

std::vector<ShopWatchChange> ShopWatcher::TakeChanges() {
    std::lock_guard<std::mutex> hold(lock);
    std::vector<ShopWatchChange> out(std::make_move_iterator(changes.begin()),
                                     std::make_move_iterator(changes.end()));
    changes.clear();
    return out;
}

std::vector<ShopMachine> ShopWatcher::Machines() const {
    std::lock_guard<std::mutex> hold(lock);
    std::vector<ShopMachine> out;
    out.reserve(machines.size());
    for (const auto& [key, machine] : machines)
        out.push_back(machine);
    return out;
}

std::map<std::string, std::string> ShopWatcher::Services() const {
    std::lock_guard<std::mutex> hold(lock);
    return services;
}

bool ShopWatcher::LinkUp() const {
    std::lock_guard<std::mutex> hold(lock);
    return up;
}

std::string ShopWatcher::LinkProblem() const {
    std::lock_guard<std::mutex> hold(lock);
    return problem;
}

std::string ShopWatcher::Where() const {
    return where;
}

bool ShopWatcher::Truncated() const {
    std::lock_guard<std::mutex> hold(lock);
    return truncated;
}

// A reader that stops reading must not make the watcher grow: the oldest
// changes go, and a Reset tells the reader to read the whole table again.
void ShopWatcher::Push(ShopWatchChange change) {
    if (changes.size() >= kMaxChanges) {
        changes.clear();
        changes.push_back(ShopWatchChange{});
    }
    changes.push_back(std::move(change));
}

void ShopWatcher::SetLink(bool nowUp, const std::string& text) {
    up = nowUp;
    problem = text;
    ShopWatchChange change;
    change.kind = ShopWatchChange::Kind::Link;
    change.up = nowUp;
    change.text = text;
    Push(std::move(change));
}

// Network thread. Subscribing again on every connect: a clean session has
// none left over, and the broker sends the retained states anew.
void ShopWatcher::Connected() {
    {
        std::lock_guard<std::mutex> hold(lock);
        SetLink(true, {});
    }
    subscribing.clear();
    for (const std::string& filter : {AllStatusFilter(prefix), AllStateFilter(prefix)}) {
        int mid = 0;
        if (mosquitto_subscribe(session.Handle(), &mid, filter.c_str(), kQos) == MOSQ_ERR_SUCCESS)
            subscribing[mid] = filter;
    }
}

// Network thread; also on every failed attempt to connect.
void ShopWatcher::Disconnected() {
    std::lock_guard<std::mutex> hold(lock);
    if (up)
        SetLink(false, {});
}

void ShopWatcher::Failed(const std::string& text) {
    std::lock_guard<std::mutex> hold(lock);
    SetLink(false, text);
}

void ShopWatcher::Subscribed(int mid, int count, const int* granted) {
    const auto found = subscribing.find(mid);
    if (found == subscribing.end())
        return;
    const std::string filter = found->second;
    subscribing.erase(found);
    if (count < 1 || !granted || granted[0] < kRefused)
        return;
    std::lock_guard<std::mutex> hold(lock);
    SetLink(true, "the broker refused the subscription to " + filter);
}

void ShopWatcher::Message(const mosquitto_message& message) {
    if (!message.topic)
        return;
    const ShopTopicName name = ParseShopTopic(prefix, message.topic);
    if (name.kind == ShopTopicName::Kind::None)
        return;
    const std::string payload =
        message.payload && message.payloadlen > 0
            ? std::string(static_cast<const char*>(message.payload), size_t(message.payloadlen))
            : std::string();
    // A service names itself and its machines with at most 64 plain
    // characters: a longer level, or one with control characters, is no
    // service's, and is left out rather than shown altered.
    const auto plain = [](const std::string& level) {
        return level.size() <= kMaxNameBytes && ShownText(level, kMaxNameBytes) == level;
    };
    if (!plain(name.service) || !plain(name.machine))
        return;
    const std::string& service = name.service;
    const std::string text = ShownText(payload, kMaxTextBytes);
    const auto now = std::chrono::system_clock::now();

    std::lock_guard<std::mutex> hold(lock);
    if (name.kind == ShopTopicName::Kind::Status) {
        // An empty retained message is how a status is cleared.
        auto known = services.find(service);
        if (known != services.end() && known->second == text && !text.empty())
            return;
        if (text.empty() && known == services.end())
            return;
        if (text.empty())
            services.erase(known);
        else
            services[service] = text;
        ShopWatchChange change;
        change.kind = ShopWatchChange::Kind::Service;
        change.service = service;
        change.text = text;
        Push(std::move(change));
        return;
    }

    const std::string& machineName = name.machine;
    const auto key = std::make_pair(service, machineName);
    auto known = machines.find(key);
    if (payload.empty()) {
        if (known == machines.end())
            return;
        ShopWatchChange change;
        change.kind = ShopWatchChange::Kind::MachineGone;
        change.machine = known->second;
        machines.erase(known);
        Push(std::move(change));
        return;
    }
    if (known != machines.end() && known->second.state == text)
        return; // the same state again (a service that reconnected says it anew)
    if (known == machines.end()) {
        if (machines.size() >= kMaxMachines) {
            truncated = true;
            return;
        }
        known = machines.emplace(key, ShopMachine{service, machineName, {}, {}, false}).first;
    }
    ShopMachine& machine = known->second;
    machine.state = text;
    machine.changed = now;
    // A retained message comes from the broker's store: the state was already
    // so, since a time this watcher cannot know.
    machine.changeSeen = !message.retain;
    ShopWatchChange change;
    change.kind = ShopWatchChange::Kind::Machine;
    change.machine = machine;
    Push(std::move(change));
}
