#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

// A port of 127.0.0.1 whose listener takes no more connections: a connect
// there stays pending, as to a broker behind a dead network.
class BlackHole {
public:
    BlackHole() {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(listener, 0) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        port = ntohs(a.sin_port);
        for (int& fd : fillers) {
            fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ~BlackHole() {
        for (int fd : fillers)
            ::close(fd);
        ::close(listener);
    }
    int port = 0;

private:
    int listener = -1;
    int fillers[3] = {-1, -1, -1};
};
