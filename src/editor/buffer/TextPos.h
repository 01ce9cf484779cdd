#pragma once
#include <cstdint>

// A position in the text: x is the byte index within line y (0 .. line length).
// It is built as {line, byte}, the order in which the buffer's calls take
// the two. Positions order by line first, then by byte.
struct TextPos {
    int32_t x = 0;
    int32_t y = 0;

    constexpr TextPos() = default;
    constexpr TextPos(int32_t line, int32_t byte) : x(byte), y(line) {}

    friend constexpr bool operator==(TextPos a, TextPos b) { return a.x == b.x && a.y == b.y; }
    friend constexpr bool operator<(TextPos a, TextPos b) {
        return a.y < b.y || (a.y == b.y && a.x < b.x);
    }
    friend constexpr bool operator>(TextPos a, TextPos b) { return b < a; }
    friend constexpr bool operator<=(TextPos a, TextPos b) { return !(b < a); }
    friend constexpr bool operator>=(TextPos a, TextPos b) { return !(a < b); }
};
