#include "editor/view/ViewPainter.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "common/Gbk.h"
#include "editor/view/CTextView.h"

void ViewPainter::FontMeasured() {
    const QFont font = v.FontFor(false, false);
    QFontMetricsF fm(font);
    asciiOnGrid = std::abs(fm.horizontalAdvance(QLatin1Char('X')) - v.charWidth) < 0.001 &&
                  std::abs(fm.horizontalAdvance(QLatin1Char('i')) - v.charWidth) < 0.001;
    ascent = QFontMetrics(font).ascent();
}

void ViewPainter::Paint(QPainter& window, const QRect& dirty) {
    const QRect client = v.viewport()->rect();
    const int h = v.LineHeight();
    const int count = v.LineCount();
    v.OrderSelection();
    if (lineBitmap.isNull() || lineBitmap.width() != client.width() || lineBitmap.height() != h)
        lineBitmap = QImage(std::max(1, client.width()), h, QImage::Format_RGB32);

    const int firstRow = std::max(0, dirty.top() / h);
    for (int row = firstRow; row * h < client.height() && row * h <= dirty.bottom(); ++row) {
        const int line = v.topLine + row;
        {
            QPainter p(&lineBitmap);
            p.setFont(v.FontFor(false, false));
            PaintMarginCell(p, QRect(0, 0, CTextView::MarginWidth(), h), line < count ? line : -1);
            PaintTextLine(
                p, QRect(CTextView::MarginWidth(), 0, client.width() - CTextView::MarginWidth(), h),
                line < count ? line : -1);
        }
        window.drawImage(0, row * h, lineBitmap);
    }
    if (v.caretShown && v.caretRect.intersects(dirty))
        window.fillRect(v.caretRect, v.ColourOfIndex(COLOUR_NORMAL_TEXT));
}

void ViewPainter::PaintMarginCell(QPainter& p, const QRect& cell, int line) {
    p.fillRect(cell, v.ColourOfIndex(COLOUR_MARGIN));
    if (line < 0)
        return;
    const int icon = MarginIcons::CellForMarks(v.LineFlags(line));
    if (icon < 0)
        return;
    iconsLoaded = true;
    const int size = MarginIcons::kIconSize;
    p.drawImage(QPoint(cell.left() + 2, cell.top() + (cell.height() - size) / 2), icons.Strip(),
                QRect(icon * size, 0, size, size));
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

    const std::string_view chars = v.LineView(line);
    const int n = static_cast<int>(chars.size());
    if (n == 0) {
        PaintLineEnd(p, row, line, row.left(), background, fillToEdge);
        return;
    }

    const uint32_t cookie = v.CookieBefore(line);
    blocks.resize(size_t(n) * 3);
    int blockCount = 0;
    v.StoreCookie(line, v.ScanLineColours(cookie, line, blocks.data(), blockCount));
    blockCount = std::clamp(blockCount, 0, static_cast<int>(blocks.size()));

    const int cw = v.CharWidth();
    QPoint origin(row.left() - cw * v.firstColumn, row.top());
    Brush brush{background, text};

    auto paintRun = [&](int start, int end, int colour) {
        start = std::clamp(start, 0, n);
        end = std::clamp(end, start, n);
        if (start == end)
            return;
        Brush runBrush = brush;
        if (!text.isValid())
            runBrush.text = v.ColourOfIndex(colour);
        p.setFont(v.FontFor(v.IsItalicIndex(colour), v.IsBoldIndex(colour)));
        PaintRun(p, origin, row, chars, start, end - start, line, runBrush);
    };
    if (blockCount == 0) {
        paintRun(0, n, COLOUR_NORMAL_TEXT);
    } else {
        paintRun(0, blocks[0].pos, COLOUR_NORMAL_TEXT);
        for (int b = 0; b < blockCount; ++b) {
            const int end = b + 1 < blockCount ? blocks[size_t(b + 1)].pos : n;
            paintRun(blocks[size_t(b)].pos, end, blocks[size_t(b)].colour);
        }
    }
    PaintLineEnd(p, row, line, std::max(row.left(), origin.x()), background, fillToEdge);
}

void ViewPainter::PaintLineEnd(QPainter& p, const QRect& row, int lineIndex, int textEnd,
                               const QColor& background, bool fillToEdge) {
    int x = textEnd;
    if (x >= row.right() + 1)
        return;
    if ((v.focused || v.keepSelectionVisible) &&
        v.InSelection({v.LineLength(lineIndex), lineIndex})) {
        // The selected line break: one cell after the last character.
        p.fillRect(QRect(x, row.top(), v.CharWidth(), row.height()),
                   v.ColourOfIndex(COLOUR_SEL_BACKGROUND));
        x += v.CharWidth();
    }
    if (x < row.right() + 1)
        p.fillRect(QRect(x, row.top(), row.right() + 1 - x, row.height()),
                   fillToEdge ? background : v.ColourOfIndex(COLOUR_WHITESPACE));
}

