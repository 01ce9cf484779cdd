#pragma once
#include <string>

// A serial device server's port on the network, as the operator writes it:
// "rfc2217://HOST:PORT" (the server's line set up by the program, RFC 2217)
// or "tcp://HOST:PORT" (a raw socket; the line is set up on the server).
struct NetAddress {
    enum class Kind { Rfc2217, RawTcp };
    Kind kind = Kind::RawTcp;
    std::string host;
    int port = 0;

    // How gensio names the connection.
    std::string GensioText() const;
};

// Whether text names a network address at all (by its scheme); a device path
// never does.
bool IsNetworkAddress(const std::string& text);
// False, with the reason, for a malformed address.
bool ParseNetAddress(const std::string& text, NetAddress& out, std::string& why);
