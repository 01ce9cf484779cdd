#include "app/CHoverButton.h"

#include <QApplication>
#include <QEnterEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <algorithm>

namespace {
constexpr int kImageMargin = 3;
}

CHoverButton::CHoverButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    ResetColours();
}

void CHoverButton::ResetColours() {
    const QPalette pal = QApplication::palette();
    for (int slot : {BK_IN, BK_OUT, BK_FOCUS})
        colours[slot] = pal.color(QPalette::Button);
    for (int slot : {FG_IN, FG_OUT, FG_FOCUS})
        colours[slot] = pal.color(QPalette::ButtonText);
}

int CHoverButton::SetIcon(const QIcon& in, const QIcon& out) {
    iconIn = in;
    iconOut = out.isNull() ? in : out;
    update();
    return OK;
}

int CHoverButton::SetBitmaps(const QPixmap& in, const QPixmap& out, const QPixmap& disabled) {
    pictureIn = in;
    pictureOut = out;
    pictureDisabled = disabled;
    update();
    return OK;
}

int CHoverButton::SetFlat(bool on, bool repaint) {
    flat = on;
    if (!flat)
        hovered = false; // only flat buttons track the mouse
    if (repaint)
        update();
    return OK;
}

int CHoverButton::SetPressedStyle(int style, bool repaint) {
    if (style != SHIFT_RIGHT_DOWN && style != SHIFT_DOWN)
        return BAD_PRESSED_STYLE;
    pressedStyle = style;
    if (repaint)
        update();
    return OK;
}

int CHoverButton::SetColor(int slot, const QColor& colour, bool repaint) {
    if (slot < 0 || slot >= COLOUR_COUNT)
        return INVALID_INDEX;
    colours[slot] = colour;
    if (repaint)
        update();
    return OK;
}

QColor CHoverButton::GetColor(int slot) const {
    return slot >= 0 && slot < COLOUR_COUNT ? colours[slot] : QColor();
}

QColor CHoverButton::OffsetOf(const QColor& c, int offset) {
    const int r = c.red(), g = c.green(), b = c.blue();
    if (offset > 0)
        offset = std::min({offset, 255 - r, 255 - g, 255 - b});
    else if (offset < 0)
        offset = std::max({offset, -r, -g, -b});
    return QColor(r + offset, g + offset, b + offset);
}

int CHoverButton::OffsetColor(int slot, int offset, bool repaint) {
    if (slot < 0 || slot >= COLOUR_COUNT)
        return INVALID_INDEX;
    if (offset < -255 || offset > 255)
        return BAD_OFFSET;
    colours[slot] = OffsetOf(colours[slot], offset);
    if (repaint)
        update();
    return OK;
}

int CHoverButton::DrawBorder(bool on, bool repaint) {
    border = on;
    if (repaint)
        update();
    return OK;
}

int CHoverButton::SetTooltipText(const QString& text, bool activate) {
    setToolTip(activate ? text : QString());
    return OK;
}

int CHoverButton::SetCheck(bool checked, bool repaint) {
    if (!isCheckable())
        return OK;
    setChecked(checked);
    if (repaint)
        update();
    return OK;
}

QSize CHoverButton::sizeHint() const {
    QSize image(0, 0);
    if (!iconIn.isNull())
        image = QSize(32, 32);
    else if (!pictureOut.isNull())
        image = pictureOut.deviceIndependentSize().toSize();
    const QSize textSize = fontMetrics().size(Qt::TextShowMnemonic, text());
    int w = kImageMargin * 2 + image.width() + (text().isEmpty() ? 0 : textSize.width() + 8);
    int h = std::max(image.height(), textSize.height()) + kImageMargin * 2 + 2;
    return {std::max(w, 24), std::max(h, 22)};
}

void CHoverButton::SetHovered(bool on) {
    if (on == hovered)
        return;
    hovered = on;
    update();
}

void CHoverButton::enterEvent(QEnterEvent* e) {
    // A drag that began elsewhere does not light the button up.
    if (flat && isEnabled() && !(QApplication::mouseButtons() & Qt::LeftButton && !hovered) &&
        (QApplication::activeWindow() != nullptr))
        SetHovered(true);
    QAbstractButton::enterEvent(e);
}

void CHoverButton::leaveEvent(QEvent* e) {
    SetHovered(false);
    QAbstractButton::leaveEvent(e);
}

