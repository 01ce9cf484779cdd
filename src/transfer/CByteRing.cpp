#include "transfer/CByteRing.h"

#include <algorithm>
#include <cstring>
#include <new>

int CByteRing::Init(int size) {
    Free();
    if (size <= 1)
        return RING_BAD_ARG;
    try {
        base = ByteBlock(size_t(size)); // a fast punch fills it from end to end
    } catch (const std::bad_alloc&) {
        return RING_BAD_ARG;
    }
    capacity = size;
    writePos = readPos = 0;
    return RING_OK;
}

void CByteRing::Free() {
    base.reset();
    capacity = 0;
    writePos = readPos = 0;
}

int CByteRing::Room() const {
    if (!base)
        return 0;
    int used = writePos.load() - readPos.load();
    if (used < 0)
        used += capacity;
    return capacity - 1 - used;
}

int CByteRing::Write(const void* data, int length) {
    if (length <= 0 || !data)
        return RING_BAD_ARG;
    if (!base)
        return RING_NOT_READY;
    if (length > Room())
        return RING_FULL;
    const int at = writePos.load();
    const int first = std::min(length, capacity - at);
    std::memcpy(Bytes() + at, data, size_t(first));
    std::memcpy(Bytes(), static_cast<const unsigned char*>(data) + first, size_t(length - first));
    writePos.store((at + length) % capacity);
    return RING_OK;
}

int CByteRing::Read(void* buffer, int maximum) {
    if (maximum <= 0 || !buffer || !base)
        return 0;
    const int at = readPos.load();
    int available = writePos.load() - at;
    if (available < 0)
        available += capacity;
    const int count = std::min(available, maximum);
    const int first = std::min(count, capacity - at);
    std::memcpy(buffer, Bytes() + at, size_t(first));
    std::memcpy(static_cast<unsigned char*>(buffer) + first, Bytes(), size_t(count - first));
    readPos.store((at + count) % capacity);
    return count;
}

void CByteRing::Rewind() {
    if (readPos.load() != writePos.load())
        return;
    readPos.store(0);
    writePos.store(0);
}
