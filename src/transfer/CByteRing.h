#pragma once
#include <atomic>
#include <cstddef>
#include <memory>

#include "common/ByteBlock.h"

enum : int {
    RING_FULL = -101,
    RING_NOT_READY = -103,
    RING_OK = -104,
    RING_BAD_ARG = -105,
};

// A fixed-size byte ring with one writer and one reader; it holds at most
// capacity - 1 bytes. A write stores all of its bytes or none.
// Threads: the writer and the reader may be different threads; IsEmpty may be
// asked from any thread.
class CByteRing {
public:
    CByteRing() = default;
    int Init(int size);
    bool IsEmpty() const { return readPos.load() == writePos.load(); }
    int Write(const void* data, int length);
    int Read(void* buffer, int maximum);
    void Free();
    int Capacity() const { return capacity; }
    // Bytes a Write could take now.
    int Room() const;
    // When empty, starts again at the front, so that a long stream keeps
    // using the same few pages instead of touching the whole ring. Only for a
    // ring whose writer and reader are one thread; an IsEmpty asked elsewhere
    // meanwhile may see it non-empty for a moment.
    void Rewind();

private:
    unsigned char* Bytes() const { return reinterpret_cast<unsigned char*>(base.get()); }

    ByteBlock base;
    int capacity = 0;
    std::atomic<int> writePos{0};
    std::atomic<int> readPos{0};
};
