#pragma once
#include <QCursor>
#include <QImage>
#include <cstdint>

// The margin's icon strip, drawn in code: fourteen 16 x 16 cells, transparent
// where nothing is drawn. 0 a red arrow pointing right; 1 a red octagon with a
// yellow bar; 2..11 cyan discs with the digits 1, 1, 2 .. 9; 12 a cyan disc
// with 0; 13 a plain yellow disc.
class MarginIcons {
public:
    static constexpr int kIconSize = 16;
    static constexpr int kCellCount = 14;

    // The cell for a line's mark word; -1 when no mark has an icon.
    static int CellForMarks(uint32_t marks);

    const QImage& Strip();
    QImage Cell(int cell);
    // The pointer over the margin: an arrow leaning right, towards the text.
    QCursor Cursor();

private:
    QImage strip;
};
