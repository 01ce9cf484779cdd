// The receive path over random byte streams cut into random batches: the
// reader's flow control (DC3/DC1 on the transfer state) and the decoder.
//
// Input: byte 0 drives the batch sizes, byte 1 the transfer state the view is
// in, the rest is what the controller sends (DC1..DC4, marks, broken UTF-8,
// NUL, GBK...). Checked:
//  - a plain decoder written here, one byte at a time after the receive rules,
//    gives the same text, encoding, mark index, state and hold flag after
//    every batch: nothing is lost, nothing is held back longer than the rules
//    say (the matched part of a mark, an unfinished UTF-8 character);
//  - the whole stream in one batch gives the same as the batches: the result
//    never depends on where the port cut the stream;
//  - the text never holds DC1..DC4 or NUL, every line break is CR LF and there
//    is one for every LF received;
//  - without DC2 every other byte passes unchanged (GBK stays GBK);
//  - the line's marks of damaged characters (PARMRK) come out the same, and
//    are counted the same, however the reads cut the stream.
#include <algorithm>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "common/Gbk.h"
#include "serial/ParmrkFilter.h"
#include "transfer/ReceiveDecoder.h"
#include "transfer/TransferControl.h"

namespace {

// Whether bytes can begin (or are) the UTF-8 form of a scalar value: the values
// whose form would start with these bits make a range, which must meet the
// values of that form's length outside the surrogates. Complete when every
// byte of the form is there.
bool Utf8Viable(const std::string& s, bool& complete) {
    complete = false;
    const auto lead = static_cast<unsigned char>(s[0]);
    int length;
    uint32_t bits;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        bits = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        bits = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        bits = lead & 0x07;
    } else {
        return false;
    }
    if (int(s.size()) > length)
        return false;
    for (size_t i = 1; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if ((c & 0xC0) != 0x80)
            return false;
        bits = (bits << 6) | (c & 0x3F);
    }
    const int missing = 6 * (length - int(s.size()));
    const uint32_t lo = bits << missing;
    const uint32_t hi = lo | ((uint32_t(1) << missing) - 1);
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    const uint32_t most[] = {0, 0, 0x7FF, 0xFFFF, 0x10FFFF};
    const uint32_t from = std::max(lo, least[length]);
    const uint32_t to = std::min(hi, most[length]);
    if (from > to)
        return false;
    if (from >= 0xD800 && to <= 0xDFFF)
        return false; // nothing but surrogates
    complete = int(s.size()) == length;
    return true;
}

// The receive rules, byte by byte, with the decoder's own choices where the
// rules leave one: a byte other than EF right after DC2 ends the mark search;
// a UTF-8 sequence that can no longer become valid is one "?" at once, as is
// an unfinished one cut short by a byte below 0x80 or by DC2. A DC2 right
// after a whole mark drops the mark like any other byte would.
class PlainDecoder {
public:
    void Feed(unsigned char b, int& state, bool& hold, std::string& out) {
        if (b == DC3) {
            if (state == Sending) {
                state = HeldByPeer;
                hold = true;
            } else if (state == Paused) {
                hold = true; // remembered for Continue
            }
            return;
        }
        if (b == DC1) {
            if (state == HeldByPeer) {
                state = Sending;
                hold = false;
            } else if (state == Paused) {
                hold = false;
            }
            return;
        }
        if (b == DC4)
            return;
        if (b == DC2) {
            if (markIndex < 3) // a whole mark is never text, even before an empty program
                out += markHeld;
            markHeld.clear();
            DropUnfinished(out);
            markIndex = 0;
            encoding = EncodingGbk;
            return;
        }
        static const unsigned char kMark[] = {0xEF, 0xBB, 0xBF};
        if (markIndex >= 0 && markIndex < 3) {
            if (b == kMark[markIndex]) {
                markHeld += char(b);
                ++markIndex;
                return;
            }
            out += markHeld;
            markHeld.clear();
            markIndex = -1;
        } else if (markIndex == 3) {
            markHeld.clear();
            markIndex = -1;
            encoding = EncodingUtf8;
        }
        if (encoding == EncodingUtf8 && b >= 0x80) {
            FeedUtf8(b, out);
            return;
        }
        DropUnfinished(out);
        if (b == '\n')
            out += "\r\n";
        else if (b != '\r' && b != 0)
            out += char(b);
    }

    int encoding = EncodingGbk;
    int markIndex = -1;

private:
    void DropUnfinished(std::string& out) {
        if (!utf8Held.empty())
            out += '?';
        utf8Held.clear();
    }

    void FeedUtf8(unsigned char b, std::string& out) {
        bool complete = false;
        std::string longer = utf8Held + char(b);
        if (!Utf8Viable(longer, complete)) {
            DropUnfinished(out);
            longer.assign(1, char(b));
            if (!Utf8Viable(longer, complete)) {
                out += '?';
                return;
            }
        }
        utf8Held = longer;
        if (complete) {
            out += Utf8ToGbk(utf8Held);
            utf8Held.clear();
        }
    }

