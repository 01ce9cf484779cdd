#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "editor/buffer/LineRecord.h"
#include "editor/buffer/LineSubstitution.h"
#include "editor/buffer/TextPos.h"

enum : uint32_t {
    ENTRY_INSERT = 0x0001,      // an insertion; otherwise an erasure
    ENTRY_SUBSTITUTE = 0x0002,  // a substitution (replace all)
    ENTRY_GROUP_START = 0x0100, // the first entry of its group
};

// A substitution and the line texts on its other side: undo and redo swap
// them with the buffer's, so neither copies a byte however many lines changed.
// The lengths follow from the buffer's: each differs by the matches' shift.
struct SubstitutionUndo {
    explicit SubstitutionUndo(LineSubstitution change) : change(std::move(change)) {}
    ~SubstitutionUndo() {
        for (size_t i = 0; i < texts.size(); ++i)
            if (owned[i])
                line_block::Free(texts[i]);
    }
    SubstitutionUndo(const SubstitutionUndo&) = delete;
    SubstitutionUndo& operator=(const SubstitutionUndo&) = delete;

    LineSubstitution change;
    std::vector<char*> texts; // per changed line
    std::vector<bool> owned;  // per changed line: texts[i] is a line_block
};

// One recorded change. Short texts (typing) live inside the string without an
// allocation of their own.
struct UndoEntry {
    uint32_t flags = 0;
    TextPos start;
    TextPos end;
    int32_t action = 0;
    std::string text;
    // For an erasure whose lines cannot be told apart from text once joined
    // with CR LF (a line holding a CR byte): the length of each erased piece, so
    // that undo puts back exactly the bytes it took. Empty otherwise.
    std::vector<int32_t> pieces;
    // With ENTRY_SUBSTITUTE: the change and what it swapped out.
    std::unique_ptr<SubstitutionUndo> substitution;
};
