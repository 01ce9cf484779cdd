#include "editor/text/WordMotion.h"

#include <algorithm>
#include <vector>

#include "editor/text/TextEncoding.h"

namespace {

bool IsAsciiWord(unsigned char b) {
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '_';
}

enum class Kind { Word, White, Punct };

// The characters of a line as (start byte) in order, with the line's length as
// a final sentinel.
std::vector<int> CharStarts(std::string_view line, TextEncoding encoding) {
    std::vector<int> starts;
    starts.reserve(line.size() + 1);
    for (size_t i = 0; i < line.size(); i += CharLength(line, i, encoding))
        starts.push_back(int(i));
    starts.push_back(int(line.size()));
    return starts;
}

// Index into starts of the character that begins at or contains byte index.
size_t CharAt(const std::vector<int>& starts, int index) {
    auto it = std::upper_bound(starts.begin(), starts.end(), index);
    return size_t(it - starts.begin()) - 1;
}

Kind KeyKind(std::string_view line, const std::vector<int>& starts, size_t k) {
    int at = starts[k];
    if (starts[k + 1] - at > 1)
        return Kind::Punct;
    unsigned char b = static_cast<unsigned char>(line[size_t(at)]);
    return IsKeyWordChar(b) ? Kind::Word : IsWhiteByte(b) ? Kind::White : Kind::Punct;
}

bool MouseWord(std::string_view line, const std::vector<int>& starts, size_t k) {
    int at = starts[k];
    unsigned char b = static_cast<unsigned char>(line[size_t(at)]);
    return starts[k + 1] - at > 1 || IsAsciiWord(b) || b >= 0xA0;
}

} // namespace

bool IsKeyWordChar(unsigned char b) {
    return IsAsciiWord(b);
}

bool IsWhiteByte(unsigned char b) {
    return b == ' ' || (b >= '\t' && b <= '\r');
}

int WordLeftInLine(std::string_view line, int index, TextEncoding encoding) {
    auto starts = CharStarts(line, encoding);
    size_t k = CharAt(starts, std::clamp(index, 0, int(line.size())));
    while (k > 0 && KeyKind(line, starts, k - 1) == Kind::White)
        --k;
    if (k == 0)
        return 0;
    Kind run = KeyKind(line, starts, k - 1);
    while (k > 0 && KeyKind(line, starts, k - 1) == run)
        --k;
    return starts[k];
}

int WordRightInLine(std::string_view line, int index, TextEncoding encoding) {
    auto starts = CharStarts(line, encoding);
    const size_t last = starts.size() - 1; // the sentinel
    size_t k = CharAt(starts, std::clamp(index, 0, int(line.size())));
    if (k < last) {
        Kind run = KeyKind(line, starts, k);
        if (run != Kind::White)
            while (k < last && KeyKind(line, starts, k) == run)
                ++k;
    }
    while (k < last && KeyKind(line, starts, k) == Kind::White)
        ++k;
    return starts[k];
}

int WordStartBefore(std::string_view line, int index, TextEncoding encoding) {
    auto starts = CharStarts(line, encoding);
    size_t k = CharAt(starts, std::clamp(index, 0, int(line.size())));
    while (k > 0 && MouseWord(line, starts, k - 1))
        --k;
    return starts[k];
}

int WordEndAfter(std::string_view line, int index, TextEncoding encoding) {
    auto starts = CharStarts(line, encoding);
    const size_t last = starts.size() - 1;
    size_t k = CharAt(starts, std::clamp(index, 0, int(line.size())));
    // An index inside a character counts from that character's start.
    while (k < last && MouseWord(line, starts, k))
        ++k;
    return starts[k];
}

int FirstNonBlank(std::string_view line) {
    int i = 0;
    while (i < int(line.size()) && IsWhiteByte(static_cast<unsigned char>(line[size_t(i)])))
        ++i;
    return i;
}
