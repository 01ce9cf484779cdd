#include "app/AppArt.h"

#include <algorithm>
#include <cmath>

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "app/AppCommands.h"
#include "editor/view/EditCommands.h"
#include "editor/view/ViewCommands.h"

namespace app_art {

namespace {

// Drawn for the sharpest screen, at a whole ratio: at 1.5 or 2 the pictures
// stay sharp; at 1 they are the same pixels as ever.
QPixmap Blank(int w, int h) {
    const qreal ratio = std::max<qreal>(1, std::ceil(qApp ? qApp->devicePixelRatio() : 1));
    QPixmap pm(QSize(w, h) * ratio);
    pm.setDevicePixelRatio(ratio);
    pm.fill(Qt::transparent);
    return pm;
}

// The connector of a serial cable: a trapezoid with two rows of pins.
void DrawConnector(QPainter& p, const QRectF& r, const QColor& body) {
    QPainterPath shell;
    const qreal inset = r.width() * 0.12;
    shell.moveTo(r.left(), r.top());
    shell.lineTo(r.right(), r.top());
    shell.lineTo(r.right() - inset, r.bottom());
    shell.lineTo(r.left() + inset, r.bottom());
    shell.closeSubpath();
    p.setPen(QPen(body.darker(160), 1));
    p.setBrush(body);
    p.drawPath(shell);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 240, 180));
    const qreal step = r.width() / 6.0;
    for (int i = 0; i < 5; ++i)
        p.drawEllipse(
            QPointF(r.left() + step * (i + 0.5) + step * 0.5, r.top() + r.height() * 0.33),
            step * 0.2, step * 0.2);
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QPointF(r.left() + step * (i + 1.5), r.top() + r.height() * 0.68), step * 0.2,
                      step * 0.2);
}

QIcon ArrowIcon(bool right, const QColor& colour) {
    QPixmap pm = Blank(32, 32);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // A page with lines of a program, and an arrow going out of it or into it.
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 3.5, 16, 22));
    p.setPen(QPen(QColor(60, 90, 200), 1.5));
    for (int i = 0; i < 5; ++i)
        p.drawLine(QPointF(6, 8 + i * 4), QPointF(15 - (i % 2) * 3, 8 + i * 4));
    QPainterPath arrow;
    const qreal y = 22;
    if (right) {
        arrow.moveTo(14, y - 3);
        arrow.lineTo(22, y - 3);
        arrow.lineTo(22, y - 8);
        arrow.lineTo(30, y);
        arrow.lineTo(22, y + 8);
        arrow.lineTo(22, y + 3);
        arrow.lineTo(14, y + 3);
    } else {
        arrow.moveTo(30, y - 3);
        arrow.lineTo(22, y - 3);
        arrow.lineTo(22, y - 8);
        arrow.lineTo(14, y);
        arrow.lineTo(22, y + 8);
        arrow.lineTo(22, y + 3);
        arrow.lineTo(30, y + 3);
    }
    arrow.closeSubpath();
    p.setPen(QPen(colour.darker(150), 1));
    p.setBrush(colour);
    p.drawPath(arrow);
    return QIcon(pm);
}

} // namespace

QPixmap Lamp(bool green) {
    QPixmap pm = Blank(12, 12);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor base = green ? QColor(0, 200, 0) : QColor(210, 0, 0);
    QRadialGradient g(QPointF(4.5, 4.5), 7);
    g.setColorAt(0, base.lighter(170));
    g.setColorAt(1, base.darker(130));
    p.setPen(QPen(base.darker(200), 1));
    p.setBrush(g);
    p.drawEllipse(QRectF(0.5, 0.5, 11, 11));
    return pm;
}

QPixmap SymbolPixmap(Symbol symbol, const QColor& colour) {
    QPixmap pm = Blank(16, 16);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    switch (symbol) {
    case Symbol::Pause:
        p.drawRect(QRectF(3, 2, 3.5, 12));
        p.drawRect(QRectF(9.5, 2, 3.5, 12));
        break;
    case Symbol::Stop:
        p.drawRect(QRectF(3, 3, 10, 10));
        break;
    case Symbol::Continue: {
        QPainterPath tri;
        tri.moveTo(4, 2);
        tri.lineTo(14, 8);
        tri.lineTo(4, 14);
        tri.closeSubpath();
        p.drawPath(tri);
        break;
    }
    }
    return pm;
}

