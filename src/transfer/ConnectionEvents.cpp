// The transfer commands and what the connection's threads ask of the host.
#include <string>

#include "common/MessageSink.h"
#include "editor/buffer/CTextBuffer.h"
#include "transfer/Connection.h"
#include "transfer/TransferMessages.h"
#include "transfer/TransmitLock.h"

bool Connection::StartTransmit(LineRanges ranges) {
    MessageSink& messages = host.Messages();
    if (State() != Idle || transmitActive) {
        messages.ShowMessage(kMsgCannotStartSend);
        return false;
    }
    if (!connected) {
        messages.ShowMessage(kMsgSetUpPortFirst);
        return false;
    }
    // Locked before the worker exists: nothing on this thread changes the
    // lines between here and the worker's first read.
    document.Begin();
    if (!control.BeginTransmit(wireRules.waitForDc1)) {
        document.End();
        messages.ShowMessage(kMsgCannotStartSend);
        return false;
    }
    transmitActive = true;
    if (!transmitter.Start(document.Buffer(), xoffChunk, wireRules, std::move(ranges))) {
        control.ToIdle();
        transmitActive = false;
        document.End();
        messages.ShowMessage(kMsgNoThread);
        return false;
    }
    lastOperation = Operation::Transmit;
    ++operationsStarted;
    return true;
}

bool Connection::StartReceive() {
    MessageSink& messages = host.Messages();
    if (!connected) {
        messages.ShowMessage(kMsgSetUpPortFirst);
        return false;
    }
    if (State() != Idle || transmitActive) {
        messages.ShowMessage(kMsgCannotReceive);
        return false;
    }
    // Text taken in now could only be thrown away.
    if (document.Buffer().IsWriteProtected()) {
        messages.ShowMessage(document.Held() ? kMsgWaitForTransfer : kMsgReadOnlyNoReceive);
        return false;
    }
    link->TakeLineErrors(); // what went wrong while nobody listened is not this program's
    receiveErrors = {};
    if (!control.BeginReceive()) {
        messages.ShowMessage(kMsgCannotReceive);
        return false;
    }
    receiver.ResetCounts();
    receiver.ResetFraming();
    receiveStart = std::chrono::steady_clock::now();
    receiveEnd = {};
    lastOperation = Operation::Receive;
    ++operationsStarted;
    RequestFlush(); // text decoded while transmitting goes in first
    return true;
}

int64_t Connection::StallSeconds(std::chrono::steady_clock::time_point now) const {
    if (!transmitActive || State() == Paused)
        return 0;
    const auto still = now - transmitter.LastMoved();
    return std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::seconds>(still).count());
}

bool Connection::Stalled(std::chrono::steady_clock::time_point now) const {
    return wireRules.stallLimitSeconds > 0 && StallSeconds(now) >= wireRules.stallLimitSeconds;
}

bool Connection::CheckStall(std::chrono::steady_clock::time_point now) {
    if (!Stalled(now)) {
        stallTold = false; // it moved again: the next stall is told too
        return false;
    }
    if (stallTold)
        return false;
    stallTold = true;
    if (wireRules.stopOnStall) {
        // A held line ends at once; a line that takes nothing is cut.
        Stop();
        Stop();
    }
    return true;
}

std::chrono::milliseconds Connection::ReceiveIdleLeft() const {
    using namespace std::chrono;
    const int idle = receiver.Rules().idleSeconds;
    if (idle <= 0 || State() != Receiving)
        return milliseconds::max();
    const auto since = std::max(receiveStart, LastArrival());
    return std::max(milliseconds(0),
                    ceil<milliseconds>(since + seconds(idle) - steady_clock::now()));
}

int64_t Connection::ReceiveSeconds() const {
    if (lastOperation != Operation::Receive)
        return 0;
    const auto end = receiveEnd == std::chrono::steady_clock::time_point{}
                         ? std::chrono::steady_clock::now()
                         : receiveEnd;
    return std::chrono::duration_cast<std::chrono::seconds>(end - receiveStart).count();
}

