#include "PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

PtyPair::PtyPair() {
    int slave = -1;
    char name[256];
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::close(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    slavePath = name;
}

PtyPair::~PtyPair() {
    CloseMaster();
}

void PtyPair::CloseMaster() {
    if (master >= 0)
        ::close(master);
    master = -1;
}

std::string PtyPair::DrainMaster(int quietMs) {
    std::string got;
    for (;;) {
        std::string more = ReadMaster(1 << 20, quietMs);
        if (more.empty())
            return got;
        got += more;
    }
}

std::string PtyPair::ReadMaster(size_t want, int timeoutMs) {
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[65536];
    while (out.size() < want) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline -
                                                                 std::chrono::steady_clock::now())
                        .count();
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, int(left > 0 ? left : 0)) <= 0) {
            if (left <= 0)
                break;
            continue;
        }
        ssize_t n = ::read(master, buf, std::min(sizeof buf, want - out.size()));
        if (n > 0)
            out.append(buf, size_t(n));
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
    }
    return out;
}

void WriteAllTo(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
        } else {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
    }
}

void PtyPair::WriteMaster(const std::string& bytes) {
    WriteAllTo(master, bytes);
}

void RecordingSink::ShowMessage(const std::string& text, const std::string& caption) {
    std::lock_guard<std::mutex> hold(lock);
    messages.push_back(caption.empty() ? text : caption + "|" + text);
}

std::vector<std::string> RecordingSink::Messages() const {
    std::lock_guard<std::mutex> hold(lock);
    return messages;
}

void RecordingSink::Clear() {
    std::lock_guard<std::mutex> hold(lock);
    messages.clear();
}

ScopedEnv::ScopedEnv(const char* n, const std::string& value) : name(n) {
    if (const char* v = std::getenv(n)) {
        had = true;
        old = v;
    }
    ::setenv(n, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (had)
        ::setenv(name.c_str(), old.c_str(), 1);
    else
        ::unsetenv(name.c_str());
}
