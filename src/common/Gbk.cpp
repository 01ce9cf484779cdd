#include "common/Gbk.h"

#include <cerrno>
#include <iconv.h>

namespace {

// One converter per direction and thread: opening a converter costs far more
// than converting the few bytes of a painted run.
class Converter {
public:
    Converter(const char* to, const char* from) : cd(iconv_open(to, from)) {}
    ~Converter() {
        if (cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Ok() const { return cd != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible; returns false at a byte sequence it cannot
    // take, with in and inLeft pointing at it.
    bool Run(const char*& in, size_t& inLeft, std::string& out, int& err) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char buf[1024];
        while (inLeft > 0) {
            char* dst = buf;
            size_t dstLeft = sizeof buf;
            char* src = const_cast<char*>(in);
            size_t r = iconv(cd, &src, &inLeft, &dst, &dstLeft);
            in = src;
            out.append(buf, size_t(dst - buf));
            if (r == size_t(-1)) {
                if (errno == E2BIG)
                    continue;
                err = errno;
                return false;
            }
        }
        return true;
    }

private:
    iconv_t cd;
};

size_t Utf8SequenceLength(unsigned char b) {
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF)
        return 2;
    if (b >= 0xE0 && b <= 0xEF)
        return 3;
    if (b >= 0xF0 && b <= 0xF4)
        return 4;
    return 0; // never starts a sequence
}

// True when s[i..] holds a whole, well-formed sequence of length n.
bool WellFormedSequence(std::string_view s, size_t i, size_t n) {
    if (n == 0 || i + n > s.size())
        return false;
    for (size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return false;
    return true;
}

} // namespace

std::string GbkToUtf8(std::string_view gbk) {
    thread_local Converter conv("UTF-8", "GBK");
    std::string out;
    out.reserve(gbk.size() * 3 / 2);
    const char* in = gbk.data();
    size_t left = gbk.size();
    while (left > 0) {
        int err = 0;
        if (conv.Ok() && conv.Run(in, left, out, err))
            break;
        // A byte that starts no character: one replacement character per byte,
        // so every cell still shows something.
        out += "\xEF\xBF\xBD";
        ++in;
        --left;
    }
    return out;
}

std::string Utf8ToGbk(std::string_view utf8) {
    thread_local Converter conv("GBK", "UTF-8");
    std::string out;
    out.reserve(utf8.size());
    const char* in = utf8.data();
    size_t left = utf8.size();
    while (left > 0) {
        int err = 0;
        if (conv.Ok() && conv.Run(in, left, out, err))
            break;
        // Skip a whole character that GBK lacks, or one byte of malformed input.
        size_t at = size_t(in - utf8.data());
        size_t n = Utf8SequenceLength(static_cast<unsigned char>(*in));
        size_t skip = WellFormedSequence(utf8, at, n) ? n : 1;
        out += '?';
        in += skip;
        left -= skip;
    }
    return out;
}

size_t Utf8CompletePrefix(std::string_view utf8) {
    size_t n = utf8.size();
    // Look back at most three bytes for the start of a sequence.
    for (size_t back = 1; back <= 3 && back <= n; ++back) {
        unsigned char b = static_cast<unsigned char>(utf8[n - back]);
        if ((b & 0xC0) == 0x80)
            continue;
        size_t len = Utf8SequenceLength(b);
        return len > back ? n - back : n;
    }
    return n;
}
