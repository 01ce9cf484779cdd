#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "common/ManualResetEvent.h"
#include "serial/CSerialPort.h"
#include "transfer/CByteRing.h"
#include "transfer/ReceiveDecoder.h"
#include "transfer/TransferHost.h"
#include "transfer/TransferState.h"

// The transfer side of one editor view: its serial port, its state, the
// transmit and receive workers, the receive decoder and queue, and the
// progress the main frame shows. The view embeds one and is its host.
//
// Threads: the commands, DecodeReceived and FlushReceived run on the host's
// thread. The fields that the workers share are atomics; the workers are
// joined before the engine goes away.
class CTransferEngine : public PortOwner {
public:
    static constexpr int kQueueSize = 10 * 1024 * 1024;
    static constexpr uint32_t kReadChunk = 524288;
    static constexpr int kFlushChunk = 4096;

    explicit CTransferEngine(TransferHost& host);
    ~CTransferEngine() override;

    // The commands' state rules. Each returns false, after the message, when
    // it cannot act.
    bool StartTransmit(); // state must be Idle; the port connected
    bool StartReceive();  // state must be Idle
    void StopReceive() { state = Idle; }
    void Pause() { state = Paused; }
    void Stop() { state = Idle; }
    void Continue() { state = (state == Paused && peerHold) ? HeldByPeer : Sending; }

    // Host thread handlers.
    void DecodeReceived();
    void FlushReceived();

    // Connects the port for this engine (opened and monitored) or drops it.
    bool Connect();
    void Disconnect();

    // Whole lines (0) or pieces of at most this many bytes, with the state
    // checked between pieces.
    void SetXoffChunk(int bytes) { xoffChunk = bytes > 0 ? bytes : 0; }
    // Waits for the transmit worker to end (it ends by itself).
    void JoinSender();

    CSerialPort port;
    std::atomic<bool> connected{false};
    std::atomic<bool> receiveActivity{false};
    std::atomic<int> state{Idle};
    std::atomic<int> totalLines{100};
    std::atomic<int> sentLines{0};
    std::atomic<int64_t> operationStart{0};
    std::atomic<bool> operationRunning{false};
    std::atomic<int64_t> lastOperationTime{0};
    std::atomic<bool> peerHold{false};
    ReceiveDecoder decoder;

    // Seconds of the running transmission, or of the last one.
    int64_t OperationSeconds() const;
    // The line at which the last transmission stopped on a failed write (1-based), or 0.
    int FailedLine() const { return failedLine; }
    // Bytes decoded but not yet in the document.
    size_t QueuedBytes() const;

private:
    void PostPortData(CSerialPort& port) override;
    void SendThreadProc();
    void ReceiveThreadProc();
    bool SendLine(int index, const std::string& bytes, bool& marked);
    bool WaitWhileHeld(int index, bool& marked);
    void FailAt(int index);
    void WaitForArrivedBytes();
    void QueueText(const std::string& text);
    void StartOperationTimer();
    void StopOperationTimer();
    void JoinReceiver();

    TransferHost& host;
    CByteRing queue;
    // Text that found no room in the ring while it could not be flushed; it
    // follows the ring's bytes, so nothing is ever lost.
    std::string overflow;
    std::atomic<size_t> overflowBytes{0};
    // Decoded text on its way to the queue; kept so that its memory is reused.
    std::string decodedText;
    ManualResetEvent flushDone{true};
    std::thread sendThread;
    std::thread receiveThread;
    std::atomic<int> failedLine{0};
    int xoffChunk = 0;
    // Batches the monitor announced and batches decoded: while they differ a
    // DC3 may have arrived that the state does not show yet.
    std::atomic<uint64_t> announced{0};
    std::atomic<uint64_t> decoded{0};
};