    std::string markHeld;
    std::string utf8Held;
};

const int kStates[] = {Receiving, Sending, Paused, HeldByPeer};

// As the connection sees the bytes: the reader applies the flow control, the
// host thread decodes.
struct Run {
    TransferControl control;
    ReceiveDecoder decoder;
    std::string out;
    explicit Run(int initial) {
        const unsigned char dc3 = DC3;
        if (initial == Receiving)
            control.BeginReceive();
        else
            control.BeginTransmit();
        if (initial == Paused)
            control.Pause();
        if (initial == HeldByPeer)
            control.PeerBytes(&dc3, 1);
    }
    void Decode(std::string_view bytes) {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
        control.PeerBytes(b, bytes.size());
        decoder.Decode(b, bytes.size(), out);
    }
    int State() const { return control.State(); }
    bool Hold() const { return control.PeerHold(); }
};

void CheckText(std::string_view stream, const std::string& out) {
    size_t lfIn = 0;
    for (char c : stream)
        lfIn += c == '\n';
    size_t breaks = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        FUZZ_CHECK(c != 0 && (c < DC1 || c > DC4), "control byte in the text " + Escaped(out));
        if (c == '\r') {
            FUZZ_CHECK(i + 1 < out.size() && out[i + 1] == '\n', "lone CR in " + Escaped(out));
            ++breaks;
        } else if (c == '\n') {
            FUZZ_CHECK(i > 0 && out[i - 1] == '\r', "lone LF in " + Escaped(out));
        }
    }
    FUZZ_CHECK(breaks == lfIn, "line breaks lost or added: " + Escaped(out));

    if (stream.find(char(DC2)) == std::string_view::npos) {
        std::string plain;
        for (char c : stream) {
            const auto b = static_cast<unsigned char>(c);
            if (b == '\n')
                plain += "\r\n";
            else if (b != '\r' && b != 0 && (b < DC1 || b > DC4))
                plain += c;
        }
        FUZZ_CHECK(out == plain, "text without DC2 changed: " + Escaped(out));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    uint32_t seed = in.Byte() | 0x100u;
    const int initial = kStates[in.Byte() % 4];
    const std::string_view stream = in.Rest();
    const size_t largest = 1 + (seed & 0x3F); // batches of 1 .. 64 bytes

    Run whole(initial);
    whole.Decode(stream);

    ParmrkFilter wholeMarks, batchedMarks;
    std::string wholeFiltered(stream), filtered;
    wholeFiltered.resize(wholeMarks.Filter(wholeFiltered.data(), wholeFiltered.size()));

    Run batched(initial);
    PlainDecoder plain;
    int plainState = initial;
    bool plainHold = initial == HeldByPeer;
    std::string plainOut;
    for (size_t at = 0; at < stream.size();) {
        seed ^= seed << 13; // xorshift: a fixed sequence of batch sizes per input
        seed ^= seed >> 17;
        seed ^= seed << 5;
        const size_t n = std::min(stream.size() - at, 1 + seed % largest);
        batched.Decode(stream.substr(at, n));
        std::string piece(stream.substr(at, n));
        piece.resize(batchedMarks.Filter(piece.data(), piece.size()));
        filtered += piece;
        for (size_t i = at; i < at + n; ++i)
            plain.Feed(static_cast<unsigned char>(stream[i]), plainState, plainHold, plainOut);
        at += n;
        const std::string where = " after " + std::to_string(at) + " bytes";
        FUZZ_CHECK(batched.out == plainOut,
                   "text " + Escaped(batched.out) + " expected " + Escaped(plainOut) + where);
        FUZZ_CHECK(batched.decoder.Encoding() == plain.encoding, "encoding" + where);
        FUZZ_CHECK(batched.decoder.MarkIndex() == plain.markIndex, "mark index" + where);
        FUZZ_CHECK(batched.State() == plainState, "state" + where);
        FUZZ_CHECK(batched.Hold() == plainHold, "peer hold" + where);
    }

    FUZZ_CHECK(batchedMarks.BadCount() == wholeMarks.BadCount(), "damage counted by batching");
    FUZZ_CHECK(filtered == wholeFiltered, "marks taken out by batching: " + Escaped(filtered) +
                                              " whole " + Escaped(wholeFiltered));
    FUZZ_CHECK(filtered.size() + size_t(wholeMarks.BadCount()) <= stream.size(),
               "the marks' filter grew the text");

    FUZZ_CHECK(whole.out == batched.out,
               "one batch gave " + Escaped(whole.out) + ", batches " + Escaped(batched.out));
    FUZZ_CHECK(whole.decoder.Encoding() == batched.decoder.Encoding(), "encoding by batching");
    FUZZ_CHECK(whole.decoder.MarkIndex() == batched.decoder.MarkIndex(), "mark by batching");
    FUZZ_CHECK(whole.State() == batched.State() && whole.Hold() == batched.Hold(),
               "state by batching");
    CheckText(stream, whole.out);
    return 0;
}
