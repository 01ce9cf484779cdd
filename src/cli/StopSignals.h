#pragma once
#include <atomic>
#include <thread>

class EventLoop;

// Ctrl+C and SIGTERM for a command that runs an event loop: each one is
// counted and wakes the loop at once, so the loop never has to look for
// them. One at a time per process.
class StopSignals {
public:
    explicit StopSignals(EventLoop& loop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    int Count() const;

private:
    void Watch(EventLoop& loop);

    int pipeRead = -1;
    std::thread watcher;
};
