#pragma once
#include <QColor>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <vector>

#include "editor/text/ColourBlock.h"
#include "editor/text/LineGeometry.h"
#include "editor/view/MarginIcons.h"

class CTextView;
class QPainter;
struct ViewState;

// Paints a text view row by row: each row is drawn into a one-row image and
// copied to the window in one piece, so rows never flicker. Only the
// characters in sight are laid out and drawn, whole: a double-byte character
// that a colour run boundary cuts takes the colour of its first byte. Every
// character is placed on its own cells, whatever font Qt falls back to for it.
class ViewPainter {
public:
    ViewPainter(CTextView& view, ViewState& state) : v(view), st(state) {}

    // What a row shows: one piece per character, or per run of plain ASCII
    // characters of one colour that the font draws on the grid.
    struct Piece {
        int column;    // first cell
        int cells;     // cells covered
        QString text;  // what is drawn there (empty for blanks)
        int colour;    // colour index of the run holding the first byte
        bool selected; // drawn in the selection colours
        bool asciiRun; // printable ASCII, drawn from its first cell on
        int byte;      // where its bytes start in the line
    };
    // Lays out the visible part of a line (columns firstColumn .. firstColumn +
    // columns - 1) as the painter draws it.
    const std::vector<Piece>& LayoutRow(int line, int columns);

    void Paint(QPainter& window, const QRect& dirty);
    void PaintMarginCell(QPainter& p, const QRect& cell, int line);
    void PaintTextLine(QPainter& p, const QRect& row, int line);

    void DropBitmap() { lineBitmap = QImage(); }
    void DropIcons() { iconsLoaded = false; }
    void FontMeasured();
    QCursor MarginCursor() { return icons.Cursor(); }

private:
    QString Glyph(std::string_view line, const CellChar& c) const;
    void PaintLineEnd(QPainter& p, const QRect& row, int lineIndex, int textEnd,
                      const QColor& background, bool fillToEdge);

    CTextView& v;
    ViewState& st;
    QImage lineBitmap;
    MarginIcons icons;
    bool iconsLoaded = false;
    ColourBlocks blocks;
    std::vector<CellChar> chars;
    std::vector<Piece> pieces;
    // True when the font's advance is exactly one cell, so that an ASCII run
    // can be drawn with one call and still sit on the grid.
    bool asciiOnGrid = false;
    int ascent = 0;
};
