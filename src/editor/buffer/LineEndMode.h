#pragma once
#include <string_view>

// The line-break style of a buffer. DETECT is only an argument: detect on
// loading, the buffer's own style on saving.
enum LineEndMode : int {
    LINE_END_DETECT = -1,
    LINE_END_CRLF = 0,
    LINE_END_LFCR = 1,
    LINE_END_LF = 2,
};

// The break table shared by loading and saving; an unknown mode gives CR LF.
constexpr std::string_view LineBreakBytes(int mode) {
    switch (mode) {
    case LINE_END_LFCR:
        return "\n\r";
    case LINE_END_LF:
        return "\n";
    default:
        return "\r\n";
    }
}

constexpr const char* LineEndName(int mode) {
    switch (mode) {
    case LINE_END_LFCR:
        return "LFCR";
    case LINE_END_LF:
        return "LF";
    default:
        return "CRLF";
    }
}
