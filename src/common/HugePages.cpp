#include "common/HugePages.h"

#include <sys/mman.h>

namespace huge_pages {

void* Allocate(size_t bytes) {
    if (bytes < kWorthFrom)
        return ::operator new(bytes);
    void* block = ::operator new(bytes, std::align_val_t(kHugePage));
    ::madvise(block, bytes / kHugePage * kHugePage, MADV_HUGEPAGE); // fine if refused
    return block;
}

void Free(void* block, size_t bytes) noexcept {
    if (!block)
        return;
    if (bytes < kWorthFrom)
        ::operator delete(block);
    else
        ::operator delete(block, std::align_val_t(kHugePage));
}

} // namespace huge_pages
