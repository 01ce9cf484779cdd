#include "editor/view/ViewPainter.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "common/Gbk.h"
#include "editor/view/CTextView.h"
#include "editor/view/ViewState.h"

namespace {

bool PrintableAscii(unsigned char b) {
    return b >= 0x20 && b < 0x7F;
}

} // namespace

void ViewPainter::FontMeasured() {
    const QFont font = v.FontFor(false, false);
    QFontMetricsF fm(font);
    const int cw = v.CharWidth();
    asciiOnGrid = std::abs(fm.horizontalAdvance(QLatin1Char('X')) - cw) < 0.001 &&
                  std::abs(fm.horizontalAdvance(QLatin1Char('i')) - cw) < 0.001;
    ascent = QFontMetrics(font).ascent();
}

void ViewPainter::Paint(QPainter& window, const QRect& dirty) {
    const QRect client = v.viewport()->rect();
    const int h = v.LineHeight();
    const int count = v.LineCount();
    v.OrderSelection();
    if (lineBitmap.isNull() || lineBitmap.width() != client.width() || lineBitmap.height() != h)
        lineBitmap = QImage(std::max(1, client.width()), h, QImage::Format_RGB32);

    const int margin = v.MarginWidth();
    const int firstRow = std::max(0, dirty.top() / h);
    for (int row = firstRow; row * h < client.height() && row * h <= dirty.bottom(); ++row) {
        const int line = st.topLine + row;
        {
            QPainter p(&lineBitmap);
            p.setFont(v.FontFor(false, false));
            // Text first: the margin then covers what a wide character cut by
            // the left edge overhangs.
            PaintTextLine(p, QRect(margin, 0, client.width() - margin, h),
                          line < count ? line : -1);
            PaintMarginCell(p, QRect(0, 0, margin, h), line < count ? line : -1);
        }
        window.drawImage(0, row * h, lineBitmap);
    }
    if (v.CaretShown() && v.CaretRect().intersects(dirty))
        window.fillRect(v.CaretRect(), v.ColourOfIndex(COLOUR_NORMAL_TEXT));
}

void ViewPainter::PaintMarginCell(QPainter& p, const QRect& cell, int line) {
    p.fillRect(cell, v.ColourOfIndex(COLOUR_MARGIN));
    if (line < 0)
        return;
    if (v.LineNumbersShown()) {
        // Right-aligned in the margin, left of the icon cell.
        const QRect digits(cell.left(), cell.top(),
                           cell.width() - CTextView::kIconMarginWidth - v.CharWidth() / 2,
                           cell.height());
        p.setPen(v.palette().color(QPalette::Disabled, QPalette::Text));
        p.drawText(digits, Qt::AlignRight | Qt::AlignVCenter, QString::number(line + 1));
    }
    const int icon = MarginIcons::CellForMarks(v.LineFlags(line));
    if (icon < 0)
        return;
    iconsLoaded = true;
    const int size = MarginIcons::kIconSize;
    const int left = cell.right() + 1 - CTextView::kIconMarginWidth;
    p.drawImage(QPoint(left + 2, cell.top() + (cell.height() - size) / 2), icons.Strip(),
                QRect(icon * size, 0, size, size));
}

QString ViewPainter::Glyph(std::string_view line, const CellChar& c) const {
    const std::string_view bytes = line.substr(size_t(c.byte), size_t(c.length));
    const unsigned char b = static_cast<unsigned char>(bytes[0]);
    if (c.tab || c.cells == 0)
        return {};
    if (c.length == 1) {
        if (PrintableAscii(b))
            return QString(QLatin1Char(char(b)));
        if (b < 0x20 || b == 0x7F)
            return QString(QChar(0x00B7)); // a control byte: a dot, not a gap
        return QString(QChar(0xFFFD));     // a byte that starts no character
    }
    if (v.Encoding() == TextEncoding::Utf8) {
        const char32_t code = DecodeUtf8(line, size_t(c.byte), size_t(c.length));
        if (code < 0xA0)
            return QString(QChar(0x00B7)); // a C1 control
        return QString::fromUcs4(&code, 1);
    }
    return QString::fromStdString(GbkToUtf8(bytes));
}

