#include "transfer/CTransferEngine.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <vector>

#include "common/MessageSink.h"
#include "transfer/TransferMessages.h"

namespace {

void SleepOneMs() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

} // namespace

CTransferEngine::CTransferEngine(TransferHost& h) : host(h) {
    queue.Init(kQueueSize);
    port.SetMessageSink(&host.Messages());
}

CTransferEngine::~CTransferEngine() {
    state = Idle;
    flushDone.Set();
    JoinSender();
    JoinReceiver();
    port.Close();
}

void CTransferEngine::JoinSender() {
    if (sendThread.joinable())
        sendThread.join();
}

void CTransferEngine::JoinReceiver() {
    if (receiveThread.joinable())
        receiveThread.join();
}

bool CTransferEngine::Connect() {
    if (!port.Open())
        return false;
    if (!port.StartMonitor())
        return false;
    connected = true;
    return true;
}

void CTransferEngine::Disconnect() {
    if (!IsTransmitting(state))
        state = Idle;
    port.Close();
    connected = false;
}

bool CTransferEngine::StartTransmit() {
    if (state != Idle) {
        host.Messages().ShowMessage(kMsgCannotStartSend);
        return false;
    }
    if (!connected) {
        host.Messages().ShowMessage(kMsgSetUpPortFirst);
        return false;
    }
    JoinSender(); // the last transmission's worker has ended or is ending
    state = Sending;
    peerHold = false;
    failedLine = 0;
    sendThread = std::thread(&CTransferEngine::SendThreadProc, this);
    return true;
}

bool CTransferEngine::StartReceive() {
    if (!connected) {
        host.Messages().ShowMessage(kMsgSetUpPortFirst);
        return false;
    }
    if (state != Idle) {
        host.Messages().ShowMessage(kMsgCannotReceive);
        return false;
    }
    JoinReceiver();
    state = Receiving;
    receiveThread = std::thread(&CTransferEngine::ReceiveThreadProc, this);
    return true;
}

int64_t CTransferEngine::OperationSeconds() const {
    if (operationRunning)
        return int64_t(std::time(nullptr)) - operationStart;
    return lastOperationTime;
}

void CTransferEngine::StartOperationTimer() {
    operationStart = int64_t(std::time(nullptr));
    operationRunning = true;
}

void CTransferEngine::StopOperationTimer() {
    lastOperationTime = int64_t(std::time(nullptr)) - operationStart;
    operationRunning = false;
}

// --- Transmit ----------------------------------------------------------------

void CTransferEngine::SendThreadProc() {
    if (!host.IsWriteProtected())
        host.SetWriteProtected(true);
    // The line where the last transmission failed no longer waits.
    host.ClearTransferMark();
    const int total = host.LineCount();
    totalLines = total;
    sentLines = 0;
    StartOperationTimer();

    std::string line;
    int i = 0;
    bool completed = true;
    for (; i < total; ++i) {
        bool marked = false;
        const char* chars = host.LineChars(i);
        const size_t length = size_t(host.LineLength(i));
        // Everything from the first ';' on is a comment for the operator only.
        const void* semicolon = std::memchr(chars, ';', length);
        line.assign(chars, semicolon ? size_t(static_cast<const char*>(semicolon) - chars)
                                     : length);
        line += "\r\n";
        if (!SendLine(i, line, marked) || !WaitWhileHeld(i, marked)) {
            completed = false;
            break;
        }
        ++sentLines;
        if (marked)
            host.UnmarkTransferLine(i + 1);
        host.CursorToLine(i + 1);
    }
    const int last = completed ? total - 1 : i;
    if (failedLine == 0 && last >= 0)
        host.UnmarkTransferLine(last + 1); // a failed line stays marked
    state = Idle;
    sentLines = 0;
    StopOperationTimer();
    if (host.IsWriteProtected())
        host.SetWriteProtected(false);
    host.PostTransmitEnded();
}

// Writes one line, whole or in pieces; false when the transmission ends here.
bool CTransferEngine::SendLine(int index, const std::string& bytes, bool& marked) {
    const size_t piece = xoffChunk > 0 ? size_t(xoffChunk) : bytes.size();
    for (size_t at = 0; at < bytes.size(); at += piece) {
        const size_t n = std::min(piece, bytes.size() - at);
        uint32_t written = 0;
        if (!port.Write(bytes.data() + at, uint32_t(n), written) || written != n) {
            // Stopped, and the port then closed under the write: on purpose.
            // (The close may not have marked the port closed yet.)
            if (state == Idle)
                return false;
            FailAt(index);
            return false;
        }
        // Each piece leaves the line before the state is looked at, and a hold
        // is honoured at once: a controller may take only a few characters
        // after DC3.
        if (xoffChunk > 0 && !port.WaitUntilSent() && !port.IsOpen())
            return false;
        WaitForArrivedBytes();
        if (at + n < bytes.size() && !WaitWhileHeld(index, marked))
            return false;
    }
    return true;
}

