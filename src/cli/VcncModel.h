#pragma once
#include <chrono>
#include <cstdint>
#include <optional>

// The input buffer of the virtual controller: bytes from the PC go in, the
// controller consumes them at a fixed rate, and it asks for a hold (DC3) when
// the room left falls to xoffRoom and for more (DC1) once it has drained below
// half. Bytes that find the buffer full are lost and counted, as a real
// controller raises its overrun alarm. Time is passed in, so the model runs
// without a device or a real clock.
//
// Judged as a controller judges the sender: a DC3 promises xoffRoom bytes of
// room, so a lost byte counts as overflow only when it came more than that
// after the DC3 was on the line (beyond what was on the wire already). Any
// other lost byte is the model's own lateness (it read or answered late, as a
// busy machine makes it) and is counted apart.
class VcncInputBuffer {
public:
    using Time = std::chrono::steady_clock::time_point;

    static constexpr char DC1 = 0x11;
    static constexpr char DC3 = 0x13;
    static constexpr long kMaxRate = 10'000'000;

    // capacity >= 2, 0 <= xoffRoom < capacity / 2 (otherwise a DC1 could be
    // followed at once by another DC3), 0 <= charsPerSecond <= kMaxRate;
    // 0 consumes every byte the moment it arrives. Valid() tells.
    VcncInputBuffer(int capacity, int xoffRoom, long charsPerSecond);
    static bool Valid(int capacity, int xoffRoom, long charsPerSecond);
    // A controller that also holds after every n characters it reads,
    // however much room it has (an Okuma every 252); 0: only when full.
    void HoldEvery(int n) { holdEvery = n; }

    // count bytes arrived at now; returns how many of them did not fit.
    int64_t Receive(int64_t count, Time now);
    // count bytes read at now that arrived after since: a sender that keeps to
    // the line rate sent them a character time apart, the last one just now,
    // so they are taken in at those times (never before since). A controller
    // that looked late still drains as one that looked at once would have.
    int64_t ReceiveAtLineRate(int64_t count, Time since, Time now,
                              std::chrono::nanoseconds characterTime);
    // Lets the controller consume what it has by now.
    void Drain(Time now);
    // The controller reads nothing from `from` until `until` (a long move, a
    // dwell), whatever it holds and whatever comes meanwhile.
    void Dwell(Time from, Time until);
    // The flow-control character due to be sent (DC3, DC1) or 0; taking it
    // counts it as sent.
    char TakeFlowByte();
    // The DC3 taken is on the line now, with alreadyOnWire bytes from the PC
    // arrived and not yet received: those were sent before it could be seen.
    void Dc3OnLine(int64_t alreadyOnWire);
    // When draining alone next makes a flow-control character due, if ever.
    std::optional<Time> NextFlowChange() const;
    // When the buffer runs empty if nothing more arrives: still ahead while it
    // holds bytes, else when it last did (the far past if it never held any).
    Time EmptyAt() const;

    int Capacity() const { return capacity; }
    int Level() const { return level; }
    int Room() const { return capacity - level; }
    bool Held() const { return held; }
    int64_t Received() const { return received; }
    int64_t Overflow() const { return overflow; }
    int64_t Late() const { return late; }
    int XoffSent() const { return xoffSent; }
    // Holds during which more than xoffRoom characters came after the DC3
    // was on the line, whether or not they fitted.
    int64_t HoldsOverrun() const { return holdsOverrun; }
    // The characters that came after the DC3 of the present hold, and the
    // most that came after any.
    int64_t AfterDc3() const { return dc3OnLine ? received - onWireBeforeDc3 : 0; }
    int64_t MostAfterDc3() const { return mostAfterDc3; }
    int XonSent() const { return xonSent; }

private:
    int capacity;
    int xoffRoom;
    long rate;
    int level = 0;
    // While level > 0 the controller has consumed drained bytes since anchor.
    Time anchor{};
    int64_t drained = 0;
    Time readsAgain{}; // the end of the last dwell
    bool held = false;
    char pending = 0;
    int64_t received = 0;
    int64_t overflow = 0;
    int64_t late = 0;
    // While held: whether the DC3 is on the line, and the last byte (counted
    // as in received) that was on the wire before it.
    bool dc3OnLine = false;
    int64_t onWireBeforeDc3 = 0;
    bool holdOverrun = false;
    int64_t holdsOverrun = 0;
    int64_t mostAfterDc3 = 0;
    int holdEvery = 0;
    bool countedHold = false; // held for the count, not for want of room
    int64_t receivedAtRelease = 0;
    int xoffSent = 0;
    int xonSent = 0;
};

// The moment from which the controller counts as idle for --idle-exit: its
// last byte in or out, or when its input buffer runs empty if that is later;
// none while it still has bytes to put out (a punch, a DC1). A controller
// that quit while it held the sender with DC3 would leave it waiting forever.
std::optional<VcncInputBuffer::Time> VcncIdleSince(VcncInputBuffer::Time lastTraffic,
                                                   const VcncInputBuffer& input, bool sending);
