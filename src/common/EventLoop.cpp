#include "common/EventLoop.h"

void EventLoop::Post(std::function<void()> item) {
    {
        std::lock_guard<std::mutex> hold(lock);
        work.push_back(std::move(item));
    }
    changed.notify_one();
}

void EventLoop::Wake() {
    {
        std::lock_guard<std::mutex> hold(lock);
        woken = true;
    }
    changed.notify_one();
}

bool EventLoop::RunFor(std::chrono::milliseconds time) {
    const auto deadline = std::chrono::steady_clock::now() + time;
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
        if (!changed.wait_until(hold, deadline, [this] { return woken || !work.empty(); }))
            return true;
        if (woken) {
            woken = false;
            return false;
        }
        auto item = std::move(work.front());
        work.pop_front();
        hold.unlock();
        item();
        hold.lock();
    }
}

void EventLoop::RunPending() {
    std::unique_lock<std::mutex> hold(lock);
    while (!work.empty()) {
        auto item = std::move(work.front());
        work.pop_front();
        hold.unlock();
        item();
        hold.lock();
    }
}
