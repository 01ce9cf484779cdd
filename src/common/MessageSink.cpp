#include "common/MessageSink.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

void StderrMessageSink::ShowMessage(const std::string& text, const std::string& caption) {
    static std::mutex lock; // whole lines, even from several threads
    std::lock_guard<std::mutex> hold(lock);
    if (caption.empty())
        std::fprintf(stderr, "%s\n", text.c_str());
    else
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

MessageSink& DefaultMessageSink() {
    static StderrMessageSink sink;
    return sink;
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(size_t(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, args);
        out.resize(size_t(n));
    }
    va_end(args);
    return out;
}