void Connection::StopReceive() {
    EndReceiving();
    control.ToIdle();
}

void Connection::Stop() {
    if (control.Transmitting())
        control.Stop();
    else if (transmitActive)
        transmitter.Abort();
}

void Connection::EndReceiving() {
    if (State() != Receiving)
        return;
    control.ToIdle();
    receiveEnd = std::chrono::steady_clock::now();
    const LineErrors errors = link->TakeLineErrors();
    receiveErrors.badCharacters += errors.badCharacters;
    receiveErrors.overruns += errors.overruns;
    if (errors.badCharacters > 0)
        host.Messages().ShowMessage(Format(kMsgBadCharacters, (long long)errors.badCharacters));
    if (errors.overruns > 0)
        host.Messages().ShowMessage(Format(kMsgOverruns, (long long)errors.overruns));
}

void Connection::HandleEvent(TransferEvent event) {
    switch (event) {
    case TransferEvent::PortData:
        FlushReceived(); // while receiving, straight on into the document
        break;
    case TransferEvent::ReceiveFlush:
        flushPosted = false;
        receiver.Flush(host, document.Buffer());
        break;
    case TransferEvent::Marks:
        ApplyTransferMarks(transmitter.Marks().Take(), document.Buffer(), host);
        break;
    case TransferEvent::TransmitEnded:
        OnTransmitEnded();
        break;
    case TransferEvent::LinkLost:
        OnLinkLost();
        break;
    }
}

void Connection::DecodeReceived() {
    raw.clear();
    reader.Take(raw);
    if (raw.empty() || State() == Idle)
        return; // read and discarded
    receiver.Decode(raw);
}

void Connection::FlushReceived() {
    DecodeReceived();
    if (State() == Receiving)
        receiver.Flush(host, document.Buffer());
}

void Connection::RequestFlush() {
    if (State() != Receiving || flushPosted || receiver.Queued() == 0)
        return;
    flushPosted = true;
    host.PostTransferEvent(TransferEvent::ReceiveFlush);
}

void Connection::OnTransmitEnded() {
    if (!transmitActive)
        return;
    transmitter.Join();
    transmitActive = false;
    document.End();
    // Marks the worker made last (the line that failed) are shown first.
    ApplyTransferMarks(transmitter.Marks().Take(), document.Buffer(), host);
    const Transmitter::Outcome& o = transmitter.LastOutcome();
    if (lossPending || o.lost) {
        FinishLoss(&o);
        return;
    }
    if (o.end == Transmitter::End::Failed)
        host.Messages().ShowMessage(Format(kMsgSendLineFailed, o.linesWhole + 1, o.linesWhole));
    else if (o.end == Transmitter::End::Cut)
        host.Messages().ShowMessage(Format(kMsgSendLineCut, o.linesWhole + 1, o.linesWhole));
    else if (o.end == Transmitter::End::NoStart)
        host.Messages().ShowMessage(Format(kMsgNoStartDc1, wireRules.dc1TimeoutSeconds));
}

void Connection::OnLinkLost() {
    // From a line closed or opened anew since: nothing to do.
    if (!connected || !link->IsLost())
        return;
    lossPending = true;
    if (!transmitActive) // a transmission ends by itself first, and then comes here
        FinishLoss(nullptr);
}

void Connection::FinishLoss(const Transmitter::Outcome* transmission) {
    lossPending = false;
    const std::string label = PortLabel();
    FlushReceived(); // everything that came is in the document
    CloseLine();
    wasLost = true;
    std::string text;
    if (transmission && transmission->end == Transmitter::End::Failed)
        text = Format(kMsgSendLineFailed, transmission->linesWhole + 1, transmission->linesWhole) +
               "\n";
    host.Messages().ShowMessage(text + Format(kMsgPortGone, label.c_str()));
}
