#include "transfer/Utf8Stream.h"

#include "common/Gbk.h"

namespace {

// Length of the sequence that a lead byte starts, or 0 for a byte that
// cannot start one.
int SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// The second byte is narrower after some leads: no overlong forms, no
// surrogates, nothing above U+10FFFF.
bool ValidSecond(unsigned char lead, unsigned char b) {
    switch (lead) {
    case 0xE0:
        return b >= 0xA0 && b <= 0xBF;
    case 0xED:
        return b >= 0x80 && b <= 0x9F;
    case 0xF0:
        return b >= 0x90 && b <= 0xBF;
    case 0xF4:
        return b >= 0x80 && b <= 0x8F;
    default:
        return b >= 0x80 && b <= 0xBF;
    }
}

} // namespace

void Utf8Stream::Abandon(std::string& out) {
    if (!pending.empty())
        out += '?';
    pending.clear();
    needed = 0;
}

void Utf8Stream::Feed(unsigned char b, std::string& out) {
    if (!pending.empty()) {
        const unsigned char lead = static_cast<unsigned char>(pending[0]);
        const bool fits = pending.size() == 1 ? ValidSecond(lead, b) : (b >= 0x80 && b <= 0xBF);
        if (fits) {
            pending += char(b);
            if (int(pending.size()) == needed) {
                out += Utf8ToGbk(pending);
                pending.clear();
                needed = 0;
            }
            return;
        }
        Abandon(out); // and b may start a sequence of its own
    }
    needed = SequenceLength(b);
    if (needed == 0) {
        out += '?';
        return;
    }
    pending += char(b);
}
