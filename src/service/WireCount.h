#pragma once
#include <chrono>
#include <cstdint>
#include <string_view>

#include "dnc/Sha256.h"
#include "transfer/WireTap.h"

// One direction of a machine's line, for its transfer records: the bytes'
// SHA-256 and count, and when the first and the last came. One for what is
// sent (fed by the transmit worker while it runs) and one for what is heard
// (fed on the host thread): a controller's DC1 during a send is not the send.
class WireCount final : public WireTap {
public:
    void Bytes(std::string_view bytes) override {
        if (count == 0)
            first = std::chrono::system_clock::now();
        hash.Update(bytes);
        count += bytes.size();
        last = std::chrono::steady_clock::now();
    }
    void Reset() {
        hash.Reset();
        count = 0;
    }
    uint64_t Count() const { return count; }
    std::string Hex() const { return hash.HexDigest(); }
    std::chrono::system_clock::time_point First() const { return first; }
    std::chrono::steady_clock::time_point Last() const { return last; }

private:
    Sha256 hash;
    uint64_t count = 0;
    std::chrono::system_clock::time_point first{};
    std::chrono::steady_clock::time_point last{};
};
