#pragma once
#include "editor/buffer/TextPos.h"

// Moves a position that a view keeps so that it stays on the same text after a
// change between start and end.
class PositionAdjuster {
public:
    PositionAdjuster(TextPos start, TextPos end) : start(start), end(end) {}
    virtual ~PositionAdjuster() = default;
    virtual void Adjust(TextPos& pos) const = 0;

    TextPos start;
    TextPos end;
};

// end is the position after the inserted text. A position exactly at the
// insertion point stays before the new text.
class InsertAdjuster final : public PositionAdjuster {
public:
    using PositionAdjuster::PositionAdjuster;
    void Adjust(TextPos& pos) const override;
};

// A position inside the erased range collapses to its start.
class EraseAdjuster final : public PositionAdjuster {
public:
    using PositionAdjuster::PositionAdjuster;
    void Adjust(TextPos& pos) const override;
};
