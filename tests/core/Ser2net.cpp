#include "Ser2net.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "ChildOfTest.h"

bool TcpPortAccepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

int FreeTcpPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

Ser2net::Ser2net(const std::string& device, const std::string& folder) {
    rfcPort = FreeTcpPort();
    rawPort = FreeTcpPort();
    const std::string config = folder + "/ser2net.yaml";
    {
        std::ofstream out(config);
        const auto connection = [&](const char* name, const std::string& accepter) {
            out << "connection: &" << name << "\n"
                << "  accepter: " << accepter << "\n"
                << "  connector: serialdev," << device << ",9600n81,local\n"
                << "  options:\n    kickolduser: true\n"
                // The controller's DC3 goes back at once, not gathered with
                // what follows it: a server set up for DNC.
                << "    chardelay: false\n";
        };
        out << "%YAML 1.1\n---\n";
        connection("rfc", "telnet(rfc2217),tcp,127.0.0.1," + std::to_string(rfcPort));
        connection("raw", "tcp,127.0.0.1," + std::to_string(rawPort));
    }
    const pid_t parent = ::getpid();
    pid = ::fork();
    if (pid == 0) {
        DieWithTest(parent);
        ::execlp("ser2net", "ser2net", "-n", "-u", "-c", config.c_str(), "-P",
                 (folder + "/ser2net.pid").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 100 && !(TcpPortAccepts(rfcPort) && TcpPortAccepts(rawPort)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, WNOHANG) == pid)
        pid = -1; // it did not start
}

Ser2net::~Ser2net() {
    Thaw();
    Kill();
}

void Ser2net::Kill() {
    if (pid <= 0)
        return;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

void Ser2net::Freeze() {
    if (pid > 0)
        ::kill(pid, SIGSTOP);
}

void Ser2net::Thaw() {
    if (pid > 0)
        ::kill(pid, SIGCONT);
}
