#include "shopnet/MqttSession.h"

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
constexpr auto kDisconnectWait = 500ms;

} // namespace

MqttSession::MqttSession(MqttSessionOwner& owner) : owner(owner) {}

MqttSession::~MqttSession() {
    Stop();
    if (mosq)
        mosquitto_destroy(mosq);
}

std::string MqttSession::Where() const {
    return settings.host + ":" + std::to_string(settings.port);
}

bool MqttSession::Start(const ShopBrokerSettings& wanted, const std::string& clientId,
                        const Will* will, std::string& why) {
    if (mosq) {
        why = "the broker link is already started";
        return false;
    }
    settings = wanted;
    EnsureMosquittoLib();
    // A clean session: nothing is queued for this client while it is away.
    mosq = mosquitto_new(clientId.empty() ? nullptr : clientId.c_str(), true, this);
    if (!mosq) {
        why = std::string("cannot create the MQTT client: ") + std::strerror(errno);
        return false;
    }
    // Our own thread runs the loop; publishes from other threads only queue.
    mosquitto_threaded_set(mosq, true);
    mosquitto_connect_callback_set(mosq, &MqttSession::OnConnect);
    mosquitto_disconnect_callback_set(mosq, &MqttSession::OnDisconnect);
    mosquitto_message_callback_set(mosq, &MqttSession::OnMessage);
    mosquitto_publish_callback_set(mosq, &MqttSession::OnPublish);
    mosquitto_subscribe_callback_set(mosq, &MqttSession::OnSubscribe);
    mosquitto_log_callback_set(mosq, &MqttSession::OnLog);

    int rc = MOSQ_ERR_SUCCESS;
    if (will)
        rc = mosquitto_will_set(mosq, will->topic.c_str(), int(will->payload.size()),
                                will->payload.data(), will->qos, will->retain);
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
    network = std::thread(&MqttSession::Run, this);
    return true;
}

void MqttSession::Run() {
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
        Down();
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

void MqttSession::Finish() {
    if (up.load()) {
        mosquitto_disconnect(mosq);
        const auto until = Clock::now() + kDisconnectWait;
        while (Clock::now() < until && mosquitto_loop(mosq, 20, 1) == MOSQ_ERR_SUCCESS) {
        }
    }
    Down();
}

void MqttSession::Down() {
    up = false;
    owner.LinkDown();
}

void MqttSession::NoteFailure(int rc, int savedErrno) {
    std::string text = rc == MOSQ_ERR_CONN_REFUSED && !refusal.empty()
                           ? "the broker refused the connection: " + refusal
                           : MosquittoErrorText(rc, savedErrno);
    {
        std::lock_guard<std::mutex> hold(libraryErrorLock);
        if (rc == MOSQ_ERR_TLS && !libraryError.empty())
            text += " (" + libraryError + ")";
        libraryError.clear();
    }
    if (text != lastFailure) {
        lastFailure = text;
        owner.LinkFailed(text);
    }
}

bool MqttSession::WaitForStop(std::chrono::seconds delay) {
    std::unique_lock<std::mutex> hold(stopLock);
    return stopChanged.wait_for(hold, delay, [this] { return stopping; });
}

void MqttSession::Stop() {
    if (!network.joinable())
        return;
    {
        std::lock_guard<std::mutex> hold(stopLock);
        stopping = true;
    }
    stopChanged.notify_all();
    network.join();
}

void MqttSession::OnConnect(mosquitto*, void* self, int rc) {
    auto* session = static_cast<MqttSession*>(self);
    if (rc != 0) {
        session->refusal = ConnackText(rc);
        return;
    }
    session->refusal.clear();
    session->lastFailure.clear();
    session->resetDelay = true;
    session->up = true;
    session->owner.LinkUp();
}

void MqttSession::OnDisconnect(mosquitto*, void* self, int) {
    static_cast<MqttSession*>(self)->Down();
}

void MqttSession::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    if (message)
        static_cast<MqttSession*>(self)->owner.Message(*message);
}

void MqttSession::OnPublish(mosquitto*, void* self, int mid) {
    static_cast<MqttSession*>(self)->owner.Published(mid);
}

void MqttSession::OnSubscribe(mosquitto*, void* self, int mid, int count, const int* granted) {
    static_cast<MqttSession*>(self)->owner.Subscribed(mid, count, granted);
}

void MqttSession::OnLog(mosquitto*, void* self, int level, const char* text) {
    if (level != MOSQ_LOG_ERR || !text)
        return;
    auto* session = static_cast<MqttSession*>(self);
    std::lock_guard<std::mutex> hold(session->libraryErrorLock);
    session->libraryError = text;
}
