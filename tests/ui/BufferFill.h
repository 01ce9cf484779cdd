#pragma once
#include <string>
#include <vector>

#include "editor/buffer/CTextBuffer.h"

// Replaces the buffer's text with the given lines, outside the undo history.
inline void FillBuffer(CTextBuffer& buffer, const std::vector<std::string>& lines) {
    buffer.ReleaseAll();
    buffer.CreateEmpty();
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i)
        text += (i ? "\r\n" : "") + lines[i];
    int endLine = 0, endByte = 0;
    buffer.RawInsert(nullptr, 0, 0, text, endLine, endByte);
}
