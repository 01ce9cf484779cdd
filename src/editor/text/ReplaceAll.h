#pragma once
#include <cstdint>
#include <string_view>

#include "editor/buffer/LineSubstitution.h"
#include "editor/buffer/TextPos.h"

class CTextBuffer;

// The replace dialog's range: with bounded, searches stay in [begin, end);
// otherwise they run to the end of the text. Each replacement moves begin and
// end along their line as the dialog's single Replace step does.
struct ReplaceRange {
    TextPos begin;
    TextPos end;
    bool bounded = false;
};

// The matches that "search forward from from, replace, search on from the end
// of the replacement" would replace until a search fails, found in one pass
// over the text without changing it: the same matches, whole-word and case
// rules included. Taken only when the replacement holds no CR (which would
// break lines); an empty result when nothing matches.
LineSubstitution CollectReplacements(const CTextBuffer& buffer, std::string_view find,
                                     std::string_view replacement, uint32_t flags, TextPos from,
                                     ReplaceRange& range);
