#include "netlink/SocketTuning.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>

namespace {

int PortOf(const sockaddr_storage& a) {
    if (a.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(a).sin_port);
    if (a.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(a).sin6_port);
    return -1;
}

bool Connects(int fd, int localPort, int remotePort) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode))
        return false;
    sockaddr_storage local{}, remote{};
    socklen_t n = sizeof local, m = sizeof remote;
    return ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &n) == 0 &&
           ::getpeername(fd, reinterpret_cast<sockaddr*>(&remote), &m) == 0 &&
           PortOf(local) == localPort && PortOf(remote) == remotePort;
}

bool Set(int fd, int level, int option, int value) {
    return ::setsockopt(fd, level, option, &value, sizeof value) == 0;
}

} // namespace

bool TuneServerSocket(int localPort, int remotePort, int unacknowledgedMs) {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return false;
    int found = -1;
    while (const dirent* e = ::readdir(dir)) {
        const int fd = std::atoi(e->d_name);
        if (e->d_name[0] != '.' && fd != ::dirfd(dir) && Connects(fd, localPort, remotePort)) {
            found = fd;
            break;
        }
    }
    ::closedir(dir);
    if (found < 0)
        return false;
    const int seconds = unacknowledgedMs / 1000 > 0 ? unacknowledgedMs / 1000 : 1;
    // A send buffer of a few seconds of a fast serial line.
    return Set(found, SOL_SOCKET, SO_SNDBUF, 16 * 1024) &&
           Set(found, SOL_SOCKET, SO_KEEPALIVE, 1) &&
           Set(found, IPPROTO_TCP, TCP_KEEPIDLE, seconds / 3 > 0 ? seconds / 3 : 1) &&
           Set(found, IPPROTO_TCP, TCP_KEEPINTVL, 1) &&
           Set(found, IPPROTO_TCP, TCP_KEEPCNT,
               seconds - seconds / 3 > 0 ? seconds - seconds / 3 : 1) &&
           Set(found, IPPROTO_TCP, TCP_USER_TIMEOUT, unacknowledgedMs);
}
