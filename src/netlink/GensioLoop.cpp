#include "netlink/GensioLoop.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include <gensio/gensio.h>
#include <gensio/gensio_os_funcs.h>
#include <gensio/gensio_unix.h>

namespace {
void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}
} // namespace

bool GensioLoop::Start(std::string& why) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) {
        why = "no socket pair";
        return false;
    }
    wakeRead = pair[0];
    wakeWrite = pair[1];
    // No wake signal: only this loop's thread ever touches the handler.
    int err = gensio_unix_funcs_alloc(nullptr, 0, &os);
    if (!err)
        err = os->add_iod(os, GENSIO_IOD_SOCKET, wakeRead, &wakeIod);
    if (!err)
        err = os->set_fd_handlers(
            wakeIod, this, &GensioLoop::OnWake, nullptr, nullptr,
            [](gensio_iod*, void* self) { static_cast<GensioLoop*>(self)->wakeCleared = true; });
    if (err) {
        why = gensio_err_to_str(err);
        Stop();
        return false;
    }
    os->set_read_handler(wakeIod, true);
    stopping = false;
    wakeCleared = false;
    try {
        thread = std::thread(&GensioLoop::Run, this);
    } catch (const std::system_error&) {
        why = "no thread";
        Stop();
        return false;
    }
    return true;
}

void GensioLoop::Stop(std::function<bool()> settled) {
    if (thread.joinable()) {
        Post([this, settled = std::move(settled)]() mutable {
            settledBeforeStop = std::move(settled);
            stopping = true;
        });
        thread.join();
    }
    if (wakeIod) {
        if (!wakeCleared) // the thread never ran
            os->clear_fd_handlers_norpt(wakeIod);
        os->release_iod(wakeIod);
        wakeIod = nullptr;
    }
    if (os) {
        os->free_funcs(os);
        os = nullptr;
    }
    CloseFd(wakeRead);
    CloseFd(wakeWrite);
    posted.clear();
}

void GensioLoop::Post(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> hold(lock);
        posted.push_back(std::move(work));
    }
    const char one = 1;
    (void)!::write(wakeWrite, &one, 1);
}

void GensioLoop::OnWake(gensio_iod*, void* self) {
    auto* loop = static_cast<GensioLoop*>(self);
    char drain[64];
    while (::read(loop->wakeRead, drain, sizeof drain) > 0) {
    }
    loop->RunPosted();
}

void GensioLoop::RunPosted() {
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard<std::mutex> hold(lock);
            if (posted.empty())
                return;
            work = std::move(posted.front());
            posted.pop_front();
        }
        work();
    }
}

void GensioLoop::Run() {
    while (!stopping) {
        gensio_time timeout = {1, 0};
        os->service(os, &timeout);
    }
    // A close under way finishes, and what gensio frees later (its timers,
    // its runners) is freed, before the handler goes.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (settledBeforeStop && !settledBeforeStop() && std::chrono::steady_clock::now() < until) {
        gensio_time timeout = {0, 10'000'000};
        os->service(os, &timeout);
    }
    os->set_read_handler(wakeIod, false);
    os->clear_fd_handlers(wakeIod);
    for (int i = 0; i < 100 && !wakeCleared; ++i) {
        gensio_time timeout = {0, 10'000'000};
        os->service(os, &timeout);
    }
    for (int i = 0; i < 20; ++i) {
        gensio_time timeout = {0, 1'000'000};
        os->service(os, &timeout);
    }
    settledBeforeStop = {};
}
