#include "transfer/TransferMarks.h"

#include "editor/buffer/CTextBuffer.h"

bool TransferMarkQueue::Push(Op op, int line) {
    std::lock_guard lock(mutex);
    if (op == Op::CursorTo && !pending.empty() && pending.back().op == Op::CursorTo)
        pending.back().line = line;
    else
        pending.push_back({op, line});
    if (wakePosted)
        return false;
    const auto now = std::chrono::steady_clock::now();
    if (op == Op::CursorTo && now - lastTold < kCaretInterval)
        return false; // shown with the next mark, the next interval or the end
    wakePosted = true;
    lastTold = now;
    return true;
}

std::vector<TransferMarkQueue::Request> TransferMarkQueue::Take() {
    std::lock_guard lock(mutex);
    std::vector<Request> out;
    out.swap(pending);
    wakePosted = false;
    return out;
}

void ApplyTransferMarks(const std::vector<TransferMarkQueue::Request>& requests,
                        CTextBuffer& buffer, TransferLineView& view) {
    using Op = TransferMarkQueue::Op;
    for (const auto& r : requests) {
        if (r.op != Op::Clear && (r.line < 1 || r.line > buffer.CountLines()))
            continue;
        switch (r.op) {
        case Op::Mark:
            buffer.SetLineMark(r.line - 1, TRANSFER_LINE, true, true);
            view.ShowWaitingLine(r.line);
            break;
        case Op::Unmark:
            buffer.SetLineMark(r.line - 1, TRANSFER_LINE, false);
            break;
        case Op::Clear:
            buffer.SetLineMark(-1, TRANSFER_LINE, false); // wherever an edit moved it
            break;
        case Op::CursorTo:
            view.CaretToLine(r.line);
            break;
        }
    }
}
