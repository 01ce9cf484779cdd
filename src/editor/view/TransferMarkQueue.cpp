#include "editor/view/TransferMarkQueue.h"

bool TransferMarkQueue::Push(Op op, int line) {
    std::lock_guard lock(mutex);
    if (op == Op::CursorTo && !pending.empty() && pending.back().op == Op::CursorTo)
        pending.back().line = line;
    else
        pending.push_back({op, line});
    if (wakePosted)
        return false;
    wakePosted = true;
    return true;
}

std::vector<TransferMarkQueue::Request> TransferMarkQueue::Take() {
    std::lock_guard lock(mutex);
    std::vector<Request> out;
    out.swap(pending);
    wakePosted = false;
    return out;
}
