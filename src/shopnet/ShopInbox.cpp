#include "shopnet/ShopInbox.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace {
// A service whose loop stalls must not grow without bound on a flapping link.
constexpr size_t kMaxNotices = 100;
} // namespace

ShopInbox::ShopInbox(size_t maxCommands) : maxCommands(maxCommands) {
    wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

ShopInbox::~ShopInbox() {
    if (wakeFd >= 0)
        ::close(wakeFd);
}

bool ShopInbox::PushCommand(ShopCommand command) {
    {
        std::lock_guard<std::mutex> hold(lock);
        if (commands.size() >= maxCommands)
            return false;
        commands.push_back(std::move(command));
    }
    Wake();
    return true;
}

void ShopInbox::PushNotice(std::string text) {
    {
        std::lock_guard<std::mutex> hold(lock);
        if (notices.size() >= kMaxNotices)
            notices.pop_front();
        notices.push_back(std::move(text));
    }
    Wake();
}

// The counter is drained before the lists are taken, so that anything pushed
// after the take signals the fd again: no wake-up is lost.
std::vector<ShopCommand> ShopInbox::TakeCommands() {
    Drain();
    std::lock_guard<std::mutex> hold(lock);
    std::vector<ShopCommand> out(std::make_move_iterator(commands.begin()),
                                 std::make_move_iterator(commands.end()));
    commands.clear();
    if (!notices.empty())
        Wake(); // the notices are still there for TakeNotices
    return out;
}

std::vector<std::string> ShopInbox::TakeNotices() {
    Drain();
    std::lock_guard<std::mutex> hold(lock);
    std::vector<std::string> out(notices.begin(), notices.end());
    notices.clear();
    if (!commands.empty())
        Wake();
    return out;
}

void ShopInbox::Wake() {
    if (wakeFd < 0)
        return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
}

void ShopInbox::Drain() {
    if (wakeFd < 0)
        return;
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(wakeFd, &count, sizeof count);
}
