#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "editor/buffer/TextPos.h"

enum : uint32_t {
    ENTRY_INSERT = 0x0001,      // an insertion; otherwise an erasure
    ENTRY_GROUP_START = 0x0100, // the first entry of its group
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
};
