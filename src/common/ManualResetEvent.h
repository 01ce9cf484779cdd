#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

// An event that stays signalled until it is reset; waiters wake on Set.
class ManualResetEvent {
public:
    explicit ManualResetEvent(bool initiallySet = false) : set(initiallySet) {}

    void Set() {
        {
            std::lock_guard<std::mutex> hold(lock);
            set = true;
        }
        changed.notify_all();
    }
    void Reset() {
        std::lock_guard<std::mutex> hold(lock);
        set = false;
    }
    bool IsSet() const {
        std::lock_guard<std::mutex> hold(lock);
        return set;
    }
    void Wait() {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [this] { return set; });
    }
    // True when the event was signalled within the time.
    bool WaitFor(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> hold(lock);
        return changed.wait_for(hold, timeout, [this] { return set; });
    }

private:
    mutable std::mutex lock;
    std::condition_variable changed;
    bool set;
};
