#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "editor/buffer/TextPos.h"

class CTextBuffer;

// Search flags of the find and replace commands.
enum : uint32_t {
    SEARCH_CASE = 0x01,     // match case; otherwise both texts compare in upper case
    SEARCH_WORD = 0x02,     // whole words only
    SEARCH_BACKWARD = 0x10, // towards the start of the text
};

// The first occurrence of needle in haystack, as a byte offset from its start,
// or -1; an empty needle is never found. With wholeWord an occurrence is
// rejected when a word byte (ASCII letter, digit, '_') follows it, or precedes
// it and it does not begin exactly at the scan point; the scan then resumes one
// byte after the rejected start. The byte before haystack is never looked at.
int MatchInLine(std::string_view haystack, std::string_view needle, bool wholeWord);

// Upper-cases the ASCII letters that stand alone; both bytes of a GBK
// double-byte character stay as they are, so the length never changes.
void UpperGbk(std::string_view text, std::string& out);

// Forward: the first match at or after start (never before begin) whose start
// lies before end; a match may reach past end. With wrap, an exhausted range
// is searched once more from begin. Backward: the last match that starts before
// start, line by line towards the top, then (with wrap) from the last line; the
// range takes no part. Matches never span a line break.
bool SearchInRange(const CTextBuffer& buffer, std::string_view text, TextPos start, TextPos begin,
                   TextPos end, uint32_t flags, bool wrap, TextPos& found);

// SearchInRange over the whole text.
bool SearchText(const CTextBuffer& buffer, std::string_view text, TextPos start, uint32_t flags,
                bool wrap, TextPos& found);
