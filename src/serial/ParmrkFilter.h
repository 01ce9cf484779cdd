#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

// Undoes the kernel's marking of bad characters (termios PARMRK without
// IGNPAR): "\377\377" is a real 0xFF; "\377\0" and then one byte is a
// character that came with a parity or framing error, or a break when that
// byte is 0. Each is counted; a bad character becomes "?", a break leaves
// nothing. A mark cut by the end of one read is finished by the next.
//
// Threads: Filter on the one reader; BadCount from anywhere.
class ParmrkFilter {
public:
    // Filters length bytes in place; returns how many remain.
    size_t Filter(char* bytes, size_t length);
    int64_t BadCount() const { return bad.load(); }
    // Forgets a half-read mark (a new line, or the device reopened).
    void Reset() { pending = 0; }

private:
    int pending = 0; // 0: nothing; 1: after \377; 2: after \377 \0
    std::atomic<int64_t> bad{0};
};
