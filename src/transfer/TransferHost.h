#pragma once
#include <string_view>

class MessageSink;

// What the transfer engine needs of the view it serves: the document's lines,
// its write protection, the caret and the transfer mark, and a way to run the
// engine's handlers on the host's own (window) thread.
//
// Threads: the line queries and SetWriteProtected are called by the transmit
// worker while the document is write-protected. The marking calls and
// CursorToLine are called by the worker too, with 1-based line numbers: the host hands them to its own thread in order (it may
// drop cursor moves that a later one overtakes, never a mark). The Post...
// calls come from the monitor and receive threads and must not block.
class TransferHost {
public:
    virtual ~TransferHost() = default;

    virtual int LineCount() = 0;
    virtual int LineLength(int line) = 0;
    virtual const char* LineChars(int line) = 0;
    virtual bool IsWriteProtected() = 0;
    virtual void SetWriteProtected(bool on) = 0;

    virtual void MarkTransferLine(int line) = 0;
    virtual void UnmarkTransferLine(int line) = 0;
    virtual void CursorToLine(int line) = 0;
    // Takes the transfer mark off whichever line has it: edits may have moved
    // the line where the last transmission failed.
    virtual void ClearTransferMark() = 0;

    // Host thread: inserts received text at the end of the document as one
    // undo group (dropped when the document is write-protected).
    virtual void AppendReceivedText(std::string_view text) = 0;

    // Ask the host thread to call the engine's DecodeReceived / FlushReceived.
    virtual void PostPortData() = 0;
    virtual void PostReceiveFlush() = 0;
    // The transmit worker has ended (after the last line, Stop or a failure).
    virtual void PostTransmitEnded() {}

    virtual MessageSink& Messages() = 0;
};
