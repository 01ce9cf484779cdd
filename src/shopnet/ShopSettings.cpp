#include "shopnet/ShopSettings.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace {

bool Readable(const std::string& what, const std::string& path, std::string& why) {
    if (::access(path.c_str(), R_OK) == 0)
        return true;
    why = what + " " + path + ": " + std::strerror(errno);
    return false;
}

// A topic level we build on: no wildcards, no separators, not empty.
bool PlainLevel(const std::string& text) {
    return !text.empty() && text.find_first_of("+#/") == std::string::npos &&
           text.find('\0') == std::string::npos;
}

bool PlainPrefix(const std::string& prefix) {
    if (prefix.empty() || prefix.front() == '/' || prefix.back() == '/' ||
        prefix.find("//") != std::string::npos || prefix.front() == '$')
        return false;
    return prefix.find_first_of("+#") == std::string::npos &&
           prefix.find('\0') == std::string::npos;
}

} // namespace

bool HasBroker(const ShopBrokerSettings& settings) {
    return !settings.host.empty();
}

std::string DefaultClientId(const std::string& service) {
    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0')
        std::strcpy(host, "localhost");
    std::string id = std::string(host) + "-" + service;
    for (char& c : id) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (!keep)
            c = '_';
    }
    return id;
}

bool CheckShopBrokerSettings(const ShopBrokerSettings& s, std::string& why) {
    if (s.host.empty()) {
        why = "no broker host";
        return false;
    }
    if (s.port < 1 || s.port > 65535) {
        why = "broker port " + std::to_string(s.port) + " is out of range";
        return false;
    }
    // The library refuses less than 5 s; a keepalive over 65535 s does not fit the packet.
    if (s.keepaliveSeconds < 5 || s.keepaliveSeconds > 65535) {
        why = "keepalive must be 5 to 65535 seconds";
        return false;
    }
    if (!PlainPrefix(s.prefix)) {
        why = "topic prefix \"" + s.prefix + "\" is empty or has a wildcard or an empty level";
        return false;
    }
    if (!PlainLevel(s.service)) {
        why = "service name \"" + s.service + "\" is empty or has '/', '+' or '#'";
        return false;
    }
    if (s.username.empty() && !s.password.empty()) {
        why = "a password is given without a user name";
        return false;
    }
    if (s.reconnectMinSeconds < 1 || s.reconnectMaxSeconds < s.reconnectMinSeconds) {
        why = "reconnect waits must be at least 1 s, the longest no shorter than the first";
        return false;
    }
    if (s.logBacklog < 0) {
        why = "the log backlog cannot be negative";
        return false;
    }
    if (s.tls) {
        if (s.caFile.empty()) {
            why = "TLS needs a CA file";
            return false;
        }
        if (!Readable("CA file", s.caFile, why))
            return false;
        if (s.certFile.empty() != s.keyFile.empty()) {
            why = "a client certificate needs its key, and a key its certificate";
            return false;
        }
        if (!s.certFile.empty() && (!Readable("client certificate", s.certFile, why) ||
                                    !Readable("client key", s.keyFile, why)))
            return false;
    }
    return true;
}
