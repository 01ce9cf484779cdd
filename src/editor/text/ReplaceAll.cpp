#include "editor/text/ReplaceAll.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "editor/buffer/CTextBuffer.h"
#include "editor/text/TextSearch.h"

namespace {

// A line as a case-blind search compares it, from some offset on. While the
// part upper-cased holds no byte of a double-byte character, every later
// offset starts a character too, and its slice serves the next search as is.
class UpperLine {
public:
    std::string_view From(int line, std::string_view text, size_t offset) {
        if (line != cachedLine || !plain || offset < start) {
            cachedLine = line;
            start = offset;
            plain = Upper(text.substr(offset));
        }
        return std::string_view(upper).substr(offset - start);
    }

private:
    // Upper-cases as UpperGbk does; true when every byte was ASCII. Eight
    // ASCII bytes at a time: no byte below 0x80 carries into the next.
    bool Upper(std::string_view text) {
        upper.resize(text.size());
        size_t i = 0;
        for (; i + 8 <= text.size(); i += 8) {
            uint64_t w;
            std::memcpy(&w, text.data() + i, 8);
            if (w & kHigh)
                break;
            const uint64_t fromA = w + kOnes * (0x80 - 'a');
            const uint64_t pastZ = w + kOnes * (0x80 - 'z' - 1);
            w ^= ((fromA ^ pastZ) & kHigh) >> 2; // 0x20 off each lower-case letter
            std::memcpy(upper.data() + i, &w, 8);
        }
        for (; i < text.size(); ++i) {
            const unsigned char b = static_cast<unsigned char>(text[i]);
            if (b >= 0x80) {
                std::string rest;
                UpperGbk(text.substr(i), rest);
                upper.replace(i, std::string::npos, rest);
                return false;
            }
            upper[i] = b >= 'a' && b <= 'z' ? char(b - 'a' + 'A') : char(b);
        }
        return true;
    }

    static constexpr uint64_t kOnes = 0x0101010101010101u;
    static constexpr uint64_t kHigh = 0x8080808080808080u;
    std::string upper;
    int cachedLine = -1;
    size_t start = 0;
    bool plain = false;
};

// Adds each match to change, as CollectReplacements tells.
void FindEach(const CTextBuffer& buffer, std::string_view find, uint32_t flags, TextPos from,
              ReplaceRange& range, LineSubstitution& change) {
    const int last = buffer.CountLines() - 1;
    const bool matchCase = flags & SEARCH_CASE;
    const bool word = flags & SEARCH_WORD;
    std::string upperFind;
    std::string_view what = find;
    if (!matchCase) {
        UpperGbk(find, upperFind);
        what = upperFind;
    }
    const int32_t shift = change.Shift();
    change.Reserve(size_t(last + 1 - std::clamp(from.y, 0, last)));
    UpperLine upper;
    // Positions are in the text as it reads after the replacements so far,
    // which differs from the buffer only on the line last replaced in.
    int doneLine = -1;
    int32_t doneShift = 0;
    TextPos cur = from;
    for (;;) {
        if (range.bounded && range.begin == range.end)
            return;
        const TextPos end{std::min(range.end.y, last), range.end.x};
        if (range.bounded && cur < range.begin)
            cur = range.begin;
        bool hit = false;
        while (!hit && cur.y <= (range.bounded ? end.y : last)) {
            const std::string_view line = buffer.LineView(cur.y);
            const int32_t moved = cur.y == doneLine ? doneShift : 0;
            const int64_t offset = int64_t(cur.x) - moved; // in the buffer's line
            if (int64_t(line.size()) - offset <= 0) {
                cur = {cur.y + 1, 0};
                continue;
            }
            const std::string_view hay =
                matchCase ? line.substr(size_t(offset)) : upper.From(cur.y, line, size_t(offset));
            const int m = MatchInLine(hay, what, word);
            if (m < 0) {
                cur = {cur.y + 1, 0};
                continue;
            }
            cur.x += m;
            if (range.bounded && cur.y == end.y && cur.x >= end.x)
                return; // starts outside the range
            change.Add(cur.y, int32_t(offset + m));
            hit = true;
        }
        if (!hit)
            return;
        for (TextPos* p : {&range.begin, &range.end})
            if (p->y == cur.y && p->x > cur.x)
                p->x += shift;
        if (doneLine != cur.y) {
            doneLine = cur.y;
            doneShift = 0;
        }
        doneShift += shift;
        cur.x += int32_t(change.Replacement().size());
    }
}

} // namespace

LineSubstitution CollectReplacements(const CTextBuffer& buffer, std::string_view find,
                                     std::string_view replacement, uint32_t flags, TextPos from,
                                     ReplaceRange& range) {
    LineSubstitution change(int32_t(find.size()), std::string(replacement));
    if (find.empty() || buffer.CountLines() == 0 ||
        replacement.find('\r') != std::string_view::npos)
        return change;
    FindEach(buffer, find, flags, from, range, change);
    change.Trim();
    return change;
}
