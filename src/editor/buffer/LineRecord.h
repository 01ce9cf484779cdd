#pragma once
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

// Longest line the 32-bit fields can describe, with room for the block rule.
constexpr int64_t kMaxLineLength = INT32_MAX - 32;

// Blocks that a line owns: the capacity sits in a header just before the
// text, so that a line record needs no field for it.
namespace line_block {
constexpr size_t kHeader = 16; // keeps the text as aligned as malloc's own

inline char* Allocate(size_t capacity) {
    char* block = static_cast<char*>(std::malloc(kHeader + capacity));
    if (!block)
        throw std::bad_alloc();
    const int64_t c = int64_t(capacity);
    std::memcpy(block, &c, sizeof c);
    return block + kHeader;
}

inline int32_t Capacity(const char* text) {
    int64_t c;
    std::memcpy(&c, text - kHeader, sizeof c);
    return int32_t(c);
}

// The text keeps its bytes up to the old capacity; may move.
inline char* Grow(char* text, size_t capacity) {
    char* block = static_cast<char*>(std::realloc(text - kHeader, kHeader + capacity));
    if (!block)
        throw std::bad_alloc();
    const int64_t c = int64_t(capacity);
    std::memcpy(block, &c, sizeof c);
    return block + kHeader;
}

inline void Free(char* text) {
    std::free(text - kHeader);
}
} // namespace line_block

// One line of text. The bytes never include the break that ended the line and
// may hold any byte, NUL included. Sixteen bytes: a long program has millions.
// invariant: the text is owned (a line_block) exactly when OwnsText(); else it
// is null, or borrowed from the load block or a text block, and the first
// growth copies it into a block of its own.
struct LineRecord {
    static constexpr uint32_t kOwnsText = 0x80000000u; // never a mark bit

    char* text = nullptr;
    int32_t length = 0;
    uint32_t bits = 0; // the mark bits, and kOwnsText

    uint32_t Marks() const { return bits & ~kOwnsText; }
    void SetMarks(uint32_t marks) { bits = (bits & kOwnsText) | (marks & ~kOwnsText); }
    bool OwnsText() const { return (bits & kOwnsText) != 0; }
    void SetOwnsText(bool on) { bits = on ? (bits | kOwnsText) : (bits & ~kOwnsText); }
    int32_t Capacity() const { return OwnsText() ? line_block::Capacity(text) : 0; }
};
static_assert(sizeof(LineRecord) == 16);
