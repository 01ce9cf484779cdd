#pragma once
#include <chrono>
#include <mutex>
#include <vector>

class CTextBuffer;

// The transmit worker's requests to show where a transmission stands, handed
// to the host thread in the order they were made. Consecutive caret moves
// collapse into the last one, so a long transmission queues a handful of
// requests, not one per line; marks and unmarks are never dropped, so the
// line at which the transmission waits is always shown. The host is told of
// a mark at once, of caret moves at most every kCaretInterval: a fast
// transmission does not wake it for every line.
//
// Threads: Push from any thread, Take on the host thread.
class TransferMarkQueue {
public:
    static constexpr std::chrono::milliseconds kCaretInterval{20};

    enum class Op { Mark, Unmark, Clear, CursorTo };
    struct Request {
        Op op;
        int line; // 1-based, as the worker gives it; unused by Clear
        friend bool operator==(const Request&, const Request&) = default;
    };

    // True when the host thread is to be told now: it has not been told of
    // what waits, and this is a mark or the caret's interval has passed. The
    // caller tells it then, and only then.
    bool Push(Op op, int line);
    // Everything queued so far, in order; the next Push tells again.
    std::vector<Request> Take();

private:
    std::mutex mutex;
    std::vector<Request> pending;
    bool wakePosted = false;
    std::chrono::steady_clock::time_point lastTold{};
};

// Where the transfer line is shown: a window, or the command line's record.
class TransferLineView {
public:
    virtual ~TransferLineView() = default;
    // 1-based: the transmission waits at this line (already marked): bring it
    // into view with the caret at its start.
    virtual void ShowWaitingLine(int line) = 0;
    // 1-based: the line just sent; the caret goes to its start, no scrolling.
    virtual void CaretToLine(int line) = 0;
};

// Carries out the requests on the document's marks and the view, in order.
// Lines outside the document (an edit may have shortened it since) are left
// alone; Clear takes the mark off whichever line has it.
void ApplyTransferMarks(const std::vector<TransferMarkQueue::Request>& requests,
                        CTextBuffer& buffer, TransferLineView& view);
