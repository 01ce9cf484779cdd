#include "transfer/ReceiveDecoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "transfer/TransferState.h"

namespace {
constexpr unsigned char kMark[3] = {0xEF, 0xBB, 0xBF};

// The bytes that plain GBK text does not pass through unchanged.
constexpr std::array<bool, 256> kSpecial = [] {
    std::array<bool, 256> special{};
    for (unsigned char b : {0, int('\r'), int('\n'), int(DC1), int(DC2), int(DC3), int(DC4)})
        special[b] = true;
    return special;
}();

// Whether any of the eight bytes is below 0x15, where every byte that
// kSpecial names lies; exact for the question, though not for which byte.
constexpr bool AnyBelow15(uint64_t word) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    return ((word - kOnes * 0x15) & ~word & kOnes * 0x80) != 0;
}

// Where the run of plain bytes from at ends: eight bytes at a time while
// none can be special, then byte by byte through the word that might.
size_t PlainRunEnd(const unsigned char* bytes, size_t at, size_t length) {
    for (;;) {
        uint64_t word;
        while (at + 8 <= length && (std::memcpy(&word, bytes + at, 8), !AnyBelow15(word)))
            at += 8;
        const size_t stop = std::min(at + 8, length);
        while (at < stop && !kSpecial[bytes[at]])
            ++at;
        if (at < stop || at == length)
            return at;
    }
}

// Most of a program is plain GBK text: lines are copied whole, LF becomes
// CR LF, and CR, NUL, DC1, DC3 and DC4 are dropped. Stops at a DC2, which
// starts a new program; returns where it stopped.
size_t DecodePlain(const unsigned char* bytes, size_t at, size_t length, std::string& out) {
    out.reserve(out.size() + (length - at) + (length - at) / 8);
    while (at < length) {
        const size_t end = PlainRunEnd(bytes, at, length);
        out.append(reinterpret_cast<const char*>(bytes + at), end - at);
        if (end == length || bytes[end] == DC2)
            return end;
        if (bytes[end] == '\n')
            out.append("\r\n", 2);
        at = end + 1;
    }
    return at;
}
} // namespace

void ReceiveDecoder::Decode(const unsigned char* bytes, size_t length, std::string& out) {
    for (size_t i = 0; i < length; ++i) {
        if (bomIndex < 0 && encoding == EncodingGbk) {
            i = DecodePlain(bytes, i, length, out);
            if (i == length)
                break;
        }
        const unsigned char b = bytes[i];
        switch (b) {
        case DC1:
        case DC3:
        case DC4:
            continue;
        case DC2:
            if (bomIndex < 3) // a whole mark before an empty program is still no text
                out += markPending;
            markPending.clear();
            utf8.Abandon(out); // a new program: an unfinished character is lost for good
            bomIndex = 0;
            encoding = EncodingGbk;
            continue;
        default:
            break;
        }
        if (bomIndex >= 0 && bomIndex <= 2) {
            if (b == kMark[bomIndex]) {
                markPending += char(b);
                ++bomIndex;
                continue;
            }
            // Only the matched bytes are pending; the mark is looked for only
            // right after DC2.
            out += markPending;
            markPending.clear();
            bomIndex = -1;
        } else if (bomIndex == 3) {
            encoding = EncodingUtf8;
            bomIndex = -1;
            markPending.clear();
        }
        Treat(b, out);
    }
}

void ReceiveDecoder::Treat(unsigned char b, std::string& out) {
    if (encoding != EncodingGbk) {
        if (b >= 0x80) {
            utf8.Feed(b, out);
            return;
        }
        utf8.Abandon(out); // a plain byte ends any unfinished character
    }
    if (b == '\r' || b == 0)
        return;
    if (b == '\n')
        out += "\r\n";
    else
        out += char(b);
}
