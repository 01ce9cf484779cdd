#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// What the virtual controller punches: a program file as a controller puts it
// on the wire.
struct VcncPunchOptions {
    bool frame = false; // DC2 before, DC4 after
    bool utf8 = false;  // GBK file sent as UTF-8, with the byte-order mark after DC2
    bool lf = false;    // line breaks sent as LF alone
};

// The program's text: the file's bytes as they are, or with --lf its lines as
// the editor splits them (CR LF, LF CR or LF, detected) joined by LF. False,
// with the reason, when the file cannot be read.
bool LoadPunchText(const std::string& path, bool lf, std::string& text, std::string& error);

// The bytes on the wire for the program text.
std::string PunchBytes(std::string_view text, const VcncPunchOptions& options);

// Hands out the bytes of a punch no faster than rate characters a second
// (0: all at once), counted from start.
class VcncPunchPacer {
public:
    using Time = std::chrono::steady_clock::time_point;

    VcncPunchPacer(std::string bytes, long rate, Time start);
    // The bytes due by now that have not been handed out yet.
    std::string_view Due(Time now) const;
    // n bytes of Due went out.
    void Sent(size_t n) { sent += n; }
    bool Done() const { return sent >= bytes.size(); }
    size_t SentCount() const { return sent; }
    // When the next byte falls due (meaningless when Done).
    Time NextDue() const;

private:
    std::string bytes;
    long rate;
    Time start;
    size_t sent = 0;
};
