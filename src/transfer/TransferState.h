#pragma once

// A view's transfer state. A transmission runs in Sending, Paused and
// HeldByPeer.
enum TransferState : int {
    Idle = 1,
    Receiving = 2,
    Sending = 3,
    Paused = 4,
    HeldByPeer = 5,
};

constexpr bool IsTransmitting(int state) {
    return state == Sending || state == Paused || state == HeldByPeer;
}

// Flow-control and framing characters of the line.
enum : unsigned char {
    DC1 = 0x11, // XON: go on
    DC2 = 0x12, // start of a punched program
    DC3 = 0x13, // XOFF: hold
    DC4 = 0x14, // end of a punched program
};
