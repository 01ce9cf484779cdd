#pragma once
#include <string>

// How the DNC service reaches the shop's MQTT broker. A service with no
// broker configured (empty host) simply runs without one.
struct ShopBrokerSettings {
    std::string host; // name or address; empty: no broker
    int port = 1883;  // 8883 is the usual port for TLS
    // Empty: DefaultClientId(service). Two clients with one id throw each
    // other off the broker, so two services on one host need different ones.
    std::string clientId;
    std::string username; // empty: connect anonymously
    std::string password;

    bool tls = false;
    std::string caFile;   // the broker's certificate is checked against it
    std::string certFile; // client certificate and key: both or neither
    std::string keyFile;

    int keepaliveSeconds = 30; // also bounds how long a dead link goes unnoticed
    // Topics are <prefix>/<service>/...; the service name keeps two services
    // on one broker apart. The prefix may have levels ("plant2/sermida").
    std::string prefix = "sermida";
    std::string service = "dnc";

    // Waits between connection attempts: doubling from min to max.
    int reconnectMinSeconds = 1;
    int reconnectMaxSeconds = 30;
    // Log records kept while the broker is unreachable; the oldest go first.
    int logBacklog = 1000;

    bool operator==(const ShopBrokerSettings&) const = default;
};

bool HasBroker(const ShopBrokerSettings& settings);
// "<hostname>-<service>", reduced to characters every broker takes.
std::string DefaultClientId(const std::string& service);
// False, with the reason, for settings no connection can come of (a missing
// TLS file included), so that the operator hears it at once, not as a
// silently failing reconnect.
bool CheckShopBrokerSettings(const ShopBrokerSettings& settings, std::string& why);