void CHoverButton::focusOutEvent(QFocusEvent* e) {
    SetHovered(false);
    QAbstractButton::focusOutEvent(e);
}

void CHoverButton::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange && !isEnabled()) {
        SetHovered(false);
        if (hasFocus()) {
            if (QWidget* next = nextInFocusChain(); next && next != this)
                next->setFocus();
            else if (parentWidget())
                parentWidget()->setFocus();
        }
    } else if (e->type() == QEvent::PaletteChange) {
        ResetColours();
    }
    QAbstractButton::changeEvent(e);
}

void CHoverButton::mouseDoubleClickEvent(QMouseEvent* e) {
    // A double click counts as one more click.
    mousePressEvent(e);
}

void CHoverButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette pal = palette();
    const bool disabled = !isEnabled();
    const bool pressed = isDown() || (isCheckable() && isChecked());
    const bool focused = hasFocus();
    QRect r = rect();

    // Background.
    if (!flat && focused) {
        p.setPen(Qt::black);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }
    QColor back = colours[BK_OUT], fore = colours[FG_OUT];
    if (hovered || pressed) {
        back = colours[BK_IN];
        fore = colours[FG_IN];
    } else if (focused) {
        back = colours[BK_FOCUS];
        fore = colours[FG_FOCUS];
    }
    p.fillRect(r, back);

    // Border.
    const QColor light = pal.color(QPalette::Light), mid = pal.color(QPalette::Mid);
    const QColor dark = pal.color(QPalette::Dark), shadow = pal.color(QPalette::Shadow);
    auto edge = [&](const QColor& topLeft, const QColor& bottomRight, QRect box) {
        p.setPen(topLeft);
        p.drawLine(box.topLeft(), box.topRight());
        p.drawLine(box.topLeft(), box.bottomLeft());
        p.setPen(bottomRight);
        p.drawLine(box.bottomLeft(), box.bottomRight());
        p.drawLine(box.topRight(), box.bottomRight());
    };
    if (pressed) {
        if (!flat) {
            p.setPen(dark);
            p.drawRect(r.adjusted(0, 0, -1, -1));
        } else if (border) {
            edge(dark, light, r.adjusted(0, 0, -1, -1));
        }
    } else if (!flat) {
        edge(light, shadow, r.adjusted(0, 0, -1, -1));
        edge(pal.color(QPalette::Midlight), dark, r.adjusted(1, 1, -2, -2));
    } else if (hovered && border) {
        edge(light, mid, r.adjusted(0, 0, -1, -1));
    }

    // Image.
    QPixmap image;
    if (!iconIn.isNull()) {
        const QIcon& icon = hovered ? iconIn : iconOut;
        image = icon.pixmap(QSize(32, 32).boundedTo(r.size() - QSize(4, 4)),
                            disabled ? QIcon::Disabled : QIcon::Normal);
    } else if (disabled && !pictureDisabled.isNull()) {
        image = pictureDisabled;
    } else if (hovered && !pictureIn.isNull()) {
        image = pictureIn;
    } else {
        image = pictureOut;
    }
    QRect textRect = r.adjusted(kImageMargin, kImageMargin, -kImageMargin, -kImageMargin);
    if (!image.isNull()) {
        const QSize size = image.deviceIndependentSize().toSize();
        QPoint at;
        if (text().isEmpty())
            at = QPoint(r.left() + (r.width() - size.width()) / 2,
                        r.top() + (r.height() - size.height()) / 2);
        else
            at = QPoint(r.left() + kImageMargin, r.top() + (r.height() - size.height()) / 2);
        if (pressed && !isCheckable())
            at += pressedStyle == SHIFT_DOWN ? QPoint(0, 2) : QPoint(1, 1);
        p.drawPixmap(at, image);
        if (!text().isEmpty())
            textRect.setLeft(at.x() + size.width() + kImageMargin);
    }

    // Text.
    if (!text().isEmpty()) {
        const int flags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
        if (disabled) {
            p.setPen(light);
            p.drawText(textRect.translated(1, 1), flags, text());
            p.setPen(dark);
        } else {
            p.setPen(fore);
        }
        p.drawText(textRect, flags, text());
    }

    // Focus.
    if (focused && !flat) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
    }
}
