#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

// Another client of the broker, as a shop's dashboard or MES would be: it
// subscribes to a filter and records what it is sent, and can publish.
class MqttWatcher {
public:
    struct Seen {
        std::string topic, payload;
        bool retained;
    };

    MqttWatcher(int port, const std::string& filter, const std::string& user = {},
                const std::string& password = {});
    ~MqttWatcher();
    MqttWatcher(const MqttWatcher&) = delete;
    MqttWatcher& operator=(const MqttWatcher&) = delete;

    // True once subscribed (retained messages then follow at once).
    bool Ready(std::chrono::milliseconds limit = std::chrono::seconds(5));
    std::vector<Seen> All();
    // The payloads seen on one topic, in order.
    std::vector<std::string> On(const std::string& topic);
    // Waits until payload arrives on topic; the retained flag of that message.
    bool WaitFor(const std::string& topic, const std::string& payload,
                 std::chrono::milliseconds limit = std::chrono::seconds(5),
                 bool* retained = nullptr);
    // Waits until count messages arrived on topic.
    bool WaitForCount(const std::string& topic, size_t count,
                      std::chrono::milliseconds limit = std::chrono::seconds(5));
    bool Publish(const std::string& topic, const std::string& payload, bool retain = false);

private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnSubscribe(mosquitto*, void* self, int, int, const int*);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);

    mosquitto* mosq = nullptr;
    std::string filter;
    std::mutex lock;
    std::condition_variable changed;
    bool subscribed = false;
    std::vector<Seen> seen;
};