QIcon TransmitIcon() {
    return ArrowIcon(true, QColor(230, 120, 0));
}
QIcon ReceiveIcon() {
    return ArrowIcon(false, QColor(0, 150, 60));
}

QIcon SettingsIcon() {
    QPixmap pm = Blank(32, 32);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    DrawConnector(p, QRectF(3, 6, 26, 12), QColor(120, 140, 170));
    p.setPen(QPen(QColor(60, 60, 60), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 18), QPointF(16, 24));
    p.drawLine(QPointF(16, 24), QPointF(26, 28));
    return QIcon(pm);
}

QIcon OkIcon() {
    QPixmap pm = Blank(24, 24);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 150, 0), 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(4, 13), QPointF(10, 19), QPointF(20, 5)}));
    return QIcon(pm);
}

QIcon CancelIcon() {
    QPixmap pm = Blank(24, 24);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(200, 0, 0), 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 5), QPointF(19, 19));
    p.drawLine(QPointF(19, 5), QPointF(5, 19));
    return QIcon(pm);
}

QIcon AppIcon() {
    QPixmap pm = Blank(64, 64);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 64);
    g.setColorAt(0, QColor(40, 90, 170));
    g.setColorAt(1, QColor(20, 50, 110));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    DrawConnector(p, QRectF(10, 14, 44, 20), QColor(200, 210, 225));
    p.setPen(QPen(QColor(255, 200, 40), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 46), QPointF(50, 46));
    p.drawLine(QPointF(42, 40), QPointF(50, 46));
    p.drawLine(QPointF(42, 52), QPointF(50, 46));
    return QIcon(pm);
}

QPixmap Logo() {
    QPixmap pm = Blank(52, 26);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 90, 170));
    p.drawRoundedRect(QRectF(1, 1, 50, 24), 5, 5);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(13);
    p.setFont(f);
    p.drawText(QRectF(1, 1, 50, 24), Qt::AlignCenter, QStringLiteral("RS232"));
    return pm;
}

QPixmap Splash() {
    QPixmap pm = Blank(360, 220);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 360, 220);
    g.setColorAt(0, QColor(30, 70, 140));
    g.setColorAt(1, QColor(10, 30, 70));
    p.fillRect(QRect(0, 0, 360, 220), g);
    // A strip of program text, as it would run down a controller's screen.
    QFont mono(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPixelSize(11);
    p.setFont(mono);
    p.setPen(QColor(120, 170, 230, 120));
    const char* lines[] = {"O1000",
                           "N10 G90 G54",
                           "N20 S1200 M03",
                           "N30 G00 X0 Y0",
                           "N40 G01 Z-2. F120",
                           "N50 X50. Y25.",
                           "N60 G02 X60. Y35. R10.",
                           "N70 G00 Z5.",
                           "N80 M30",
                           "%"};
    for (int i = 0; i < 10; ++i)
        p.drawText(QPointF(236, 30 + i * 16), QString::fromLatin1(lines[i]));
    DrawConnector(p, QRectF(28, 40, 90, 40), QColor(200, 210, 225));
    p.setPen(QPen(QColor(255, 200, 40), 3));
    p.drawLine(QPointF(73, 80), QPointF(73, 104));
    p.drawLine(QPointF(73, 104), QPointF(220, 104));
    QFont title = p.font();
    title.setPixelSize(30);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(24, 120, 320, 40), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("泽朗串口通信"));
    QFont small = p.font();
    small.setPixelSize(12);
    small.setBold(false);
    p.setFont(small);
    p.setPen(QColor(200, 215, 240));
    p.drawText(QRectF(26, 162, 320, 20), Qt::AlignLeft, QStringLiteral("数控程序的串口传送与编辑"));
    p.drawText(QRectF(26, 186, 320, 20), Qt::AlignLeft, QStringLiteral("版本 5.2"));
    return pm;
}

