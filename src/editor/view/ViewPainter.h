#pragma once
#include <QColor>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <string_view>
#include <vector>

#include "editor/buffer/TextPos.h"
#include "editor/view/ColourBlock.h"
#include "editor/view/MarginIcons.h"

class CTextView;
class QPainter;

// Paints a text view row by row: each row is drawn into a one-row image and
// copied to the window in one piece, so rows never flicker. GBK text is
// converted to Unicode for drawing only, and every character is placed on its
// own cells, whatever font Qt falls back to for it.
class ViewPainter {
public:
    explicit ViewPainter(CTextView& view) : v(view) {}

    void Paint(QPainter& window, const QRect& dirty);
    void PaintMarginCell(QPainter& p, const QRect& cell, int line);
    void PaintTextLine(QPainter& p, const QRect& row, int line);

    void DropBitmap() { lineBitmap = QImage(); }
    void DropIcons() { iconsLoaded = false; }
    void FontMeasured();
    QCursor MarginCursor() { return icons.Cursor(); }

private:
    struct Brush {
        QColor background;
        QColor text;
    };
    void PaintRun(QPainter& p, QPoint& origin, const QRect& clip, std::string_view line, int start,
                  int count, int lineIndex, Brush& brush);
    void PaintRunPart(QPainter& p, QPoint& origin, const QRect& clip, std::string_view line,
                      int start, int count, const Brush& brush);
    void DrawCells(QPainter& p, int x, int y, std::string_view text, int cells);
    void PaintLineEnd(QPainter& p, const QRect& row, int lineIndex, int textEnd,
                      const QColor& background, bool fillToEdge);

    CTextView& v;
    QImage lineBitmap;
    MarginIcons icons;
    bool iconsLoaded = false;
    std::vector<ColourBlock> blocks;
    // True when the font's advance is exactly one cell, so that an ASCII run
    // can be drawn with one call and still sit on the grid.
    bool asciiOnGrid = false;
    int ascent = 0;
};
