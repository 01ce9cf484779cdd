#pragma once
#include <string>

// Turns a stream of UTF-8 bytes, one at a time, into GBK text. A sequence is
// held until it is complete; one that can never become valid comes out as
// "?" at once, so no byte waits forever. Characters that GBK lacks become "?".
class Utf8Stream {
public:
    // Feeds one byte of 0x80 or more; appends whatever became complete.
    void Feed(unsigned char b, std::string& out);
    // Gives up on an unfinished sequence: "?" for it.
    void Abandon(std::string& out);
    bool HasPending() const { return !pending.empty(); }
    const std::string& Pending() const { return pending; }

private:
    std::string pending;
    int needed = 0; // bytes the pending sequence has in all
};
