#include "cli/VcncPunch.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/Gbk.h"
#include "editor/buffer/CTextBuffer.h"

namespace {

constexpr char DC2 = 0x12;
constexpr char DC4 = 0x14;
constexpr char kBom[] = "\xEF\xBB\xBF";
constexpr int64_t kNsPerSecond = 1'000'000'000;

} // namespace

bool LoadPunchText(const std::string& path, bool lf, std::string& text, std::string& error) {
    text.clear();
    if (lf) {
        CTextBuffer buffer;
        FileError fileError;
        if (!buffer.LoadFromDisk(path, LINE_END_DETECT, &fileError)) {
            error = fileError.Describe();
            return false;
        }
        for (int i = 0; i < buffer.CountLines(); ++i) {
            if (i > 0)
                text += '\n';
            text += buffer.LineView(i);
        }
        return true;
    }
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0)
        text.append(chunk, n);
    const bool failed = std::ferror(in);
    std::fclose(in);
    if (failed) {
        error = "read error";
        return false;
    }
    return true;
}

std::string PunchBytes(std::string_view text, const VcncPunchOptions& options) {
    std::string out;
    if (options.frame) {
        out += DC2;
        if (options.utf8)
            out += kBom;
    }
    out += options.utf8 ? GbkToUtf8(text) : std::string(text);
    if (options.frame)
        out += DC4;
    return out;
}

VcncPunchPacer::VcncPunchPacer(std::string bytes, long rate, Time start)
    : bytes(std::move(bytes)), rate(rate), start(start) {}

std::string_view VcncPunchPacer::Due(Time now) const {
    size_t due = bytes.size();
    if (rate > 0) {
        const int64_t ns = std::max<int64_t>(
            0, std::chrono::duration_cast<std::chrono::nanoseconds>(now - start).count());
        const int64_t n = ns / kNsPerSecond * rate + ns % kNsPerSecond * rate / kNsPerSecond;
        due = size_t(std::min<int64_t>(n, int64_t(bytes.size())));
    }
    if (due <= sent)
        return {};
    return std::string_view(bytes).substr(sent, due - sent);
}

VcncPunchPacer::Time VcncPunchPacer::NextDue() const {
    if (rate <= 0)
        return start;
    const int64_t n = int64_t(sent) + 1;
    const int64_t ns = n / rate * kNsPerSecond + (n % rate * kNsPerSecond + rate - 1) / rate;
    return start + std::chrono::nanoseconds(ns);
}
