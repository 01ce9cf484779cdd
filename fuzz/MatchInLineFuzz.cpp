// MatchInLine and the case folding of the search against naive versions.
//
// Input: byte 0 holds the options (match case, whole word), then the search
// text (a length byte and its bytes), then the line. Checked:
//  - upper-casing changes exactly the ASCII letters that do not belong to a
//    GBK double-byte character, and never the length;
//  - the match is the first offset where the text occurs and, for whole
//    words, no word byte follows it and either no word byte precedes it, or
//    the offset is 0, or the occurrence one byte earlier was rejected (the
//    scan resumed right there and does not look back);
//  - a forward search of a one-line text from its start finds the same place.
#include <string>

#include "FuzzSupport.h"
#include "common/Gbk.h"
#include "editor/buffer/CTextBuffer.h"
#include "editor/text/TextSearch.h"

namespace {

bool WordByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::string Upper(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < text.size()) {
            const auto t = static_cast<unsigned char>(text[i + 1]);
            if (t >= 0x40 && t <= 0xFE && t != 0x7F) {
                out += text.substr(i, 2); // a double-byte character: never folded
                ++i;
                continue;
            }
        }
        out += c >= 'a' && c <= 'z' ? char(c - 32) : char(c);
    }
    return out;
}

int NaiveMatch(std::string_view hay, std::string_view needle, bool wholeWord) {
    if (needle.empty() || needle.size() > hay.size())
        return -1;
    auto occurs = [&](size_t at) { return hay.compare(at, needle.size(), needle) == 0; };
    for (size_t at = 0; at + needle.size() <= hay.size(); ++at) {
        if (!occurs(at))
            continue;
        if (!wholeWord)
            return int(at);
        const size_t after = at + needle.size();
        const bool wordAfter =
            after < hay.size() && WordByte(static_cast<unsigned char>(hay[after]));
        const bool wordBefore = at > 0 && WordByte(static_cast<unsigned char>(hay[at - 1]));
        if (!wordAfter && (!wordBefore || occurs(at - 1)))
            return int(at);
    }
    return -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t options = in.Byte();
    const bool matchCase = options & 1;
    const bool wholeWord = options & 2;
    const std::string_view needle = in.Bytes(24);
    const std::string_view line = in.Rest();

    std::string upperLine, upperNeedle;
    UpperGbk(line, upperLine);
    UpperGbk(needle, upperNeedle);
    FUZZ_CHECK(upperLine == Upper(line),
               "upper case of " + Escaped(line) + " is " + Escaped(upperLine));
    FUZZ_CHECK(upperNeedle == Upper(needle), "upper case of " + Escaped(needle));

    const std::string_view hay = matchCase ? line : std::string_view(upperLine);
    const std::string_view what = matchCase ? needle : std::string_view(upperNeedle);
    const int m = MatchInLine(hay, what, wholeWord);
    const int expected = NaiveMatch(hay, what, wholeWord);
    FUZZ_CHECK(m == expected, "found " + Escaped(what) + " in " + Escaped(hay) + " at " +
                                  std::to_string(m) + ", expected " + std::to_string(expected));

    // The same through the editor's search, where the line is a whole text.
    if (line.find('\r') != std::string_view::npos)
        return 0; // CR would break the line apart
    CTextBuffer buf;
    buf.CreateEmpty();
    int el = 0, eb = 0;
    FUZZ_CHECK(buf.RawInsert(nullptr, 0, 0, line, el, eb), "fill the buffer");
    const uint32_t flags = (matchCase ? SEARCH_CASE : 0u) | (wholeWord ? SEARCH_WORD : 0u);
    TextPos found{-1, -1};
    const bool hit = SearchText(buf, needle, {0, 0}, flags, true, found);
    FUZZ_CHECK(hit == (expected >= 0), "search found " + std::to_string(hit));
    if (hit)
        FUZZ_CHECK(found == (TextPos{0, expected}), "search found " + std::to_string(found.x) +
                                                        ", expected " + std::to_string(expected));
    return 0;
}
