#include "common/ByteBlock.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23 // Linux 5.14
#endif

void PrefaultBytes(void* at, size_t bytes) noexcept {
    const uintptr_t page = uintptr_t(::sysconf(_SC_PAGESIZE));
    const uintptr_t first = (uintptr_t(at) + page - 1) & ~(page - 1);
    const uintptr_t end = (uintptr_t(at) + bytes) & ~(page - 1);
    if (end > first)
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
}
