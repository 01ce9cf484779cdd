#pragma once
#include <atomic>
#include <chrono>

#include "common/EventLoop.h"
#include "common/MessageSink.h"
#include "editor/buffer/CTextBuffer.h"
#include "transfer/Connection.h"
#include "transfer/TransmitLock.h"

// A connection's host without a window: the document is a text buffer and the
// command line's own event loop plays the window thread.
class CliHost final : public TransferHost {
    // Before the connection: it takes the message sink when it is made.
    StderrMessageSink messages;
    MessageSink* sink = &messages;

public:
    CliHost();

    void PostTransferEvent(TransferEvent event) override;
    void AppendReceivedText(std::string_view text) override;
    void ShowWaitingLine(int line) override { caretLine = line; }
    void CaretToLine(int line) override { caretLine = line; }
    MessageSink& Messages() override { return *sink; }
    // Where messages go instead of stderr (the line's own included).
    void UseMessageSink(MessageSink& other) {
        sink = &other;
        connection.Port().SetMessageSink(&other);
    }

    CTextBuffer buffer;
    TransmitLock lock{buffer};
    EventLoop loop;
    Connection connection{*this, lock};
    // Set on the loop once the end of a transmission has been handled.
    std::atomic<bool> transmitEnded{false};
    // The last line the caret was put on (1-based), as a window would show it.
    int caretLine = 0;
    // Received bytes put into the document, and when the first and last went in.
    long long appendedBytes = 0;
    std::chrono::steady_clock::time_point firstAppend{}, lastAppend{};
};
