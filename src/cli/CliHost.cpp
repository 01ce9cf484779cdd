#include "cli/CliHost.h"

CliHost::CliHost() {
    buffer.CreateEmpty(LINE_END_CRLF);
    connection.SetSleep([](int) {}); // no window to settle: the waits buy nothing here
}

void CliHost::PostTransferEvent(TransferEvent event) {
    loop.Post([this, event] {
        connection.HandleEvent(event);
        if (event == TransferEvent::TransmitEnded)
            transmitEnded = true;
        // The command's own loop looks at these.
        if (event == TransferEvent::TransmitEnded || event == TransferEvent::LinkLost)
            loop.Wake();
    });
}

void CliHost::AppendReceivedText(std::string_view text) {
    int endLine = 0, endByte = 0;
    // Nothing here is ever undone: the text goes in without a copy for undo.
    const int line = buffer.CountLines() - 1;
    if (!buffer.RawInsert(nullptr, line, buffer.LineSize(line), text, endLine, endByte))
        return;
    lastAppend = std::chrono::steady_clock::now();
    if (appendedBytes == 0)
        firstAppend = lastAppend;
    appendedBytes += static_cast<long long>(text.size());
}
