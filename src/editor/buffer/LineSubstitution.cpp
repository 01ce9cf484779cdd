#include "editor/buffer/LineSubstitution.h"

#include <algorithm>
#include <cstring>

void LineSubstitution::Reserve(size_t count) {
    lines.reserve(count);
    firstMatch.reserve(count);
    offsets.reserve(count);
}

void LineSubstitution::Trim() {
    for (auto* list : {&lines, &firstMatch, &offsets})
        if (list->size() * 2 < list->capacity())
            list->shrink_to_fit();
}

void LineSubstitution::Add(int line, int32_t offset) {
    if (lines.empty() || lines.back() != line) {
        lines.push_back(line);
        firstMatch.push_back(int32_t(offsets.size()));
    }
    offsets.push_back(offset);
}

void LineSubstitution::Rewrite(size_t i, std::string_view before, char* out) const {
    // memcpy is not given the null pointer of an empty text, even for 0 bytes.
    const auto put = [&out](const char* from, size_t n) {
        if (n > 0)
            std::memcpy(out, from, n);
        out += n;
    };
    size_t from = 0;
    for (size_t m = MatchBegin(i); m < MatchEnd(i); ++m) {
        const size_t at = size_t(offsets[m]);
        put(before.data() + from, at - from);
        put(replacement.data(), replacement.size());
        from = at + size_t(findLength);
    }
    put(before.data() + from, before.size() - from);
}

TextPos LineSubstitution::LastStart() const {
    const size_t last = lines.size() - 1;
    const int32_t before = int32_t(MatchEnd(last) - MatchBegin(last) - 1);
    return {lines.back(), offsets.back() + before * Shift()};
}

TextPos LineSubstitution::LastEnd() const {
    const TextPos start = LastStart();
    return {start.y, start.x + int32_t(replacement.size())};
}

SubstitutionAdjuster::SubstitutionAdjuster(const LineSubstitution& change, bool forward)
    : PositionAdjuster(change.FirstStart(), change.LastEnd()), change(change), forward(forward) {}

void SubstitutionAdjuster::Adjust(TextPos& pos) const {
    size_t i = 0;
    {
        int lo = 0, hi = int(change.LineCount());
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (change.Line(size_t(mid)) < pos.y)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (size_t(lo) == change.LineCount() || change.Line(size_t(lo)) != pos.y)
            return;
        i = size_t(lo);
    }
    const size_t first = change.MatchBegin(i);
    const size_t end = change.MatchEnd(i);
    const int32_t shift = change.Shift();
    if (forward) {
        // Match by match from the first, as the replacements were made.
        int32_t moved = 0;
        for (size_t m = first; m < end; ++m) {
            const int32_t at = change.Offset(m); // where the position's text has it
            if (pos.x <= at)
                break;
            if (pos.x <= at + change.FindLength()) {
                pos.x = at + moved;
                return;
            }
            moved += shift;
        }
        pos.x += moved;
        return;
    }
    // Taken back from the last replacement, as undo does it: a position sent
    // to the start of one replacement is at the end of the one before it when
    // the two touch, and goes on to that one's start.
    const int32_t length = int32_t(change.Replacement().size());
    for (size_t m = end; m-- > first;) {
        const int32_t at = change.Offset(m) + int32_t(m - first) * shift;
        if (pos.x > at + length)
            pos.x -= shift;
        else if (pos.x > at)
            pos.x = at;
    }
}
