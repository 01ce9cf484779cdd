#pragma once
#include <mutex>
#include <vector>

// The transfer line-marking requests of a transmit worker, handed to the UI
// thread in the order they were made. Consecutive cursor moves collapse into
// the last one, so a long transmission queues a handful of requests, not one
// per line; marks and unmarks are never dropped, so the line at which the
// transmission waits is always shown.
//
// Threads: Push from any thread, Take on the UI thread.
class TransferMarkQueue {
public:
    enum class Op { Mark, Unmark, Clear, CursorTo };
    struct Request {
        Op op;
        int line; // 1-based, as the worker gives it; unused by Clear
        friend bool operator==(const Request&, const Request&) = default;
    };

    // True when the queue was empty and the UI thread has not yet been woken
    // for it: the caller posts one wake-up then, and only then.
    bool Push(Op op, int line);
    // Everything queued so far, in order; the next Push wakes again.
    std::vector<Request> Take();

private:
    std::mutex mutex;
    std::vector<Request> pending;
    bool wakePosted = false;
};
