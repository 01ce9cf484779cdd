#pragma once
#include <chrono>
#include <cstddef>
#include <functional>

#include "serial/PortSettings.h"

// The time a real line takes, for a link that has no line of its own (a
// pseudo-terminal, a serial device server on the network). The bytes go to
// the far end in slices of about a millisecond, each when a real line would
// start sending it, so the far end sees them no earlier than on a cable and
// its DC3 comes back in time. A slice that starts late moves the line's time
// on with it: bytes never follow faster than the baud rate to make up for a
// late wake-up. Only the usual wake-up delay of the writing thread (a few
// tens of microseconds, never more than a few characters' time) counts as no
// delay, so that it does not leave the line idle between slices and lines.
//
// Threads: the writer's.
class LinePacer {
public:
    using Clock = std::chrono::steady_clock;
    // Writes all of the slice; false when it could not.
    using WriteFn = std::function<bool(const char* bytes, size_t length)>;
    // Sleeps until then; false when woken early (a close, a cancel).
    using SleepFn = std::function<bool(Clock::time_point until)>;

    // The line to model; the line is free from now on.
    void Start(const PortSettings& settings);
    // Returns when the last byte has left the modelled line.
    bool Write(const char* bytes, size_t length, const WriteFn& write, const SleepFn& sleep);
    // When the bytes written so far will have left the line.
    Clock::time_point LineFreeAt() const { return lineFreeAt; }

    static int BitsPerCharacter(const PortSettings& settings);
    static std::chrono::nanoseconds CharacterTime(const PortSettings& settings);

private:
    std::chrono::nanoseconds charTime{};
    size_t slice = 1;
    Clock::time_point lineFreeAt{};
    // How late the writer's thread has been waking, on average.
    std::chrono::nanoseconds wakeDelay{30'000};
};
