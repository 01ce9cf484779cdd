#include "editor/buffer/PositionAdjuster.h"

void InsertAdjuster::Adjust(TextPos& pos) const {
    if (pos.y < start.y)
        return;
    if (pos.y > start.y) {
        pos.y += end.y - start.y;
        return;
    }
    if (pos.x > start.x) {
        pos.x += end.x - start.x;
        pos.y = end.y;
    }
}

void EraseAdjuster::Adjust(TextPos& pos) const {
    if (pos.y < start.y)
        return;
    if (pos.y > end.y) {
        pos.y -= end.y - start.y;
        return;
    }
    if (pos.y == end.y && pos.x >= end.x) {
        pos.x = pos.x - end.x + start.x;
        pos.y = start.y;
        return;
    }
    if (start <= pos)
        pos = start;
}
