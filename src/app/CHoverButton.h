#pragma once
#include <QAbstractButton>
#include <QColor>
#include <QIcon>
#include <QPixmap>

// A push button that draws an icon or one of three pictures, its caption, and
// a background and border that follow the mouse. Flat buttons light up while
// the mouse is over them; a check-box button stays pressed while checked.
class CHoverButton : public QAbstractButton {
    Q_OBJECT

public:
    // The colour slots.
    enum Colour {
        BK_IN = 0,  // background when hovered or pressed
        FG_IN = 1,  // text when hovered or pressed
        BK_OUT = 2, // background normally
        FG_OUT = 3,
        BK_FOCUS = 4,
        FG_FOCUS = 5,
        COLOUR_COUNT = 6,
    };
    enum Result { OK = 0, INVALID_INDEX = 3, BAD_OFFSET = 5, BAD_PRESSED_STYLE = 6 };
    enum PressedStyle { SHIFT_RIGHT_DOWN = 0, SHIFT_DOWN = 1 };

    explicit CHoverButton(QWidget* parent = nullptr);

    int SetIcon(const QIcon& hovered, const QIcon& normal);
    // Hovered, normal and disabled looks; the pictures carry their own
    // transparency, so no mask colour is needed.
    int SetBitmaps(const QPixmap& hovered, const QPixmap& normal, const QPixmap& disabled);
    int SetFlat(bool flat, bool repaint = true);
    int SetPressedStyle(int style, bool repaint = true);
    int SetColor(int slot, const QColor& colour, bool repaint = true);
    QColor GetColor(int slot) const;
    int OffsetColor(int slot, int offset, bool repaint = true);
    int DrawBorder(bool on, bool repaint = true);
    int SetTooltipText(const QString& text, bool activate = true);
    // Check-box mode: each click toggles the check, which draws the button pressed.
    void SetCheckBoxMode(bool on) { setCheckable(on); }
    int SetCheck(bool checked, bool repaint = true);
    bool GetCheck() const { return isChecked(); }

    bool IsHovered() const { return hovered; }
    bool IsFlat() const { return flat; }

    QSize sizeHint() const override;

    // The colour with the same offset added to red, green and blue, the offset
    // cut down so that no component passes 0 or 255 (the hue stays).
    static QColor OffsetOf(const QColor& colour, int offset);

protected:
    void paintEvent(QPaintEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void changeEvent(QEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void SetHovered(bool on);
    void ResetColours();

    bool hovered = false;
    bool flat = true;
    bool border = true;
    int pressedStyle = SHIFT_RIGHT_DOWN;
    QColor colours[COLOUR_COUNT];
    QIcon iconIn, iconOut;
    QPixmap pictureIn, pictureOut, pictureDisabled;
};
