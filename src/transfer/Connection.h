#pragma once
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/Link.h"
#include "machine/MachineProfile.h"
#include "transfer/PortReader.h"
#include "transfer/Receiver.h"
#include "transfer/TransferControl.h"
#include "transfer/TransferHost.h"
#include "transfer/Transmitter.h"

class TransmitLock;

// What taking a connection over came to; the negative results stop the
// transmit and receive commands.
enum class TakeOverResult {
    Connected = 1,         // this view holds the connection, already or now
    NothingToTakeOver = 0, // no connected view to take it from
    LinkedBusy = -2,       // that view transmits (the operator was told)
    OpenFailed = -3,       // the port said why
    ReaderFailed = -4,
};

// One view's connection to a controller and the transfers on it: the link,
// the transfer state with its rules, the reader that obeys the controller's
// hold, the transmit worker and the receive path. Connecting, taking a
// connection over, releasing and disconnecting happen here and nowhere else;
// the window and the command line ask, and show what it says.
//
// Threads: the public calls run on the host's thread, except the figures
// (State, PeerHold, the counters), which any thread may read. The
// connection's own threads reach the host only by posting events.
class Connection {
public:
    using SleepFn = std::function<void(int milliseconds)>;
    // Takes a port from every view that holds it (the main frame's release).
    using ReleaseFn = std::function<int(int portNumber)>;

    // The fixed waits of reconfiguring a port on the host thread.
    static constexpr int kWaitAfterClose = 300;
    static constexpr int kWaitAfterOpen = 200;
    static constexpr int kWaitAfterReceiving = 70;
    static constexpr int kWaitAfterTakeOver = 50;

    // On a local serial port (COMn through the port map, or a device path).
    Connection(TransferHost& host, TransmitLock& document);
    // On the given link.
    Connection(TransferHost& host, TransmitLock& document, std::unique_ptr<Link> link);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // --- Connecting -----------------------------------------------------------

    // OK in the settings dialog, up to the dial: releases the port from the
    // other views, closes this view's own, waits 300 ms, opens the line as
    // chosen (address, when given, instead of the port map's device) and
    // waits 200 ms. A line that did not open leaves the port number -1 and
    // the rate 0, so that the next dialog proposes from the file again.
    LinkStatus OpenLine(const PortSettings& settings, const ReleaseFn& releaseOthers = {},
                        const std::string& address = {});
    // After OpenLine (and a successful dial): starts the reader; connected.
    bool Complete();
    // Both at once, for a direct line.
    LinkStatus Connect(const PortSettings& settings, const std::string& address = {});
    // The connection of the linked view moves to this one, line settings and all.
    TakeOverResult TakeOver(Connection* linked);
    // Cancel in the settings dialog: closes the line. False, with nothing
    // done, while a transmission runs (its last line included).
    bool Disconnect();
    // Whether this connection holds that COM port (another view wants it).
    bool Holds(int portNumber) const;
    // The line, for the modem dial between OpenLine and Complete.
    Link& Port() { return *link; }
    void SetSleep(SleepFn sleep) { sleepFn = std::move(sleep); }

    // --- Transfers ------------------------------------------------------------

    // ranges: the document lines to send, [first, end) in order (a restart:
    // the program's start, then from a line on); empty: all of them.
    bool StartTransmit(LineRanges ranges = {});
    // Whole lines (0), or pieces of at most this many bytes with the state
    // looked at between pieces.
    void SetXoffChunk(int bytes) { xoffChunk = bytes > 0 ? bytes : 0; }
    // How lines look on the wire from the next transmission on (classic by default).
    void SetWireRules(const WireRules& rules) { wireRules = rules; }
    // How a punched program is picked out of what comes (classic by default).
    void SetReceiveRules(const ReceiveRules& rules) { receiver.SetRules(rules); }
    // A machine's rules for everything from the next transfer on: the wire,
    // the hold (whole lines or a few characters; DC3 obeyed or not) and the
    // receive rules. Its line is opened by Connect or OpenLine.
    void UseMachine(const MachineProfile& machine);
    bool StartReceive();
    // See the bytes that go out and those that come in, from the next
    // transfer on (null: none). The first is fed on the transmit worker, the
    // second on the host thread.
    void SetWireTaps(WireTap* sent, WireTap* heard) {
        transmitter.SetWireTap(sent);
        receiver.SetWireTap(heard);
    }
    // The DC3s obeyed so far, over all transmissions.
    uint64_t Dc3Count() const { return control.Dc3Count(); }
    // Programs the receive rules have seen end so far (their end marks).
    int ProgramsEnded() const { return receiver.ProgramsEnded(); }
    // Whatever the state, Idle: receiving ends (the receive button unchecked).
    void StopReceive();
    void Pause() { control.Pause(); }
    // Ends a transmission at the next line boundary; again while that line
    // still goes out, cuts it at once.
    void Stop();
    void Continue() { control.Continue(); }

