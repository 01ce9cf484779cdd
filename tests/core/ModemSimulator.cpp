#include "ModemSimulator.h"

#include "PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <stdexcept>

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

} // namespace

ModemSimulator::ModemSimulator(int m, const std::string& slavePath, ModemScript s)
    : master(m), script(std::move(s)) {
    peek = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (peek < 0 || ::pipe2(stopPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("modem simulator: cannot open its descriptors");
    thread = std::thread(&ModemSimulator::Run, this);
}

ModemSimulator::~ModemSimulator() {
    char one = 1;
    (void)!::write(stopPipe[1], &one, 1);
    thread.join();
    ::close(stopPipe[0]);
    ::close(stopPipe[1]);
    ::close(peek);
}

std::string ModemSimulator::Received() const {
    std::lock_guard<std::mutex> hold(lock);
    return received;
}

int ModemSimulator::Replies() const {
    std::lock_guard<std::mutex> hold(lock);
    return int(replySizes.size());
}

int ModemSimulator::Queued() const {
    int n = 0;
    ::ioctl(peek, FIONREAD, &n);
    return n;
}

void ModemSimulator::WriteReply(const std::string& bytes) {
    std::lock_guard<std::mutex> serial(writeLock);
    WriteAllTo(master, bytes);
    {
        std::lock_guard<std::mutex> hold(lock);
        replySizes.push_back(bytes.size());
    }
    changed.notify_all();
}

void ModemSimulator::SendResult() {
    WriteReply(script.result);
}

void ModemSimulator::Send(const std::string& bytes) {
    WriteReply(bytes);
}

bool ModemSimulator::Settle(int replies) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    size_t expected = 0;
    {
        std::unique_lock<std::mutex> hold(lock);
        if (!changed.wait_until(hold, deadline, [&] { return int(replySizes.size()) >= replies; }))
            return false;
        for (int i = settled; i < replies; ++i)
            expected += replySizes[size_t(i)];
        settled = replies;
    }
    while (size_t(Queued()) < expected) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void ModemSimulator::HandleLine(const std::string& raw) {
    std::string line = raw;
    while (!line.empty() && (line.front() == '\n' || line.front() == '\r'))
        line.erase(0, 1);
    const std::string command = Lower(line);
    if (command == "atz") {
        switch (script.reset) {
        case ModemScript::ResetReply::Ok:
            WriteReply((script.echo ? line + "\r" : std::string()) + "\r\nOK\r\n");
            break;
        case ModemScript::ResetReply::Garbage:
            WriteReply("\r\n\x13\xfe?ERR0R\r\n");
            break;
        case ModemScript::ResetReply::Nothing:
            break;
        }
    } else if (command.rfind("attd", 0) == 0) {
        if (script.echo || !script.afterEcho.empty())
            WriteReply((script.echo ? line + "\r\n" : std::string()) + script.afterEcho);
        if (script.resultDelayMs >= 0 && !script.result.empty()) {
            std::lock_guard<std::mutex> hold(lock);
            resultDue = true;
            resultAt =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(script.resultDelayMs);
        }
    }
}

void ModemSimulator::Run() {
    std::string pending;
    for (;;) {
        int timeout = -1;
        {
            std::lock_guard<std::mutex> hold(lock);
            if (resultDue) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                resultAt - std::chrono::steady_clock::now())
                                .count();
                timeout = int(std::max<long long>(left, 0));
            }
        }
        pollfd p[2] = {{master, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
        int r = ::poll(p, 2, timeout);
        if (r < 0 && errno == EINTR)
            continue;
        if (p[1].revents)
            return;
        bool sendNow = false;
        {
            std::lock_guard<std::mutex> hold(lock);
            if (resultDue && std::chrono::steady_clock::now() >= resultAt) {
                resultDue = false;
                sendNow = true;
            }
        }
        if (sendNow)
            WriteReply(script.result);
        if (r <= 0 || !(p[0].revents & POLLIN)) {
            if (r > 0 && (p[0].revents & (POLLHUP | POLLERR)))
                std::this_thread::sleep_for(std::chrono::milliseconds(5)); // no reader yet
            continue;
        }
        char buf[4096];
        ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0)
            continue;
        {
            std::lock_guard<std::mutex> hold(lock);
            received.append(buf, size_t(n));
        }
        pending.append(buf, size_t(n));
        for (size_t cr; (cr = pending.find('\r')) != std::string::npos;) {
            HandleLine(pending.substr(0, cr));
            pending.erase(0, cr + 1);
        }
    }
}
