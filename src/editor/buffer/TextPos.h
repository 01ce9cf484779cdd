#pragma once
#include <cstdint>

// A position in the text: x is the byte index within line y (0 .. line length).
// Positions order by line first, then by byte.
struct TextPos {
    int32_t x = 0;
    int32_t y = 0;

    friend constexpr bool operator==(TextPos a, TextPos b) { return a.x == b.x && a.y == b.y; }
    friend constexpr bool operator<(TextPos a, TextPos b) {
        return a.y < b.y || (a.y == b.y && a.x < b.x);
    }
    friend constexpr bool operator>(TextPos a, TextPos b) { return b < a; }
    friend constexpr bool operator<=(TextPos a, TextPos b) { return !(b < a); }
    friend constexpr bool operator>=(TextPos a, TextPos b) { return !(a < b); }
};
