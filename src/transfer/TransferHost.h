#pragma once
#include <string_view>

#include "transfer/TransferMarks.h"

class MessageSink;

// What a connection's threads ask the host thread (a view's window thread, or
// the command line's loop) to do; see Connection::HandleEvent.
enum class TransferEvent {
    PortData,      // the reader has bytes waiting
    ReceiveFlush,  // decoded text waits for the document
    Marks,         // the transmit worker has marks and caret moves to show
    TransmitEnded, // the transmit worker has finished
    LinkLost,      // the link went away
};

// What a connection needs of the view it serves: its thread, the end of its
// document for received text, the transfer line, and the operator's eyes.
//
// Threads: PostTransferEvent from any thread, never blocking; the rest on the
// host thread.
class TransferHost : public TransferLineView {
public:
    // Have the host thread call Connection::HandleEvent(event), in the order
    // the events were posted.
    virtual void PostTransferEvent(TransferEvent event) = 0;
    // Inserts received text at the end of the document as one undo group.
    virtual void AppendReceivedText(std::string_view text) = 0;
    virtual MessageSink& Messages() = 0;
};
