#include "editor/view/MarginIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "editor/buffer/CTextBuffer.h"

namespace {

void DrawDisc(QPainter& p, int cell, const QColor& fill, const QString& digit) {
    const QRectF r(cell * MarginIcons::kIconSize + 1.5, 1.5, 13, 13);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(fill);
    p.drawEllipse(r);
    if (!digit.isEmpty()) {
        QFont f = p.font();
        f.setPixelSize(11);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::black);
        p.drawText(r, Qt::AlignCenter, digit);
    }
}

} // namespace

int MarginIcons::CellForMarks(uint32_t marks) {
    if (marks & TRANSFER_LINE)
        return 0;
    for (int digit = 1; digit <= 9; ++digit)
        if (marks & (MARK_0 << digit))
            return digit + 2;
    if (marks & MARK_0)
        return 12;
    if (marks & PLAIN_MARK)
        return 13;
    return -1;
}

const QImage& MarginIcons::Strip() {
    if (!strip.isNull())
        return strip;
    strip = QImage(kIconSize * kCellCount, kIconSize, QImage::Format_ARGB32_Premultiplied);
    strip.fill(Qt::transparent);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);

    // 0: the arrow of the line a transmission waits at.
    QPainterPath arrow;
    arrow.moveTo(1, 5);
    arrow.lineTo(8, 5);
    arrow.lineTo(8, 1);
    arrow.lineTo(15, 8);
    arrow.lineTo(8, 15);
    arrow.lineTo(8, 11);
    arrow.lineTo(1, 11);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(128, 0, 0), 1));
    p.setBrush(QColor(255, 0, 0));
    p.drawPath(arrow);

    // 1: a red octagon with a yellow bar.
    const int o = kIconSize;
    QPolygonF octagon;
    for (QPointF pt : {QPointF(5, 1), QPointF(11, 1), QPointF(15, 5), QPointF(15, 11),
                       QPointF(11, 15), QPointF(5, 15), QPointF(1, 11), QPointF(1, 5)})
        octagon << pt + QPointF(o, 0);
    p.setBrush(QColor(255, 0, 0));
    p.drawPolygon(octagon);
    p.fillRect(QRectF(o + 4, 7, 8, 2.5), QColor(255, 255, 0));

    const QColor cyan(0, 255, 255);
    DrawDisc(p, 2, cyan, QStringLiteral("1"));
    for (int digit = 1; digit <= 9; ++digit)
        DrawDisc(p, digit + 2, cyan, QString::number(digit));
    DrawDisc(p, 12, cyan, QStringLiteral("0"));
    DrawDisc(p, 13, QColor(255, 255, 0), QString());
    return strip;
}

QImage MarginIcons::Cell(int cell) {
    return Strip().copy(cell * kIconSize, 0, kIconSize, kIconSize);
}

QCursor MarginIcons::Cursor() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPolygonF shape;
    shape << QPointF(17, 1) << QPointF(17, 19) << QPointF(12.5, 15) << QPointF(9, 22)
          << QPointF(6.5, 21) << QPointF(10, 14) << QPointF(4, 14);
    // Mirrored so that it leans towards the text on its right.
    QTransform mirror(-1, 0, 0, 1, 21, 0);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPolygon(mirror.map(shape));
    p.end();
    return QCursor(pm, 4, 1);
}
