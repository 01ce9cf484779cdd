#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// GBK, the code page every document is stored in. A double-byte character is
// a lead byte 0x81..0xFE followed by a trail byte 0x40..0xFE other than 0x7F;
// every other byte stands alone. Conversions go through glibc's iconv.

constexpr bool IsGbkLeadByte(unsigned char b) {
    return b >= 0x81 && b <= 0xFE;
}
constexpr bool IsGbkTrailByte(unsigned char b) {
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}

// Bytes taken by the character that starts at index i: 2 for a lead byte with a
// trail byte after it, otherwise 1 (0 at or past the end).
inline size_t GbkCharLength(std::string_view s, size_t i) {
    if (i >= s.size())
        return 0;
    if (IsGbkLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() &&
        IsGbkTrailByte(static_cast<unsigned char>(s[i + 1])))
        return 2;
    return 1;
}

// Bytes that do not form a GBK character become U+FFFD, one per byte, so the
// result always has a character for every cell of the input.
std::string GbkToUtf8(std::string_view gbk);

// Characters that GBK cannot hold, and malformed UTF-8, become '?'. An
// incomplete sequence at the very end also becomes '?': callers that stream
// keep such a tail themselves (Utf8CompletePrefix).
std::string Utf8ToGbk(std::string_view utf8);

// Length of the longest prefix of utf8 that does not end inside a multi-byte
// sequence, for callers that convert a stream piece by piece.
size_t Utf8CompletePrefix(std::string_view utf8);
