#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// A plain event loop for a thread that plays the window thread without a
// window (the command-line tool): other threads Post work, the owner runs it
// in order.
class EventLoop {
public:
    // Any thread.
    void Post(std::function<void()> work);
    // Owner thread: runs posted work until the time is up; returns early
    // (false) when Wake is called.
    bool RunFor(std::chrono::milliseconds time);
    // Owner thread: runs what is queued now, without waiting.
    void RunPending();
    void Wake();

private:
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::function<void()>> work;
    bool woken = false;
};
