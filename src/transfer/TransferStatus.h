#pragma once
#include <chrono>
#include <cstdint>
#include <string>

#include "transfer/TransferFigures.h"

class Connection;

// What the status line says about a view's transfer, looked at now and then
// (the window's timer, the command line's live line): the figures while a
// program goes out or comes in, whether the controller or the operator holds
// it, and once it has ended, how it ended, with the count and the time. The
// end's words stay until the next transfer starts.
class TransferStatus {
public:
    using Clock = std::chrono::steady_clock;

    // Looks at the connection now; returns the text to show.
    const std::string& Update(const Connection& connection, Clock::time_point now);
    const std::string& Text() const { return text; }

private:
    void Finish(const Connection& connection);

    SendFigures figures;
    uint64_t seenOperations = 0;
    bool running = false; // an operation seen running and not yet seen ended
    std::string text;
};

// Who holds a transmission: "控制器暂停 (XOFF)" for the controller,
// "操作员暂停" for the operator, empty when none does.
std::string HoldText(int state);
// The warning of a stall, empty while there is none: the controller has held
// the line, or nothing has gone out, past the machine's limit.
std::string StallWarning(const Connection& connection, std::chrono::steady_clock::time_point now);
