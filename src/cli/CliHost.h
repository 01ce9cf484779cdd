#pragma once
#include <atomic>
#include <chrono>

#include "common/EventLoop.h"
#include "common/MessageSink.h"
#include "editor/buffer/CTextBuffer.h"
#include "editor/view/TransferMarkQueue.h"
#include "transfer/CTransferEngine.h"

// The transfer engine's host without a window: the document is a text buffer
// and the CLI's own event loop is the window thread.
class CliHost final : public TransferHost {
    // Before the engine: it takes the message sink when it is made.
    StderrMessageSink messages;
    MessageSink* sink = &messages;

public:
    CliHost();

    int LineCount() override { return buffer.CountLines(); }
    int LineLength(int line) override { return buffer.LineSize(line); }
    const char* LineChars(int line) override { return buffer.LineText(line); }
    bool IsWriteProtected() override { return buffer.IsWriteProtected(); }
    void SetWriteProtected(bool on) override { buffer.SetWriteProtected(on); }
    void MarkTransferLine(int line) override { Queue(TransferMarkQueue::Op::Mark, line); }
    void UnmarkTransferLine(int line) override { Queue(TransferMarkQueue::Op::Unmark, line); }
    void ClearTransferMark() override { Queue(TransferMarkQueue::Op::Clear, 0); }
    void CursorToLine(int line) override { Queue(TransferMarkQueue::Op::CursorTo, line); }
    void AppendReceivedText(std::string_view text) override;
    void PostPortData() override;
    void PostReceiveFlush() override;
    void PostTransmitEnded() override;
    MessageSink& Messages() override { return *sink; }
    // Where messages go instead of stderr (the port's own included).
    void UseMessageSink(MessageSink& other) {
        sink = &other;
        engine.port.SetMessageSink(&other);
    }

    CTextBuffer buffer;
    EventLoop loop;
    CTransferEngine engine{*this};
    std::atomic<bool> transmitEnded{false};
    // The last line the caret was put on (1-based), as a window would show it.
    int caretLine = 0;
    // Received bytes put into the document, and when the first and last went in.
    long long appendedBytes = 0;
    std::chrono::steady_clock::time_point firstAppend{}, lastAppend{};

    // Applies the worker's mark and caret requests; the owner calls it from its
    // loop (every pass), so a fast transmission costs no wake-up per line.
    void ApplyMarks();

private:
    void Queue(TransferMarkQueue::Op op, int line) { marks.Push(op, line); }

    TransferMarkQueue marks;
};
