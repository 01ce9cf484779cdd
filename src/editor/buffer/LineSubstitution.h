#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "editor/buffer/PositionAdjuster.h"
#include "editor/buffer/TextPos.h"

// Matches of one length, each inside its line, all replaced by one text: what
// replace all does to the text, as one change. Matches are added in text
// order by where they start before the change; they never overlap.
class LineSubstitution {
public:
    LineSubstitution(int32_t findLength, std::string replacement)
        : findLength(findLength), replacement(std::move(replacement)) {}

    // Room for matches on up to lines lines, so that a big replace all does not
    // copy its lists as they grow; Trim gives back what stayed unused.
    void Reserve(size_t lines);
    void Trim();
    void Add(int line, int32_t offset);
    bool Empty() const { return offsets.empty(); }
    size_t MatchCount() const { return offsets.size(); }
    // The lines that change, ascending, and the matches of each.
    size_t LineCount() const { return lines.size(); }
    int Line(size_t i) const { return lines[i]; }
    size_t MatchBegin(size_t i) const { return size_t(firstMatch[i]); }
    size_t MatchEnd(size_t i) const {
        return i + 1 < lines.size() ? size_t(firstMatch[i + 1]) : offsets.size();
    }
    int32_t Offset(size_t match) const { return offsets[match]; }
    int32_t FindLength() const { return findLength; }
    const std::string& Replacement() const { return replacement; }
    int32_t Shift() const { return int32_t(replacement.size()) - findLength; }

    // Whether every match lies inside its line, in order, without overlap,
    // given the length of each changed line before the change.
    template <class LengthOf> bool FitsLines(LengthOf lengthOf) const {
        int previous = -1;
        for (size_t i = 0; i < lines.size(); ++i) {
            const int64_t length = lengthOf(lines[i]);
            if (lines[i] <= previous || length < 0)
                return false;
            previous = lines[i];
            int64_t from = 0;
            for (size_t m = MatchBegin(i); m < MatchEnd(i); ++m) {
                if (offsets[m] < from || offsets[m] + int64_t(findLength) > length)
                    return false;
                from = offsets[m] + int64_t(findLength);
            }
        }
        return true;
    }
    // Length of changed line i after the change, from its length before.
    int64_t NewLength(size_t i, int32_t oldLength) const {
        return oldLength + int64_t(MatchEnd(i) - MatchBegin(i)) * Shift();
    }
    // Writes changed line i as it reads after the change (NewLength bytes).
    void Rewrite(size_t i, std::string_view before, char* out) const;

    // Where the first match starts, before the change; where the last
    // replacement starts and ends, after it.
    TextPos FirstStart() const { return {lines.front(), offsets.front()}; }
    TextPos LastStart() const;
    TextPos LastEnd() const;

private:
    int32_t findLength;
    std::string replacement;
    std::vector<int32_t> lines;
    std::vector<int32_t> firstMatch; // per changed line, its first match's index
    std::vector<int32_t> offsets;    // per match, its start before the change
};

// Keeps positions on the same text through a substitution, forward or taken
// back, as erasing each match and inserting its replacement would: a position
// inside a match or at its end goes to its start, one after it moves with the
// text.
class SubstitutionAdjuster final : public PositionAdjuster {
public:
    SubstitutionAdjuster(const LineSubstitution& change, bool forward);
    void Adjust(TextPos& pos) const override;

private:
    const LineSubstitution& change;
    bool forward;
};
