#pragma once
#include <cstdint>
#include <functional>
#include <vector>

// Per-line caches of the text view. Both keep the results a full recomputation
// would give, but an edit costs time in proportion to the lines it touches, not
// to the document: a typed character in a million-line program stays instant.

// Tab-expanded line lengths and the longest of them.
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

private:
    void Allocate(int lineCount);
    void Forget(int32_t oldLength);
    void Learn(int32_t newLength);

    std::vector<int32_t> lengths; // -1 = not measured yet
    // -1 = unknown; otherwise the maximum over all lines, measured or not.
    int longest = -1;
};

// The scanner's state at the end of each line.
// invariant: cookies[0 .. validCount) are right for the current text.
class CookieCache {
public:
    using Scan = std::function<uint32_t(uint32_t cookie, int line)>;

    void Reset();
    // The cookie at the start of line (the end of line - 1; 0 for line 0),
    // scanning forward from the last known line as needed.
    uint32_t CookieBefore(int line, const Scan& scan);
    // The cookie at the end of line, as just computed by a painter.
    void Store(int line, uint32_t cookie);

    // Only the text of line changed; the lines after it did not. If its new
    // cookie turns out the same as before, the cookies after it stand.
    void LineChanged(int line);
    // Lines from line on changed or moved.
    void LinesChanged(int line, int lineCount);

    int ValidCount() const { return validCount; }

private:
    std::vector<uint32_t> cookies;
    int validCount = 0;
    // After LineChanged: what was known before, to restore when pendingLine
    // rescans to its old cookie. pendingLine -1 = nothing pending.
    int pendingLine = -1;
    int pendingValid = 0;
    uint32_t pendingOld = 0;
};
