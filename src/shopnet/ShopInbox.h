#pragma once
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "shopnet/ShopCommand.h"

// What the broker's network thread hands to the service's single-threaded
// loop: commands, and notices of the connection (connected, refused, lost).
// The loop polls WakeFd() for POLLIN and then takes both lists.
// Threads: Push* from any thread, Take* and WakeFd from the service's.
class ShopInbox {
public:
    explicit ShopInbox(size_t maxCommands);
    ~ShopInbox();
    ShopInbox(const ShopInbox&) = delete;
    ShopInbox& operator=(const ShopInbox&) = delete;

    // False when maxCommands are already waiting: the command is not queued.
    bool PushCommand(ShopCommand command);
    void PushNotice(std::string text);

    // Readable while anything waits; -1 if no eventfd could be made (the
    // service then has to poll Take* on a timer).
    int WakeFd() const { return wakeFd; }
    std::vector<ShopCommand> TakeCommands();
    std::vector<std::string> TakeNotices();

private:
    void Wake();
    void Drain();

    std::mutex lock;
    std::deque<ShopCommand> commands; // invariant: size() <= maxCommands
    std::deque<std::string> notices;  // bounded too: the oldest go first
    const size_t maxCommands;
    int wakeFd = -1;
};
