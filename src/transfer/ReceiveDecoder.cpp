#include "transfer/ReceiveDecoder.h"

#include "transfer/TransferState.h"

namespace {
constexpr unsigned char kMark[3] = {0xEF, 0xBB, 0xBF};

// A byte that GBK text passes through unchanged.
constexpr bool PassesUnchanged(unsigned char b) {
    return b != 0 && b != '\r' && b != '\n' && (b < DC1 || b > DC4);
}
} // namespace

void ReceiveDecoder::Decode(const unsigned char* bytes, size_t length, std::string& out) {
    for (size_t i = 0; i < length; ++i) {
        // Most of a GBK program is plain text: take such runs whole.
        if (bomIndex < 0 && encoding == EncodingGbk && PassesUnchanged(bytes[i])) {
            size_t end = i + 1;
            while (end < length && PassesUnchanged(bytes[end]))
                ++end;
            out.append(reinterpret_cast<const char*>(bytes + i), end - i);
            i = end - 1;
            continue;
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
