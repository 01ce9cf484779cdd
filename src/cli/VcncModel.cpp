#include "cli/VcncModel.h"

#include <algorithm>

namespace {

constexpr int64_t kNsPerSecond = 1'000'000'000;

// Bytes consumed in ns nanoseconds at rate bytes a second, rounded down;
// split so that hours at the highest rate stay inside 64 bits.
int64_t BytesIn(int64_t ns, long rate) {
    return ns / kNsPerSecond * rate + ns % kNsPerSecond * rate / kNsPerSecond;
}

// The time after which n bytes have been consumed, rounded up.
int64_t NsFor(int64_t n, long rate) {
    return n / rate * kNsPerSecond + (n % rate * kNsPerSecond + rate - 1) / rate;
}

} // namespace

bool VcncInputBuffer::Valid(int capacity, int xoffRoom, long charsPerSecond) {
    return capacity >= 2 && xoffRoom >= 0 && xoffRoom < capacity / 2 && charsPerSecond >= 0 &&
           charsPerSecond <= kMaxRate;
}

VcncInputBuffer::VcncInputBuffer(int capacity, int xoffRoom, long charsPerSecond)
    : capacity(capacity), xoffRoom(xoffRoom), rate(charsPerSecond) {}

void VcncInputBuffer::Drain(Time now) {
    if (level == 0)
        return;
    if (rate == 0) {
        level = 0;
    } else {
        const int64_t ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(now - anchor).count();
        if (ns <= 0)
            return;
        const int64_t n = std::min<int64_t>(BytesIn(ns, rate) - drained, level);
        if (n <= 0)
            return;
        level -= int(n);
        drained += n;
    }
    // A hold for the count lasts until the characters counted are used up.
    if (held && (countedHold ? level == 0 : level < capacity / 2)) {
        held = false;
        receivedAtRelease = received;
        dc3OnLine = false;
        // A DC3 still waiting to go out is simply withdrawn.
        pending = pending == DC3 ? 0 : DC1;
    }
}

void VcncInputBuffer::Dwell(Time from, Time until) {
    Drain(from);
    readsAgain = std::max(readsAgain, until);
    // What it holds is read from the dwell's end on.
    if (level > 0 && anchor < readsAgain) {
        anchor = readsAgain;
        drained = 0;
    }
}

int64_t VcncInputBuffer::Receive(int64_t count, Time now) {
    if (count <= 0)
        return 0;
    Drain(now);
    received += count;
    if (rate == 0)
        return 0; // consumed as it comes: never full
    if (level == 0) {
        anchor = std::max(now, readsAgain);
        drained = 0;
    }
    const int64_t taken = std::min<int64_t>(count, capacity - level);
    level += int(taken);
    // The lost bytes are the last of the batch. The sender is to blame only
    // for those beyond the room a DC3 promises, counted from the DC3 on the
    // line after what was already on the wire; the rest the controller lost
    // by answering late itself.
    const int64_t lost = count - taken;
    const int64_t blamed =
        !dc3OnLine ? 0 : std::clamp<int64_t>(received - (onWireBeforeDc3 + xoffRoom), 0, lost);
    late += lost - blamed;
    overflow += blamed;
    // A strict controller counts the characters after its DC3 even when its
    // buffer still had room for them.
    if (dc3OnLine)
        mostAfterDc3 = std::max(mostAfterDc3, received - onWireBeforeDc3);
    if (dc3OnLine && !holdOverrun && received - onWireBeforeDc3 > xoffRoom) {
        holdOverrun = true;
        ++holdsOverrun;
    }
    const bool counted = holdEvery > 0 && received - receivedAtRelease >= holdEvery;
    if (!held && (capacity - level <= xoffRoom || counted)) {
        held = true;
        countedHold = capacity - level > xoffRoom;
        pending = pending == DC1 ? 0 : DC3;
    }
    return count - taken;
}

int64_t VcncInputBuffer::ReceiveAtLineRate(int64_t count, Time since, Time now,
                                           std::chrono::nanoseconds characterTime) {
    constexpr int64_t kGroup = 16; // bytes taken in together
    int64_t lost = 0;
    for (int64_t done = 0; done < count;) {
        const int64_t n = std::min(kGroup, count - done);
        done += n;
        const Time at = std::max(since, now - characterTime * (count - done));
        lost += Receive(n, at);
    }
    return lost;
}

void VcncInputBuffer::Dc3OnLine(int64_t alreadyOnWire) {
    if (!held)
        return;
    dc3OnLine = true;
    holdOverrun = false;
    onWireBeforeDc3 = received + std::max<int64_t>(alreadyOnWire, 0);
}

char VcncInputBuffer::TakeFlowByte() {
    const char c = pending;
    pending = 0;
    if (c == DC3)
        ++xoffSent;
    else if (c == DC1)
        ++xonSent;
    return c;
}

std::optional<VcncInputBuffer::Time> VcncInputBuffer::NextFlowChange() const {
    if (!held || rate == 0 || level == 0)
        return std::nullopt;
    // Below half means level <= capacity / 2 - 1.
    const int64_t need = countedHold ? level : level - (capacity / 2 - 1);
    return anchor + std::chrono::nanoseconds(NsFor(drained + need, rate));
}

VcncInputBuffer::Time VcncInputBuffer::EmptyAt() const {
    if (rate == 0)
        return Time{}; // consumed as it comes
    // Everything taken since anchor is gone once drained + level bytes are.
    return anchor + std::chrono::nanoseconds(NsFor(drained + level, rate));
}

std::optional<VcncInputBuffer::Time> VcncIdleSince(VcncInputBuffer::Time lastTraffic,
                                                   const VcncInputBuffer& input, bool sending) {
    if (sending)
        return std::nullopt;
    return std::max(lastTraffic, input.EmptyAt());
}
