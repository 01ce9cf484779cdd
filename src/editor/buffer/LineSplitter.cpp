#include "editor/buffer/LineSplitter.h"

int DetectLineEndMode(const char* block, size_t size) {
    if (size > kDetectBlock)
        size = kDetectBlock;
    const void* hit = std::memchr(block, '\n', size);
    if (!hit)
        return LINE_END_CRLF;
    size_t at = static_cast<size_t>(static_cast<const char*>(hit) - block);
    if (at > 0 && block[at - 1] == '\r')
        return LINE_END_CRLF;
    if (at + 1 < size && block[at + 1] == '\r')
        return LINE_END_LFCR;
    return LINE_END_LF;
}