void ViewPainter::PaintRun(QPainter& p, QPoint& origin, const QRect& clip, std::string_view line,
                           int start, int count, int lineIndex, Brush& brush) {
    if (!(v.focused || v.keepSelectionVisible)) {
        PaintRunPart(p, origin, clip, line, start, count, brush);
        return;
    }
    const TextPos s = v.orderedSelStart, e = v.orderedSelEnd;
    auto cut = [&](TextPos at) {
        int k = at.y < lineIndex ? 0 : at.y > lineIndex ? count : at.x - start;
        return std::clamp(k, 0, count);
    };
    const int selFrom = cut(s);
    const int selTo = std::max(selFrom, cut(e));
    const Brush selected{v.ColourOfIndex(COLOUR_SEL_BACKGROUND), v.ColourOfIndex(COLOUR_SEL_TEXT)};
    PaintRunPart(p, origin, clip, line, start, selFrom, brush);
    PaintRunPart(p, origin, clip, line, start + selFrom, selTo - selFrom, selected);
    PaintRunPart(p, origin, clip, line, start + selTo, count - selTo, brush);
}

void ViewPainter::PaintRunPart(QPainter& p, QPoint& origin, const QRect& clip,
                               std::string_view line, int start, int count, const Brush& brush) {
    if (count <= 0)
        return;
    const std::string expanded = v.ExpandTabs(line, start, count);
    const int cw = v.CharWidth();
    const int total = static_cast<int>(expanded.size());
    if (clip.right() + 1 > origin.x()) {
        // Skip the cells left of the clip (the whole run when it ends there);
        // draw at most what fits, plus one.
        int skip = std::clamp((clip.left() - origin.x()) / cw, 0, total);
        const int limit = std::min(total, (clip.right() + 1 - origin.x()) / cw + 1);
        // Never start between the two bytes of a double-byte character.
        for (size_t i = 0; i < size_t(skip);) {
            size_t len = GbkCharLength(expanded, i);
            if (i + len > size_t(skip)) {
                skip = int(i);
                break;
            }
            i += len;
        }
        if (limit > skip) {
            const int x = origin.x() + skip * cw;
            const QRect cells(x, origin.y(), (limit - skip) * cw, v.LineHeight());
            const QRect visible = cells.intersected(clip);
            p.fillRect(visible, brush.background);
            p.save();
            p.setClipRect(visible);
            p.setPen(brush.text);
            DrawCells(p, x, origin.y(), std::string_view(expanded).substr(size_t(skip)),
                      limit - skip);
            p.restore();
        }
    }
    origin.rx() += total * cw;
}

void ViewPainter::DrawCells(QPainter& p, int x, int y, std::string_view text, int cells) {
    const int cw = v.CharWidth();
    const int baseline = y + ascent;
    const size_t n = std::min(text.size(), size_t(cells) + 1);
    size_t i = 0;
    while (i < n) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        const int cellX = x + int(i) * cw;
        if (b >= 0x20 && b < 0x7F) {
            size_t j = i;
            while (j < n && static_cast<unsigned char>(text[j]) >= 0x20 &&
                   static_cast<unsigned char>(text[j]) < 0x7F)
                ++j;
            if (asciiOnGrid) {
                p.drawText(cellX, baseline, QString::fromLatin1(text.data() + i, qsizetype(j - i)));
            } else {
                for (size_t k = i; k < j; ++k)
                    p.drawText(x + int(k) * cw, baseline, QString(QLatin1Char(text[k])));
            }
            i = j;
            continue;
        }
        const size_t len = GbkCharLength(text, i);
        QString glyph;
        if (len == 2)
            glyph = QString::fromStdString(GbkToUtf8(text.substr(i, 2)));
        else if (b < 0x20 || b == 0x7F)
            glyph = QString(QChar(0x00B7)); // a control byte: a dot, not a gap
        else
            glyph = QString(QChar(0xFFFD)); // a byte that starts no character
        // Centred on its own cells: a fallback font's advance never shifts the grid.
        const int width = int(len) * cw;
        const int advance = p.fontMetrics().horizontalAdvance(glyph);
        p.drawText(cellX + (width - advance) / 2, baseline, glyph);
        i += len;
    }
}
