#include "serial/ParmrkFilter.h"

#include <cstring>

size_t ParmrkFilter::Filter(char* bytes, size_t length) {
    size_t out = 0;
    for (size_t in = 0; in < length; ++in) {
        const auto b = static_cast<unsigned char>(bytes[in]);
        if (pending == 2) { // the damaged character itself
            // A break (or a damaged NUL, which is dropped anyway) leaves no text.
            if (b != 0)
                bytes[out++] = '?';
            bad.fetch_add(1);
            pending = 0;
            continue;
        }
        if (pending == 1) {
            pending = 0;
            if (b == 0377) {
                bytes[out++] = char(0377);
                continue;
            }
            if (b == 0) {
                pending = 2;
                continue;
            }
            // Not a mark the kernel makes: the lone 0xFF is counted as damage
            // (keeping it could grow the text past the bytes read).
            bad.fetch_add(1);
        }
        if (b == 0377) {
            pending = 1;
            continue;
        }
        // Runs of ordinary bytes move as a block.
        const void* mark = std::memchr(bytes + in, 0377, length - in);
        const size_t run =
            mark ? size_t(static_cast<char*>(const_cast<void*>(mark)) - (bytes + in)) : length - in;
        std::memmove(bytes + out, bytes + in, run);
        out += run;
        in += run - 1;
    }
    return out;
}
