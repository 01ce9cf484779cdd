#include "editor/text/ExpandedLengthCache.h"

#include <algorithm>

void ExpandedLengthCache::Reset() {
    lengths.clear();
    lengths.shrink_to_fit();
    longest = -1;
}

void ExpandedLengthCache::Allocate(int lineCount) {
    if (lengths.size() != size_t(lineCount))
        lengths.assign(size_t(std::max(lineCount, 0)), -1);
}

int ExpandedLengthCache::Length(int line, int lineCount, const Measure& measure) {
    if (line < 0 || line >= lineCount)
        return 0;
    if (lengths.size() != size_t(lineCount)) {
        Allocate(lineCount);
        longest = -1;
    }
    int32_t& slot = lengths[size_t(line)];
    if (slot < 0)
        slot = measure(line);
    return slot;
}

int ExpandedLengthCache::Longest(int lineCount, const Measure& measure) {
    if (longest >= 0 && lengths.size() == size_t(lineCount))
        return longest;
    int best = 0;
    for (int i = 0; i < lineCount; ++i)
        best = std::max(best, Length(i, lineCount, measure));
    longest = best;
    return longest;
}

void ExpandedLengthCache::Forget(int32_t oldLength) {
    // Losing the (or an) longest line, or one never measured, makes the maximum
    // unknown; anything shorter leaves it standing.
    if (longest >= 0 && (oldLength < 0 || oldLength >= longest))
        longest = -1;
}

void ExpandedLengthCache::Learn(int32_t newLength) {
    if (longest >= 0 && newLength > longest)
        longest = newLength;
}

void ExpandedLengthCache::LineChanged(int line, const Measure& measure) {
    if (line < 0 || size_t(line) >= lengths.size()) {
        longest = -1;
        return;
    }
    int32_t& slot = lengths[size_t(line)];
    const int32_t old = slot;
    slot = measure(line);
    if (slot < old)
        Forget(old);
    else
        Learn(slot);
}

void ExpandedLengthCache::LinesRewritten(int line) {
    if (size_t(std::max(line, 0)) < lengths.size())
        std::fill(lengths.begin() + std::max(line, 0), lengths.end(), -1);
    longest = -1;
}

void ExpandedLengthCache::LinesChanged(int line, int lineCount, const Measure& measure) {
    if (lengths.empty())
        return;
    line = std::max(line, 0);
    if (size_t(line) >= lengths.size() || lineCount <= line) {
        Reset();
        return;
    }
    const long delta = long(lineCount) - long(lengths.size());
    auto after = lengths.begin() + line + 1;
    if (delta > 0) {
        lengths.insert(after, size_t(delta), -1);
        for (int i = line + 1; i <= line + delta; ++i) {
            lengths[size_t(i)] = measure(i);
            Learn(lengths[size_t(i)]);
        }
    } else if (delta < 0) {
        for (auto it = after; it != after + (-delta); ++it)
            Forget(*it);
        lengths.erase(after, after + (-delta));
    }
    LineChanged(line, measure);
}