// The line at index did not go out whole: it stays marked for the operator.
void CTransferEngine::FailAt(int index) {
    failedLine = index + 1;
    // A port that is not open has said so already.
    if (port.IsOpen())
        host.Messages().ShowMessage(Format(kMsgSendLineFailed, index + 1));
    host.MarkTransferLine(index + 1);
}

// The wait between lines while paused or held; false on Stop or when the
// device has gone.
bool CTransferEngine::WaitWhileHeld(int index, bool& marked) {
    for (;;) {
        const int s = state;
        if (s != Idle && s != Paused && s != HeldByPeer)
            return true;
        SleepOneMs();
        if (state == Idle)
            return false;
        // A peer that held the line and then went away never releases it.
        if (port.IsLost()) {
            FailAt(index);
            return false;
        }
        if (!marked) {
            host.MarkTransferLine(index + 1);
            marked = true;
        }
    }
}

// A DC3 that has reached the port while a line or piece went out must be
// seen before the next one starts, however late the window thread gets to
// it. Only the bytes already there are waited for, and not for long, so a
// peer that talks all the time slows the sender little.
void CTransferEngine::WaitForArrivedBytes() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    for (int round = 0; round < 2; ++round) {
        uint64_t target = announced.load();
        if (target == decoded.load()) {
            // Without line time nothing waits for the peer anyway, and the
            // look at the driver costs a system call per line.
            if (!port.TakesLineTime() || port.InputWaiting() == 0)
                return;
            target += 1; // the monitor is about to announce them
        }
        while (decoded.load() < target && state != Idle) {
            if (std::chrono::steady_clock::now() >= until)
                return;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
}

// --- Receive -----------------------------------------------------------------

void CTransferEngine::PostPortData(CSerialPort&) {
    ++announced;
    host.PostPortData();
}

void CTransferEngine::DecodeReceived() {
    receiveActivity = true;
    static thread_local std::vector<unsigned char> buffer(kReadChunk);
    uint32_t n = port.Read(buffer.data(), kReadChunk);
    // The driver holds only a few kilobytes: while a fast sender keeps coming,
    // go on reading for a few milliseconds, so that one hand-shake with the
    // monitor carries more than one driver-full.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(4);
    while (n > 0 && n < kReadChunk && std::chrono::steady_clock::now() < until) {
        const uint32_t more = port.ReadMore(buffer.data() + n, kReadChunk - n, 200);
        if (more == 0)
            break;
        n += more;
    }
    if (state == Idle) {
        decoded = announced.load();
        port.m_hReadDone.Set(); // read and discarded
        return;
    }
    decodedText.clear();
    decoder.Decode(buffer.data(), n, state, peerHold, decodedText);
    decoded = announced.load();
    if (!decodedText.empty())
        QueueText(decodedText);
    port.m_hReadDone.Set();
}

void CTransferEngine::QueueText(const std::string& text) {
    if (overflowBytes == 0) {
        if (queue.Write(text.data(), int(text.size())) == RING_OK)
            return;
        // No room: move what is queued into the document first, if it can go.
        if (state == Receiving && !host.IsWriteProtected()) {
            FlushReceived();
            if (queue.Write(text.data(), int(text.size())) == RING_OK)
                return;
        }
    }
    overflow += text;
    overflowBytes = overflow.size();
}

size_t CTransferEngine::QueuedBytes() const {
    return size_t(queue.Capacity() - 1 - queue.Room()) + overflowBytes.load();
}

void CTransferEngine::FlushReceived() {
    char chunk[kFlushChunk + 1];
    for (;;) {
        int n = queue.Read(chunk, kFlushChunk);
        if (n == 0)
            break;
        // Never split a CR LF: the document would read a lone CR as a break.
        if (chunk[n - 1] == '\r')
            n += queue.Read(chunk + n, 1);
        host.AppendReceivedText(std::string_view(chunk, size_t(n)));
    }
    queue.Rewind(); // the window thread is the queue's only reader and writer
    if (overflowBytes > 0) {
        std::string_view rest = overflow;
        while (!rest.empty()) {
            size_t n = std::min(rest.size(), size_t(kFlushChunk));
            if (rest[n - 1] == '\r' && n < rest.size())
                ++n;
            host.AppendReceivedText(rest.substr(0, n));
            rest.remove_prefix(n);
        }
        overflow.clear();
        overflowBytes = 0;
    }
    flushDone.Set();
}

void CTransferEngine::ReceiveThreadProc() {
    flushDone.Set();
    while (state == Receiving) {
        if (!queue.IsEmpty() || overflowBytes > 0) {
            flushDone.Reset();
            if (state != Receiving)
                break;
            host.PostReceiveFlush();
            // One flush at a time; a view that stops receiving need not answer.
            while (!flushDone.WaitFor(std::chrono::milliseconds(20)) && state == Receiving) {
            }
        }
        SleepOneMs();
    }
}
