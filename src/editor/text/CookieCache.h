#pragma once
#include <cstdint>
#include <functional>
#include <vector>

// The colouring scanner's state at the end of each line of a view. As with the
// length cache, an edit costs time in proportion to what it touches: typing in
// a million-line program stays instant.
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