QIcon ToolIcon(int id) {
    QPixmap pm = Blank(16, 15);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QPen outline(QColor(60, 60, 60), 1);
    auto page = [&](QRectF r, QColor fill = Qt::white) {
        p.setPen(outline);
        p.setBrush(fill);
        p.drawRect(r);
    };
    auto arrow = [&](bool left, QColor c) {
        QPainterPath path;
        path.moveTo(left ? 13 : 3, 11);
        path.cubicTo(left ? 13 : 3, 4, left ? 8 : 8, 3, left ? 4 : 12, 5);
        p.setPen(QPen(c, 2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        QPolygonF head;
        if (left)
            head << QPointF(1, 5) << QPointF(6, 1.5) << QPointF(6, 8.5);
        else
            head << QPointF(15, 5) << QPointF(10, 1.5) << QPointF(10, 8.5);
        p.drawPolygon(head);
    };
    auto lens = [&](QColor c) {
        p.setPen(QPen(c, 1.6));
        p.setBrush(QColor(220, 235, 255));
        p.drawEllipse(QRectF(1.5, 1.5, 8, 8));
        p.setPen(QPen(c, 2.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9, 9), QPointF(14, 13.5));
    };
    auto flag = [&](QColor c) {
        p.setPen(QPen(QColor(60, 60, 60), 1.2));
        p.drawLine(QPointF(3, 1), QPointF(3, 14));
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawRect(QRectF(3.5, 1.5, 9, 6));
    };
    switch (id) {
    case ID_FILE_NEW:
        page(QRectF(3.5, 1.5, 9, 12));
        break;
    case ID_FILE_OPEN:
        page(QRectF(1.5, 4.5, 12, 9), QColor(240, 200, 80));
        break;
    case ID_FILE_SAVE:
        page(QRectF(1.5, 1.5, 12, 12), QColor(60, 90, 170));
        p.fillRect(QRectF(4, 2, 7, 4), Qt::white);
        break;
    case ID_FILE_PRINT:
        page(QRectF(4.5, 1.5, 7, 5));
        page(QRectF(1.5, 6.5, 13, 5), QColor(190, 190, 190));
        break;
    case ID_EDIT_CUT:
        p.setPen(QPen(QColor(40, 40, 40), 1.4));
        p.drawLine(QPointF(4, 1), QPointF(11, 10));
        p.drawLine(QPointF(12, 1), QPointF(5, 10));
        p.drawEllipse(QRectF(1.5, 9.5, 4, 4));
        p.drawEllipse(QRectF(10.5, 9.5, 4, 4));
        break;
    case ID_EDIT_COPY:
        page(QRectF(1.5, 1.5, 8, 9));
        page(QRectF(6.5, 4.5, 8, 9));
        break;
    case ID_EDIT_PASTE:
        page(QRectF(1.5, 2.5, 10, 11), QColor(200, 150, 90));
        page(QRectF(6.5, 5.5, 8, 9));
        break;
    case ID_EDIT_UNDO:
        arrow(true, QColor(30, 80, 200));
        break;
    case ID_EDIT_REDO:
        arrow(false, QColor(30, 80, 200));
        break;
    case ID_EDIT_FIND:
        lens(QColor(40, 40, 40));
        break;
    case ID_EDIT_FIND_NEXT:
        lens(QColor(0, 130, 0));
        break;
    case ID_EDIT_FIND_PREVIOUS:
        lens(QColor(160, 0, 0));
        break;
    case ID_EDIT_REPLACE:
        lens(QColor(40, 40, 40));
        p.setPen(QPen(QColor(200, 120, 0), 1.5));
        p.drawLine(QPointF(10, 2), QPointF(15, 2));
        p.drawLine(QPointF(10, 5), QPointF(15, 5));
        break;
    case ID_TOGGLE_PLAIN_MARK:
        flag(QColor(30, 120, 230));
        break;
    case ID_NEXT_PLAIN_MARK:
        flag(QColor(30, 120, 230));
        p.setBrush(QColor(0, 140, 0));
        p.drawPolygon(QPolygonF({QPointF(8, 10), QPointF(15, 10), QPointF(11.5, 14.5)}));
        break;
    case ID_PREV_PLAIN_MARK:
        flag(QColor(30, 120, 230));
        p.setBrush(QColor(0, 140, 0));
        p.drawPolygon(QPolygonF({QPointF(8, 14.5), QPointF(15, 14.5), QPointF(11.5, 10)}));
        break;
    case ID_CLEAR_PLAIN_MARKS:
        flag(QColor(30, 120, 230));
        p.setPen(QPen(QColor(200, 0, 0), 1.8));
        p.drawLine(QPointF(8, 9), QPointF(14, 14));
        p.drawLine(QPointF(14, 9), QPointF(8, 14));
        break;
    default:
        break;
    }
    return QIcon(pm);
}

} // namespace app_art
