#pragma once
#include <cstdint>
#include <functional>
#include <vector>

// Tab-expanded line lengths and the longest of them, per line of a view. The
// results are those of measuring every line again, but an edit costs time in
// proportion to the lines it touches, not to the document.
class ExpandedLengthCache {
public:
    using Measure = std::function<int(int line)>;

    void Reset();
    bool Allocated() const { return !lengths.empty(); }
    int Length(int line, int lineCount, const Measure& measure);
    int Longest(int lineCount, const Measure& measure);

    // The buffer has already changed when these run; measure reads the new text.
    // Only line changed:
    void LineChanged(int line, const Measure& measure);
    // Lines were inserted after line, or removed after it, so that the text now
    // has lineCount lines; line itself changed too.
    void LinesChanged(int line, int lineCount, const Measure& measure);
    // Lines from line on may have changed in place: measured again when asked.
    void LinesRewritten(int line);

private:
    void Allocate(int lineCount);
    void Forget(int32_t oldLength);
    void Learn(int32_t newLength);

    std::vector<int32_t> lengths; // -1 = not measured yet
    // -1 = unknown; otherwise the maximum over all lines, measured or not.
    int longest = -1;
};
