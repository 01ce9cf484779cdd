#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "transfer/TransferState.h"

// A view's transfer state and the controller's hold (the peer-hold flag), and
// the rules that move them. Both live in one atomic word and every rule is one
// atomic step on it, so the reader's DC3/DC1, the operator's commands and the
// end of a transmission never undo one another.
//
// Threads: any.
class TransferControl {
public:
    int State() const { return word.load() & kStateMask; }
    bool PeerHold() const { return (word.load() & kHoldBit) != 0; }
    bool Transmitting() const { return IsTransmitting(State()); }

    // Idle -> Sending, the hold cleared; or, untilDc1, -> HeldByPeer as if
    // the controller had held the line, for a controller whose DC1 says it
    // is ready. False (nothing changed) when not Idle.
    bool BeginTransmit(bool untilDc1 = false);
    // Idle -> Receiving; false otherwise.
    bool BeginReceive();
    // Sending or HeldByPeer -> Paused; the hold is kept.
    void Pause();
    // A transmission in any of its states -> Idle.
    void Stop();
    // Paused -> HeldByPeer while the controller holds, else Sending.
    void Continue();
    // Whatever the state -> Idle, the hold forgotten.
    void ToIdle();

    // The controller's flow-control characters, in the order they came. DC3
    // holds a transmission that is sending; while the operator has paused it
    // is remembered, so that Continue goes back to the hold. DC1 releases.
    void PeerBytes(const unsigned char* bytes, size_t length);
    // A line with RTS/CTS or no flow control: DC3 holds nothing (a DC1 still
    // ends the wait for a controller's start).
    void ObeyDc3(bool on) { obeysDc3 = on; }
    // The DC3s obeyed in transmissions so far: the holds, for a transfer's record.
    uint64_t Dc3Count() const { return dc3Count; }

private:
    static constexpr int kStateMask = 0xFF;
    static constexpr int kHoldBit = 0x100;

    void PeerByte(unsigned char b);
    // Applies next(old word) until it sticks; next returns the old word to
    // leave it alone.
    template <class Next> void Update(Next next);

    std::atomic<int> word{Idle};
    std::atomic<bool> obeysDc3{true};
    std::atomic<uint64_t> dc3Count{0};
};
