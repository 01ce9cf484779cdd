#pragma once
#include <cstddef>

// Asks the kernel to back [at, at + bytes) with zeroed pages now, in one call,
// instead of one page fault per 4 KiB page as the bytes are first written: a
// big block that is about to be filled whole (a loaded file, the line table,
// a replace all's new text) then costs about half the time. Only advice; on a
// kernel without it nothing changes.
void PrefaultBytes(void* at, size_t bytes) noexcept;

// From this size on, a block about to be filled is worth prefaulting.
constexpr size_t kPrefaultFrom = size_t(4) << 20;

// Bytes owned in one heap block; moves, never copies.
class ByteBlock {
public:
    ByteBlock() = default;
    explicit ByteBlock(size_t size) : bytes(new char[size]), length(size) {}
    ~ByteBlock() { delete[] bytes; }
    ByteBlock(ByteBlock&& other) noexcept : bytes(other.bytes), length(other.length) {
        other.bytes = nullptr;
        other.length = 0;
    }
    ByteBlock& operator=(ByteBlock&& other) noexcept {
        if (this != &other) {
            delete[] bytes;
            bytes = other.bytes;
            length = other.length;
            other.bytes = nullptr;
            other.length = 0;
        }
        return *this;
    }
    ByteBlock(const ByteBlock&) = delete;
    ByteBlock& operator=(const ByteBlock&) = delete;

    char* get() const { return bytes; }
    size_t size() const { return length; }
    explicit operator bool() const { return bytes != nullptr; }
    void reset() { *this = ByteBlock(); }

private:
    char* bytes = nullptr;
    size_t length = 0;
};
