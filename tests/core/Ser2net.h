#pragma once
#include <string>
#include <sys/types.h>

// A real ser2net, started by the test on free ports of 127.0.0.1 only: one
// RFC 2217 accepter and one raw TCP accepter, both to the same serial device
// (the far end of a pseudo-terminal, the controller's cable).
class Ser2net {
public:
    Ser2net(const std::string& device, const std::string& folder);
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    bool Running() const { return pid > 0; }
    std::string Rfc2217() const { return "rfc2217://127.0.0.1:" + std::to_string(rfcPort); }
    std::string RawTcp() const { return "tcp://127.0.0.1:" + std::to_string(rawPort); }
    // The box goes away: killed, every connection dropped.
    void Kill();
    // The box stops (its power gone, as far as this end can tell it).
    void Freeze();
    void Thaw();

private:
    pid_t pid = -1;
    int rfcPort = 0, rawPort = 0;
};

// A port of 127.0.0.1 nothing listens on (as far as one can tell).
int FreeTcpPort();
// Whether something on 127.0.0.1 takes a connection on port now.
bool TcpPortAccepts(int port);
