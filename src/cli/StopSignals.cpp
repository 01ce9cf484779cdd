#include "cli/StopSignals.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>

#include "common/EventLoop.h"

namespace {

// What the handler may touch: a lock-free counter and a pipe.
std::atomic<int> signals{0};
int pipeWrite = -1;
static_assert(std::atomic<int>::is_always_lock_free);

void OnSignal(int) {
    signals.fetch_add(1);
    const char one = 1;
    (void)!::write(pipeWrite, &one, 1);
}

} // namespace

StopSignals::StopSignals(EventLoop& loop) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        pipeRead = fds[0];
        pipeWrite = fds[1];
        watcher = std::thread(&StopSignals::Watch, this, std::ref(loop));
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

StopSignals::~StopSignals() {
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    if (watcher.joinable()) {
        ::close(pipeWrite); // the watcher sees the end of the pipe
        pipeWrite = -1;
        watcher.join();
    }
    if (pipeRead >= 0)
        ::close(pipeRead);
}

int StopSignals::Count() const {
    return signals.load();
}

void StopSignals::Watch(EventLoop& loop) {
    for (;;) {
        pollfd p{pipeRead, POLLIN, 0};
        if (::poll(&p, 1, -1) < 0)
            continue;
        char bytes[16];
        const ssize_t n = ::read(pipeRead, bytes, sizeof bytes);
        if (n == 0)
            return; // closed: the command is done
        if (n > 0)
            loop.Wake();
    }
}
