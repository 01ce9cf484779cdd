#include "editor/text/TextSearch.h"

#include <algorithm>
#include <climits>

#include "common/Gbk.h"
#include "editor/buffer/CTextBuffer.h"

namespace {

bool IsWordByte(unsigned char b) {
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '_';
}

// The text of one line as the search compares it: as is, or upper-cased into
// scratch.
std::string_view Haystack(std::string_view line, bool matchCase, std::string& scratch) {
    if (matchCase)
        return line;
    UpperGbk(line, scratch);
    return scratch;
}

// The last match in hay that starts before limit, or -1.
int LastMatchBefore(std::string_view hay, std::string_view what, bool word, int limit) {
    int best = -1;
    size_t from = 0;
    while (from < hay.size()) {
        const int m = MatchInLine(hay.substr(from), what, word);
        if (m < 0 || int(from) + m >= limit)
            break;
        best = int(from) + m;
        from = size_t(best) + 1;
    }
    return best;
}

bool SearchForward(const CTextBuffer& buffer, std::string_view what, TextPos start, TextPos begin,
                   TextPos end, uint32_t flags, bool wrap, TextPos& found) {
    const bool matchCase = flags & SEARCH_CASE;
    const bool word = flags & SEARCH_WORD;
    std::string scratch;
    TextPos cur = start < begin ? begin : start;
    for (;;) {
        while (cur.y <= end.y) {
            const std::string_view line = buffer.LineView(cur.y);
            if (int(line.size()) - cur.x <= 0) {
                cur = {cur.y + 1, 0};
                continue;
            }
            const std::string_view hay = Haystack(line.substr(size_t(cur.x)), matchCase, scratch);
            const int m = MatchInLine(hay, what, word);
            if (m < 0) {
                cur = {cur.y + 1, 0};
                continue;
            }
            cur.x += m;
            if (cur.y == end.y && cur.x >= end.x)
                break; // starts outside the range: the range is exhausted
            found = cur;
            return true;
        }
        if (!wrap)
            return false;
        wrap = false;
        cur = begin;
    }
}

bool SearchBackward(const CTextBuffer& buffer, std::string_view what, TextPos start, uint32_t flags,
                    bool wrap, TextPos& found) {
    const bool matchCase = flags & SEARCH_CASE;
    const bool word = flags & SEARCH_WORD;
    const int last = buffer.CountLines() - 1;
    std::string scratch;
    int y = std::min(start.y, last);
    int limit = start.y > last ? INT_MAX : start.x;
    for (;;) {
        for (; y >= 0; --y, limit = INT_MAX) {
            const std::string_view hay = Haystack(buffer.LineView(y), matchCase, scratch);
            const int m = LastMatchBefore(hay, what, word, limit);
            if (m >= 0) {
                found = {y, m};
                return true;
            }
        }
        if (!wrap)
            return false;
        wrap = false;
        y = last;
        limit = INT_MAX;
    }
}

} // namespace

int MatchInLine(std::string_view haystack, std::string_view needle, bool wholeWord) {
    if (needle.empty())
        return -1;
    size_t p = 0;
    for (;;) {
        const size_t at = haystack.find(needle, p);
        if (at == std::string_view::npos)
            return -1;
        if (!wholeWord)
            return int(at);
        const size_t after = at + needle.size();
        const bool wordBefore = at != p && IsWordByte(static_cast<unsigned char>(haystack[at - 1]));
        const bool wordAfter =
            after < haystack.size() && IsWordByte(static_cast<unsigned char>(haystack[after]));
        if (!wordBefore && !wordAfter)
            return int(at);
        p = at + 1;
    }
}

void UpperGbk(std::string_view text, std::string& out) {
    out.assign(text);
    for (size_t i = 0; i < out.size();) {
        const size_t n = GbkCharLength(out, i);
        if (n == 1 && out[i] >= 'a' && out[i] <= 'z')
            out[i] = char(out[i] - 'a' + 'A');
        i += n;
    }
}

bool SearchInRange(const CTextBuffer& buffer, std::string_view text, TextPos start, TextPos begin,
                   TextPos end, uint32_t flags, bool wrap, TextPos& found) {
    if (begin == end || buffer.CountLines() == 0)
        return false;
    std::string upper;
    std::string_view what = text;
    if (!(flags & SEARCH_CASE)) {
        UpperGbk(text, upper);
        what = upper;
    }
    if (flags & SEARCH_BACKWARD)
        return SearchBackward(buffer, what, start, flags, wrap, found);
    end.y = std::min(end.y, buffer.CountLines() - 1);
    return SearchForward(buffer, what, start, begin, end, flags, wrap, found);
}

bool SearchText(const CTextBuffer& buffer, std::string_view text, TextPos start, uint32_t flags,
                bool wrap, TextPos& found) {
    const int last = buffer.CountLines() - 1;
    if (last < 0)
        return false;
    return SearchInRange(buffer, text, start, {0, 0}, {last, buffer.LineSize(last)}, flags, wrap,
                         found);
}
