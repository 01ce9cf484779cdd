#pragma once
#include <cstdint>

// One line of text. The bytes never include the break that ended the line and
// may hold any byte, NUL included.
// invariant: capacity == 0 means text is not owned (null, or borrowed from the
// load block or a text block); the first growth copies it into a block of its
// own.
struct LineRecord {
    char* text = nullptr;
    int32_t length = 0;
    int32_t capacity = 0;
    uint32_t marks = 0;
};
