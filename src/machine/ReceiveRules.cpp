#include "machine/ReceiveRules.h"

#include "machine/NameTable.h"

namespace {
constexpr char kCr = '\r', kLf = '\n', kTab = '\t';

// The control bytes the decoder itself treats, and the line ends.
bool Kept(unsigned char b) {
    return b == kTab || b == kCr || b == kLf || (b >= 0x11 && b <= 0x14);
}
} // namespace

void ReceiveRules::Clean(std::string_view bytes, std::string& out) const {
    out.reserve(out.size() + bytes.size());
    const bool crEnds = lineEnd == LineEnd::Cr;
    for (const char c : bytes) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (stripControls && (b < 0x20 || b == 0x7F) && !Kept(b))
            continue;
        if (crEnds && c == kLf)
            continue;
        out.push_back(crEnds && c == kCr ? kLf : c);
    }
}

namespace {
using LineEnd = ReceiveRules::LineEnd;
constexpr Named<LineEnd> kLineEndNames[] = {{LineEnd::Lf, "LF"}, {LineEnd::Cr, "CR"}};
} // namespace

const char* LineEndName(ReceiveRules::LineEnd e) {
    return NameOf(kLineEndNames, e);
}

bool ParseLineEnd(std::string_view name, ReceiveRules::LineEnd& out) {
    return ValueOf(kLineEndNames, name, out);
}
