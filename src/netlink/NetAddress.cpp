#include "netlink/NetAddress.h"

#include <cctype>

namespace {
constexpr const char* kRfc2217 = "rfc2217://";
constexpr const char* kTcp = "tcp://";

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Letters, digits, '-', '.' and '_': a host name or an IPv4 address, and
// nothing that gensio's own syntax (commas, parentheses, quotes) could take.
bool PlainHost(const std::string& host) {
    if (host.empty() || host.size() > 253)
        return false;
    for (const char c : host)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_')
            return false;
    return true;
}
} // namespace

std::string NetAddress::GensioText() const {
    // Paced slices of a millisecond each must leave at once, not gathered
    // by Nagle's algorithm into bursts that outrun the line.
    const std::string tcp = "tcp(nodelay=true)," + host + "," + std::to_string(port);
    return kind == Kind::Rfc2217 ? "telnet(rfc2217)," + tcp : tcp;
}

bool IsNetworkAddress(const std::string& text) {
    return StartsWith(text, kRfc2217) || StartsWith(text, kTcp);
}

bool ParseNetAddress(const std::string& text, NetAddress& out, std::string& why) {
    NetAddress a;
    std::string rest;
    if (StartsWith(text, kRfc2217)) {
        a.kind = NetAddress::Kind::Rfc2217;
        rest = text.substr(std::string(kRfc2217).size());
    } else if (StartsWith(text, kTcp)) {
        rest = text.substr(std::string(kTcp).size());
    } else {
        why = "an address starts with rfc2217:// or tcp://";
        return false;
    }
    const size_t colon = rest.rfind(':');
    if (colon == std::string::npos) {
        why = "the address " + text + " has no :PORT";
        return false;
    }
    a.host = rest.substr(0, colon);
    const std::string port = rest.substr(colon + 1);
    if (!PlainHost(a.host)) {
        why = "the host of " + text + " is not a host name or an IPv4 address";
        return false;
    }
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) < 1 ||
        std::stoi(port) > 65535) {
        why = "the port of " + text + " is not a number from 1 to 65535";
        return false;
    }
    a.port = std::stoi(port);
    out = a;
    return true;
}
