#pragma once
#include <chrono>

#include "cli/CliHost.h"

// Runs a headless host's loop, as its window thread would, until pred holds
// or the time is up; false when the time ran out.
template <class Pred> bool RunHostUntil(CliHost& host, Pred pred, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        host.loop.RunFor(std::chrono::milliseconds(2));
    }
    return true;
}

inline PortSettings LineAt(int baud) {
    return PortSettings{1, baud, 8, 1, 'N'};
}
