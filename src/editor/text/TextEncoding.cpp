#include "editor/text/TextEncoding.h"

#include "common/Gbk.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence at i, or 0 when there is none:
// no overlong forms, no surrogates, nothing above U+10FFFF.
size_t Utf8Length(std::string_view s, size_t i) {
    const size_t n = s.size();
    const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = at(i);
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF)
        return i + 1 < n && IsContinuation(at(i + 1)) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        if (i + 2 >= n)
            return 0;
        const unsigned char c = at(i + 1);
        const bool second = b == 0xE0   ? (c >= 0xA0 && c <= 0xBF)
                            : b == 0xED ? (c >= 0x80 && c <= 0x9F)
                                        : IsContinuation(c);
        return second && IsContinuation(at(i + 2)) ? 3 : 0;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        if (i + 3 >= n)
            return 0;
        const unsigned char c = at(i + 1);
        const bool second = b == 0xF0   ? (c >= 0x90 && c <= 0xBF)
                            : b == 0xF4 ? (c >= 0x80 && c <= 0x8F)
                                        : IsContinuation(c);
        return second && IsContinuation(at(i + 2)) && IsContinuation(at(i + 3)) ? 4 : 0;
    }
    return 0;
}

bool IsWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
           (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
}

} // namespace

TextEncoding DetectTextEncoding(std::string_view block) {
    if (block.substr(0, kUtf8Bom.size()) == kUtf8Bom)
        return TextEncoding::Utf8;
    bool multiByte = false;
    size_t i = 0;
    while (i < block.size()) {
        const size_t len = Utf8Length(block, i);
        if (len == 0) {
            // A sequence that the end of the block cuts short may go on in the
            // next block; anything else is not UTF-8.
            const size_t left = block.size() - i;
            const unsigned char b = static_cast<unsigned char>(block[i]);
            const size_t wanted = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
            bool cut = b >= 0xC2 && b <= 0xF4 && left < wanted;
            for (size_t k = i + 1; cut && k < block.size(); ++k)
                cut = IsContinuation(static_cast<unsigned char>(block[k]));
            return cut && multiByte ? TextEncoding::Utf8 : TextEncoding::Gbk;
        }
        multiByte = multiByte || len > 1;
        i += len;
    }
    return multiByte ? TextEncoding::Utf8 : TextEncoding::Gbk;
}

std::string ShownAsUtf8(std::string_view bytes, TextEncoding encoding) {
    if (encoding == TextEncoding::Gbk)
        return GbkToUtf8(bytes);
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const size_t len = Utf8Length(bytes, i);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        out.append(bytes.substr(i, len));
        i += len;
    }
    return out;
}

std::string Utf8AsDocument(std::string_view utf8, TextEncoding encoding) {
    return encoding == TextEncoding::Gbk ? Utf8ToGbk(utf8) : std::string(utf8);
}

size_t CharLength(std::string_view s, size_t i, TextEncoding encoding) {
    if (i >= s.size())
        return 0;
    if (encoding == TextEncoding::Gbk)
        return GbkCharLength(s, i);
    const size_t len = Utf8Length(s, i);
    return len == 0 ? 1 : len;
}

char32_t DecodeUtf8(std::string_view s, size_t i, size_t len) {
    const auto at = [&](size_t k) {
        return static_cast<char32_t>(static_cast<unsigned char>(s[k]));
    };
    switch (len) {
    case 2:
        return ((at(i) & 0x1F) << 6) | (at(i + 1) & 0x3F);
    case 3:
        return ((at(i) & 0x0F) << 12) | ((at(i + 1) & 0x3F) << 6) | (at(i + 2) & 0x3F);
    case 4:
        return ((at(i) & 0x07) << 18) | ((at(i + 1) & 0x3F) << 12) | ((at(i + 2) & 0x3F) << 6) |
               (at(i + 3) & 0x3F);
    default:
        return at(i);
    }
}

int CharCells(std::string_view s, size_t i, size_t len, TextEncoding encoding) {
    if (encoding == TextEncoding::Gbk || len <= 1)
        return static_cast<int>(len == 0 ? 1 : len);
    const char32_t c = DecodeUtf8(s, i, len);
    if (c == 0xFEFF)
        return 0;
    return IsWide(c) ? 2 : 1;
}

bool SplitsChar(std::string_view line, int index, TextEncoding encoding) {
    if (index <= 0 || index >= static_cast<int>(line.size()))
        return false;
    const size_t target = size_t(index);
    if (encoding == TextEncoding::Gbk) {
        // GBK cannot be read backwards, but a byte below 0x40 is never part of
        // a pair: whole characters are walked from just after the last one.
        size_t i = target;
        while (i > 0 && static_cast<unsigned char>(line[i - 1]) >= 0x40)
            --i;
        while (i < target)
            i += GbkCharLength(line, i);
        return i != target;
    }
    // A UTF-8 lead byte is never part of another character, so the character
    // holding index starts at most three bytes back.
    for (size_t back = 1; back <= 3 && back <= target; ++back) {
        const size_t start = target - back;
        if (!IsContinuation(static_cast<unsigned char>(line[start])))
            return Utf8Length(line, start) > back;
    }
    return false;
}

const char* EncodingName(TextEncoding encoding) {
    return encoding == TextEncoding::Utf8 ? "UTF-8" : "GBK";
}