const std::vector<ViewPainter::Piece>& ViewPainter::LayoutRow(int line, int columns) {
    pieces.clear();
    const std::string_view text = v.LineView(line);
    const TextEncoding encoding = v.Encoding();
    CharsInColumns(text, st.firstColumn, st.firstColumn + columns, v.TabSize(), encoding, chars,
                   v.ColumnsOf(line));

    // Colour runs only for the bytes in sight, so that a very long line costs
    // memory and drawing in proportion to the window, not to the line.
    const int n = static_cast<int>(text.size());
    const int fromByte = chars.empty() ? n : chars.front().byte;
    const int toByte = chars.empty() ? n : chars.back().byte + chars.back().length;
    blocks.Reset(fromByte, toByte);
    v.StoreCookie(line, v.ScanLineColours(v.CookieBefore(line), line, &blocks));

    const bool showSelection = st.focused || st.keepSelectionVisible;
    const TextPos selFrom = st.orderedSelStart, selTo = st.orderedSelEnd;
    auto selected = [&](int byte) {
        if (!showSelection)
            return false;
        const TextPos at{line, byte};
        return selFrom <= at && at < selTo;
    };
    size_t block = 0;
    int colour = COLOUR_NORMAL_TEXT;
    for (const CellChar& c : chars) {
        while (block < blocks.size() && blocks[block].pos <= c.byte)
            colour = blocks[block++].colour;
        const bool sel = selected(c.byte);
        const unsigned char b = static_cast<unsigned char>(text[size_t(c.byte)]);
        const bool ascii = !c.tab && c.length == 1 && PrintableAscii(b);
        Piece* last = pieces.empty() ? nullptr : &pieces.back();
        // A font whose advance is not exactly a cell draws ASCII one by one.
        if (ascii && asciiOnGrid && last != nullptr && last->asciiRun && last->colour == colour &&
            last->selected == sel && last->column + last->cells == c.column) {
            last->cells += 1;
            continue;
        }
        pieces.push_back(
            {c.column, c.cells, ascii ? QString() : Glyph(text, c), colour, sel, ascii, c.byte});
    }
    // An ASCII run's text is made once, when its length is known.
    for (Piece& piece : pieces)
        if (piece.asciiRun)
            piece.text = QString::fromLatin1(text.data() + piece.byte, piece.cells);
    return pieces;
}

void ViewPainter::PaintTextLine(QPainter& p, const QRect& row, int line) {
    if (line < 0) {
        p.fillRect(row, v.ColourOfIndex(COLOUR_WHITESPACE));
        return;
    }
    QColor background, text;
    bool fillToEdge = false;
    v.LineColours(line, background, text, fillToEdge);
    if (!background.isValid())
        background = v.ColourOfIndex(COLOUR_BACKGROUND);

    const int cw = v.CharWidth();
    const int h = v.LineHeight();
    const int left = row.left() - cw * st.firstColumn;
    const int textEnd = left + cw * v.ExpandedLineLength(line);
    if (textEnd <= row.left()) {
        PaintLineEnd(p, row, line, std::max(row.left(), textEnd), background, fillToEdge);
        return;
    }

    const int columns = (row.width() + cw - 1) / cw + 1;
    p.fillRect(QRect(row.left(), row.top(), std::min(textEnd, row.right() + 1) - row.left(), h),
               background);
    const QColor selBackground = v.ColourOfIndex(COLOUR_SEL_BACKGROUND);
    const QColor selText = v.ColourOfIndex(COLOUR_SEL_TEXT);
    int fontColour = -1;
    QColor pen;
    for (const Piece& piece : LayoutRow(line, columns)) {
        const int x = left + piece.column * cw;
        const int width = piece.cells * cw;
        if (piece.selected)
            p.fillRect(QRect(x, row.top(), width, h), selBackground);
        if (piece.text.isEmpty())
            continue;
        if (piece.colour != fontColour) {
            p.setFont(v.FontFor(v.IsItalicIndex(piece.colour), v.IsBoldIndex(piece.colour)));
            fontColour = piece.colour;
        }
        const QColor wanted = piece.selected   ? selText
                              : text.isValid() ? text
                                               : v.ColourOfIndex(piece.colour);
        if (wanted != pen) {
            p.setPen(wanted);
            pen = wanted;
        }
        const int baseline = row.top() + ascent;
        if (piece.asciiRun) {
            p.drawText(x, baseline, piece.text);
            continue;
        }
        // Centred on its own cells: a fallback font's advance never shifts the grid.
        const int advance = p.fontMetrics().horizontalAdvance(piece.text);
        p.drawText(x + (width - advance) / 2, baseline, piece.text);
    }
    PaintLineEnd(p, row, line, std::max(row.left(), textEnd), background, fillToEdge);
}

void ViewPainter::PaintLineEnd(QPainter& p, const QRect& row, int lineIndex, int textEnd,
                               const QColor& background, bool fillToEdge) {
    int x = textEnd;
    if (x >= row.right() + 1)
        return;
    if ((st.focused || st.keepSelectionVisible) &&
        v.InSelection({lineIndex, v.LineLength(lineIndex)})) {
        // The selected line break: one cell after the last character.
        p.fillRect(QRect(x, row.top(), v.CharWidth(), row.height()),
                   v.ColourOfIndex(COLOUR_SEL_BACKGROUND));
        x += v.CharWidth();
    }
    if (x < row.right() + 1)
        p.fillRect(QRect(x, row.top(), row.right() + 1 - x, row.height()),
                   fillToEdge ? background : v.ColourOfIndex(COLOUR_WHITESPACE));
}
