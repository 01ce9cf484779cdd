#include "transfer/TransferControl.h"

template <class Next> void TransferControl::Update(Next next) {
    int old = word.load();
    while (!word.compare_exchange_weak(old, next(old))) {
    }
}

bool TransferControl::BeginTransmit(bool untilDc1) {
    int idle = Idle;
    return word.compare_exchange_strong(idle, untilDc1 ? HeldByPeer | kHoldBit : int(Sending));
}

bool TransferControl::BeginReceive() {
    int idle = Idle;
    return word.compare_exchange_strong(idle, Receiving);
}

void TransferControl::Pause() {
    Update([](int w) {
        const int s = w & kStateMask;
        return s == Sending || s == HeldByPeer ? Paused | (w & kHoldBit) : w;
    });
}

void TransferControl::Stop() {
    Update([](int w) { return IsTransmitting(w & kStateMask) ? int(Idle) : w; });
}

void TransferControl::Continue() {
    Update([](int w) {
        if ((w & kStateMask) != Paused)
            return w;
        return (w & kHoldBit) ? HeldByPeer | kHoldBit : int(Sending);
    });
}

void TransferControl::ToIdle() {
    word = Idle;
}

void TransferControl::PeerByte(unsigned char b) {
    if (b == DC3 && obeysDc3) {
        ++dc3Count;
        Update([](int w) {
            const int s = w & kStateMask;
            if (s == Sending)
                return HeldByPeer | kHoldBit;
            return s == Paused ? w | kHoldBit : w;
        });
    } else if (b == DC1)
        Update([](int w) {
            const int s = w & kStateMask;
            if (s == HeldByPeer)
                return int(Sending);
            return s == Paused ? w & ~kHoldBit : w;
        });
}

void TransferControl::PeerBytes(const unsigned char* bytes, size_t length) {
    // Only a transmission listens; a punched program is not scanned twice.
    if (!Transmitting())
        return;
    for (size_t i = 0; i < length; ++i)
        if (bytes[i] == DC3 || bytes[i] == DC1)
            PeerByte(bytes[i]);
}
