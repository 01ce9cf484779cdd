#pragma once
#include <cstddef>
#include <cstring>
#include <string_view>

#include "editor/buffer/LineEndMode.h"

// The line-end mode of a file, detected from its first read block (at most
// kDetectBlock bytes): the first LF decides. No LF, or CR before it: CR LF;
// CR after it: LF CR; otherwise LF.
constexpr size_t kDetectBlock = 32768;
int DetectLineEndMode(const char* block, size_t size);

// Splits bytes into lines at the breaks of a mode, exactly as the file loader
// matches them: the matcher compares each byte once, so when the first break
// byte is not followed by the second, that following byte is not compared again
// with the first (CR CR LF is no break in CR LF mode). The last line is emitted
// even when empty. emit(const char* text, size_t length).
template <class Emit> void ForEachLine(const char* data, size_t size, int mode, Emit&& emit) {
    const std::string_view brk = LineBreakBytes(mode);
    const char* const end = data + size;
    const char* lineStart = data;
    const char* p = data;
    if (brk.size() == 1) {
        while (const void* hit = std::memchr(p, brk[0], static_cast<size_t>(end - p))) {
            const char* q = static_cast<const char*>(hit);
            emit(lineStart, static_cast<size_t>(q - lineStart));
            lineStart = p = q + 1;
        }
    } else {
        while (p < end) {
            const void* hit = std::memchr(p, brk[0], static_cast<size_t>(end - p));
            if (!hit)
                break;
            const char* q = static_cast<const char*>(hit);
            if (q + 1 == end)
                break;
            if (q[1] == brk[1]) {
                emit(lineStart, static_cast<size_t>(q - lineStart));
                lineStart = p = q + 2;
            } else {
                p = q + 2; // the byte after a failed match is not a candidate
            }
        }
    }
    emit(lineStart, static_cast<size_t>(end - lineStart));
}