    // What a posted event asks for, on the host thread.
    void HandleEvent(TransferEvent event);
    // Everything read so far is decoded and, while receiving, put into the
    // document now: a reception that ends keeps all that came.
    void FlushReceived();

    // --- What it says ---------------------------------------------------------

    int State() const { return control.State(); }
    bool PeerHold() const { return control.PeerHold(); }
    bool Transmitting() const { return control.Transmitting(); }
    // From the start of a transmission until its end has been handled: Stop
    // still has something to stop.
    bool TransmitActive() const { return transmitActive; }
    bool IsConnected() const { return connected; }
    const PortSettings& Settings() const { return link->Settings(); }
    // "COM3（/dev/ttyUSB0）", or the address given instead of the port map's.
    std::string PortLabel() const;
    int TotalLines() const { return transmitter.TotalLines(); }
    int SentLines() const { return transmitter.SentLines(); }
    int ProgramLine() const { return transmitter.ProgramLine(); }
    bool TransmitIsPartial() const { return transmitter.Partial(); }
    int64_t OperationSeconds() const { return transmitter.OperationSeconds(); }
    bool OperationRunning() const { return transmitter.OperationRunning(); }
    const Transmitter::Outcome& LastTransmit() const { return transmitter.LastOutcome(); }
    // Whether bytes arrived since the last call (the receive lamp).
    bool TakeReceiveActivity() { return reader.TakeActivity(); }
    // When bytes last arrived.
    std::chrono::steady_clock::time_point LastArrival() const { return reader.LastArrival(); }
    // Decoded text not yet in the document.
    size_t QueuedBytes() const { return receiver.Queued(); }
    const ReceiveDecoder& Decoder() const { return receiver.Decoder(); }
    // The line's errors during the last reception.
    const LineErrors& LastReceiveErrors() const { return receiveErrors; }
    // The connection was closed because the link went away.
    bool WasLost() const { return wasLost; }
    // Which kind of operation started last, and how many have started: a
    // watcher that looks now and then still sees one that began and ended
    // between two looks.
    enum class Operation { None, Transmit, Receive };
    Operation LastOperation() const { return lastOperation; }
    uint64_t OperationsStarted() const { return operationsStarted; }
    // The reception: what came and how long it has run (or ran).
    int64_t ReceivedBytes() const { return receiver.ReceivedBytes(); }
    int64_t ReceivedLines() const { return receiver.ReceivedLines(); }
    int64_t ReceiveSeconds() const;
    // How long nothing has moved in the running transmission (not while the
    // operator pauses it); 0 when none runs.
    int64_t StallSeconds(std::chrono::steady_clock::time_point now) const;
    // The machine's stall limit has passed.
    bool Stalled(std::chrono::steady_clock::time_point now) const;
    // Looked at now and then by the host: true once when a stall begins (the
    // host warns the operator), and then the transmission is stopped if the
    // machine says so.
    bool CheckStall(std::chrono::steady_clock::time_point now);
    int StallLimitSeconds() const { return wireRules.stallLimitSeconds; }
    bool StopsOnStall() const { return wireRules.stopOnStall; }
    // While receiving with the rules' idle time: how much of it is left
    // since the last byte (0: over, receiving should end); max otherwise.
    std::chrono::milliseconds ReceiveIdleLeft() const;

private:
    bool Busy() const { return Transmitting() || transmitActive; }
    void Sleep(int milliseconds) const;
    void MarkUnconfigured();
    // Closes the line; a reception ends (its errors reported), state Idle.
    void CloseLine();
    void DecodeReceived();
    void RequestFlush();
    // Receiving ends: the line's errors of the reception are told.
    void EndReceiving();
    void OnTransmitEnded();
    void OnLinkLost();
    // The line is gone: what came is kept, the connection closed, the operator
    // told (with the transmission that failed for it, if any).
    void FinishLoss(const Transmitter::Outcome* transmission);

    TransferHost& host;
    TransmitLock& document;
    std::unique_ptr<Link> link;
    TransferControl control;
    PortReader reader;
    Transmitter transmitter;
    Receiver receiver;
    SleepFn sleepFn;
    std::string address; // given instead of the port map's device; may be empty
    std::atomic<bool> connected{false};
    bool transmitActive = false;
    bool flushPosted = false;
    bool lossPending = false;
    bool wasLost = false;
    Operation lastOperation = Operation::None;
    uint64_t operationsStarted = 0;
    std::chrono::steady_clock::time_point receiveStart{};
    std::chrono::steady_clock::time_point receiveEnd{}; // while receiving: unset
    int xoffChunk = 0;
    WireRules wireRules;
    bool stallTold = false;
    LineErrors receiveErrors;
    std::string raw; // the reader's bytes on their way to the decoder
};

// The main frame's release of a port for another view's OK: every connection
// that holds it is counted; those not transmitting are closed (idle, not
// connected). The asking view's own connection is treated like any other.
int ReleasePort(const std::vector<Connection*>& connections, int portNumber);
