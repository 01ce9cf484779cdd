#pragma once
#include <cstddef>
#include <new>

// Big blocks that are filled from end to end soon after they are made (a
// loaded file, the line table, received text, the receive ring) fault in page
// by page; on huge pages that is a few faults instead of thousands. The
// blocks are aligned to the huge-page size so that no part of them misses
// out. Only advice: where the system has no huge pages nothing changes.
namespace huge_pages {
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kWorthFrom = size_t(4) << 20;

// Throws std::bad_alloc like new.
void* Allocate(size_t bytes);
void Free(void* block, size_t bytes) noexcept;
} // namespace huge_pages

// An allocator for containers that grow big.
template <class T> struct HugePageAllocator {
    using value_type = T;
    HugePageAllocator() = default;
    template <class U> HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

    T* allocate(size_t n) { return static_cast<T*>(huge_pages::Allocate(n * sizeof(T))); }
    void deallocate(T* p, size_t n) noexcept { huge_pages::Free(p, n * sizeof(T)); }
    template <class U> bool operator==(const HugePageAllocator<U>&) const noexcept { return true; }
};

// Bytes owned in one such block.
class ByteBlock {
public:
    ByteBlock() = default;
    explicit ByteBlock(size_t size)
        : bytes(static_cast<char*>(huge_pages::Allocate(size))), length(size) {}
    ~ByteBlock() { huge_pages::Free(bytes, length); }
    ByteBlock(ByteBlock&& other) noexcept : bytes(other.bytes), length(other.length) {
        other.bytes = nullptr;
        other.length = 0;
    }
    ByteBlock& operator=(ByteBlock&& other) noexcept {
        if (this != &other) {
            huge_pages::Free(bytes, length);
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
