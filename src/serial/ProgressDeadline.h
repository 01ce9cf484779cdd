#pragma once
#include <chrono>

// A time limit that follows the work instead of the clock: it runs out only
// when the count it watches (bytes still queued for the line) has not moved
// for the whole allowance. A long line at a slow rate takes as long as it
// takes; a line that does not move at all fails after the allowance.
class ProgressDeadline {
public:
    using Clock = std::chrono::steady_clock;

    ProgressDeadline(std::chrono::milliseconds allowance, Clock::time_point now)
        : allowance(allowance), deadline(now + allowance) {}

    // False once remaining has stayed the same for the allowance.
    bool Alive(long remaining, Clock::time_point now) {
        if (remaining != last) {
            last = remaining;
            deadline = now + allowance;
            return true;
        }
        return now < deadline;
    }

private:
    std::chrono::milliseconds allowance;
    Clock::time_point deadline;
    long last = -1;
};
