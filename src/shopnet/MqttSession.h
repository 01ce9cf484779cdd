#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "shopnet/ShopSettings.h"

struct mosquitto;
struct mosquitto_message;

// What a session tells its owner. Every call comes on the session's network
// thread. LinkDown is also called from inside libmosquitto's write path (a
// publish that finds the socket gone), so it must not take a lock that the
// owner holds while publishing.
class MqttSessionOwner {
public:
    virtual ~MqttSessionOwner() = default;
    // The broker took the CONNECT: subscribe here, and publish what a fresh
    // broker must hear first.
    virtual void LinkUp() = 0;
    virtual void LinkDown() {}
    // Why the link is not up (a refusal, TLS, the network), without the
    // broker's address (Where()); each reason once until the link is up again.
    virtual void LinkFailed(const std::string& /*reason*/) {}
    virtual void Message(const mosquitto_message& /*message*/) {}
    virtual void Published(int /*mid*/) {}
    // A SUBACK: 0x80 in grantedQos is a subscription the broker refused.
    virtual void Subscribed(int /*mid*/, int /*count*/, const int* /*grantedQos*/) {}
};

// One client's connection to the broker, kept up on a thread of its own: it
// connects in the background and, whatever fails (a refused CONNECT, a TLS
// error, a dropped socket, a failed turn of the loop), tries again after a
// wait that doubles from settings.reconnectMinSeconds to ...MaxSeconds and
// starts over from the shortest after each good connect.
//
// libmosquitto's own thread (loop_start) is not used: it cannot be stopped
// while a TCP connect is pending (it waits out the keepalive, and its
// reconnects are blocking connects), and it gives up for good on a TLS
// failure. Here every wait is bounded by a 100 ms turn or the stop signal, so
// Stop returns promptly whatever the network does (a host name lookup under
// way may add the resolver's own time-out).
//
// Threads: Start and Stop from the owner's thread. Handle() may be used from
// any thread for publishing and subscribing (the client is made thread-safe).
class MqttSession {
public:
    // A message the broker sends for this client when it dies without a clean end.
    struct Will {
        std::string topic, payload;
        int qos = 1;
        bool retain = true;
    };

    explicit MqttSession(MqttSessionOwner& owner);
    ~MqttSession(); // Stop(), then the client is freed
    MqttSession(const MqttSession&) = delete;
    MqttSession& operator=(const MqttSession&) = delete;

    // Makes the client (credentials, TLS, will) and starts connecting with
    // clientId; empty clientId lets the broker pick one. False with the
    // reason when the client cannot be made. The settings are not checked
    // here (CheckShopBrokerSettings).
    bool Start(const ShopBrokerSettings& settings, const std::string& clientId, const Will* will,
               std::string& why);
    // Ends the network thread: with a clean DISCONNECT when the link is up,
    // waited for up to 0.5 s. Harmless when not started or already stopped.
    void Stop();

    bool Running() const { return network.joinable(); }
    // The client, for publishing and subscribing; null before Start.
    mosquitto* Handle() const { return mosq; }
    // Whether the broker has taken the CONNECT and the link has not failed since.
    bool Up() const { return up.load(); }
    // "HOST:PORT", as failures name the broker.
    std::string Where() const;

private:
    void Run();
    void Finish();
    void Down();
    void NoteFailure(int rc, int savedErrno);
    bool WaitForStop(std::chrono::seconds delay);

    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void OnPublish(mosquitto*, void* self, int mid);
    static void OnSubscribe(mosquitto*, void* self, int mid, int count, const int* granted);
    static void OnLog(mosquitto*, void* self, int level, const char* text);

    MqttSessionOwner& owner;
    ShopBrokerSettings settings;
    mosquitto* mosq = nullptr;
    std::thread network;
    std::atomic<bool> up{false};

    std::mutex stopLock;
    std::condition_variable stopChanged;
    bool stopping = false;

    // The library's last error line: it says why TLS failed, where the
    // result code only says that it did. Written from any thread.
    std::mutex libraryErrorLock;
    std::string libraryError;

    // Network thread only.
    std::string refusal;     // the broker's answer to the last CONNECT
    std::string lastFailure; // told once until the next connect
    std::atomic<bool> resetDelay{false};
};
