#pragma once
#include <string_view>

// Sees a transfer's bytes as they cross the line, for a record of what went
// over it (a checksum, a count). Raw: before the receive rules pick the
// program out, and after the wire rules shaped the lines to send.
//
// Threads: a transmission calls it on its worker, a reception on the host
// thread; it is set only while no transfer runs.
class WireTap {
public:
    virtual ~WireTap() = default;
    virtual void Bytes(std::string_view bytes) = 0;
};
