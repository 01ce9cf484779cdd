#include "cli/CliHost.h"

CliHost::CliHost() { buffer.CreateEmpty(LINE_END_CRLF); }

void CliHost::AppendReceivedText(std::string_view text) {
    int endLine = 0, endByte = 0;
    // No source view: received text is data, never an Enter to indent after.
    if (!buffer.InsertAt(nullptr, -1, -1, text, endLine, endByte, ACTION_TYPING))
        return;
    lastAppend = std::chrono::steady_clock::now();
    if (appendedBytes == 0)
        firstAppend = lastAppend;
    appendedBytes += static_cast<long long>(text.size());
}

void CliHost::PostPortData() {
    loop.Post([this] { engine.DecodeReceived(); });
}

void CliHost::PostReceiveFlush() {
    loop.Post([this] { engine.FlushReceived(); });
}

void CliHost::PostTransmitEnded() {
    loop.Post([this] {
        ApplyMarks();
        transmitEnded = true;
        loop.Wake();
    });
}

void CliHost::ApplyMarks() {
    for (const auto& r : marks.Take()) {
        switch (r.op) {
        case TransferMarkQueue::Op::Mark:
            buffer.SetLineMark(r.line - 1, TRANSFER_LINE, true, true);
            break;
        case TransferMarkQueue::Op::Unmark:
            buffer.SetLineMark(r.line - 1, TRANSFER_LINE, false);
            break;
        case TransferMarkQueue::Op::Clear:
            buffer.SetLineMark(-1, TRANSFER_LINE, false); // wherever it is
            break;
        case TransferMarkQueue::Op::CursorTo:
            caretLine = r.line;
            break;
        }
    }
}
