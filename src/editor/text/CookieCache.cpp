#include "editor/text/CookieCache.h"

#include <algorithm>

void CookieCache::Reset() {
    cookies.clear();
    cookies.shrink_to_fit();
    validCount = 0;
    pendingLine = -1;
}

uint32_t CookieCache::CookieBefore(int line, const Scan& scan) {
    if (line <= 0)
        return 0;
    if (cookies.size() < size_t(line))
        cookies.resize(size_t(line));
    while (validCount < line) {
        int at = validCount;
        Store(at, scan(at == 0 ? 0 : cookies[size_t(at - 1)], at));
        if (validCount == at) // Store refused: cannot happen, but never spin
            break;
    }
    return cookies[size_t(line - 1)];
}

void CookieCache::Store(int line, uint32_t cookie) {
    if (line < 0 || line > validCount)
        return; // a gap before it: this cookie could not be trusted later
    if (cookies.size() <= size_t(line))
        cookies.resize(size_t(line) + 1);
    if (line < validCount)
        return; // already known, and the same text gives the same cookie
    const bool same = line == pendingLine && pendingOld == cookie;
    cookies[size_t(line)] = cookie;
    validCount = line + 1;
    if (line == pendingLine) {
        if (same)
            validCount = std::max(validCount, pendingValid);
        pendingLine = -1;
    }
}

void CookieCache::LineChanged(int line) {
    line = std::max(line, 0);
    if (line == pendingLine)
        return; // typed again into the same line: what follows it still waits
    if (pendingLine >= 0 && line > pendingLine) {
        // A later line changed while an earlier one waits: what lies beyond the
        // later one can no longer be restored.
        pendingValid = std::min(pendingValid, line);
        return;
    }
    if (line < validCount - 1) {
        pendingLine = line;
        pendingOld = cookies[size_t(line)];
        pendingValid = validCount;
    } else {
        pendingLine = -1;
    }
    validCount = std::min(validCount, line);
}

void CookieCache::LinesChanged(int line, int lineCount) {
    line = std::max(line, 0);
    pendingLine = -1;
    validCount = std::min(validCount, line);
    if (cookies.size() > size_t(std::max(lineCount, 0)))
        cookies.resize(size_t(std::max(lineCount, 0)));
}
