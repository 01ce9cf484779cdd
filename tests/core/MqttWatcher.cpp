#include "MqttWatcher.h"

#include <mosquitto.h>

#include <unistd.h>

#include <atomic>
#include <string>

#include "shopnet/MosquittoLib.h"

namespace {
std::atomic<int> watchers{0};
} // namespace

MqttWatcher::MqttWatcher(int port, const std::string& filter, const std::string& user,
                         const std::string& password)
    : filter(filter) {
    EnsureMosquittoLib();
    const std::string id =
        "watcher-" + std::to_string(::getpid()) + "-" + std::to_string(++watchers);
    mosq = mosquitto_new(id.c_str(), true, this);
    mosquitto_connect_callback_set(mosq, &MqttWatcher::OnConnect);
    mosquitto_subscribe_callback_set(mosq, &MqttWatcher::OnSubscribe);
    mosquitto_message_callback_set(mosq, &MqttWatcher::OnMessage);
    if (!user.empty())
        mosquitto_username_pw_set(mosq, user.c_str(), password.c_str());
    mosquitto_connect(mosq, "127.0.0.1", port, 30);
    mosquitto_loop_start(mosq);
}

MqttWatcher::~MqttWatcher() {
    mosquitto_disconnect(mosq);
    mosquitto_loop_stop(mosq, false);
    mosquitto_destroy(mosq);
}

void MqttWatcher::OnConnect(mosquitto* m, void* self, int rc) {
    if (rc == 0)
        mosquitto_subscribe(m, nullptr, static_cast<MqttWatcher*>(self)->filter.c_str(), 1);
}

void MqttWatcher::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
    auto* w = static_cast<MqttWatcher*>(self);
    std::lock_guard<std::mutex> hold(w->lock);
    w->subscribed = true;
    w->changed.notify_all();
}

void MqttWatcher::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* w = static_cast<MqttWatcher*>(self);
    std::lock_guard<std::mutex> hold(w->lock);
    w->seen.push_back(
        {message->topic,
         std::string(static_cast<const char*>(message->payload), size_t(message->payloadlen)),
         message->retain});
    w->changed.notify_all();
}

bool MqttWatcher::Ready(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> hold(lock);
    return changed.wait_for(hold, limit, [&] { return subscribed; });
}

std::vector<MqttWatcher::Seen> MqttWatcher::All() {
    std::lock_guard<std::mutex> hold(lock);
    return seen;
}

std::vector<std::string> MqttWatcher::On(const std::string& topic) {
    std::lock_guard<std::mutex> hold(lock);
    std::vector<std::string> out;
    for (const Seen& s : seen)
        if (s.topic == topic)
            out.push_back(s.payload);
    return out;
}

bool MqttWatcher::WaitFor(const std::string& topic, const std::string& payload,
                          std::chrono::milliseconds limit, bool* retained) {
    std::unique_lock<std::mutex> hold(lock);
    const Seen* found = nullptr;
    changed.wait_for(hold, limit, [&] {
        for (const Seen& s : seen)
            if (s.topic == topic && s.payload == payload) {
                found = &s;
                return true;
            }
        return false;
    });
    if (found && retained)
        *retained = found->retained;
    return found != nullptr;
}

bool MqttWatcher::WaitForCount(const std::string& topic, size_t count,
                               std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> hold(lock);
    return changed.wait_for(hold, limit, [&] {
        size_t n = 0;
        for (const Seen& s : seen)
            n += s.topic == topic;
        return n >= count;
    });
}

bool MqttWatcher::Publish(const std::string& topic, const std::string& payload, bool retain) {
    return mosquitto_publish(mosq, nullptr, topic.c_str(), int(payload.size()), payload.data(), 1,
                             retain) == MOSQ_ERR_SUCCESS;
}
