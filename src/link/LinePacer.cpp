#include "link/LinePacer.h"

#include <algorithm>
#include <sys/prctl.h>

namespace {

// The most a slice may start late and still count from its due time: the
// thread's usual wake-up delay, and at most a few characters, so that the far
// end never sees bytes more than that ahead of a real line.
constexpr std::chrono::microseconds kMostLate{250};
constexpr long kMostLateChars = 4;

// A paced write sleeps for a millisecond at a time; the default timer slack
// would stretch each sleep by 50 microseconds and slow the modelled line.
void TightenTimerSlack() {
    thread_local bool done = false;
    if (!done) {
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        done = true;
    }
}

} // namespace

int LinePacer::BitsPerCharacter(const PortSettings& s) {
    const int data = s.dataBits >= 5 && s.dataBits <= 8 ? s.dataBits : 8;
    const int stop = s.stopBits == 2 ? 2 : 1;
    const int parity = s.parity == 'O' || s.parity == 'E' ? 1 : 0;
    return 1 + data + parity + stop;
}

std::chrono::nanoseconds LinePacer::CharacterTime(const PortSettings& s) {
    const int baud = s.baudRate > 0 ? s.baudRate : 9600;
    return std::chrono::nanoseconds(1'000'000'000LL * BitsPerCharacter(s) / baud);
}

void LinePacer::Start(const PortSettings& s) {
    charTime = CharacterTime(s);
    const int baud = s.baudRate > 0 ? s.baudRate : 9600;
    slice = std::max<size_t>(1, size_t(baud / BitsPerCharacter(s) / 1000));
    lineFreeAt = Clock::now();
}

bool LinePacer::Write(const char* bytes, size_t length, const WriteFn& write,
                      const SleepFn& sleep) {
    TightenTimerSlack();
    const auto allowed = std::min<std::chrono::nanoseconds>(kMostLate, charTime * kMostLateChars);
    for (size_t at = 0; at < length; at += slice) {
        if (!sleep(lineFreeAt))
            return false;
        const auto now = Clock::now();
        const auto late = std::max<std::chrono::nanoseconds>(now - lineFreeAt, {});
        wakeDelay += (std::min(late, allowed) - wakeDelay) / 8;
        const size_t n = std::min(slice, length - at);
        const auto start = std::max(lineFreeAt, now - std::min(2 * wakeDelay, allowed));
        if (!write(bytes + at, n))
            return false;
        lineFreeAt = start + charTime * static_cast<long>(n);
    }
    return sleep(lineFreeAt);
}
