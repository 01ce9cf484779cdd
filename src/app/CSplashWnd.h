#pragma once
#include <QSplashScreen>

// The start-up picture. It closes only when the frame hides it (not on a
// click or Alt+F4), and the left button drags it.
class CSplashWnd : public QSplashScreen {
    Q_OBJECT

public:
    explicit CSplashWnd(const QPixmap& picture);
    void HideSplash();

protected:
    void closeEvent(QCloseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    bool closeAllowed = false;
    bool dragging = false;
    QPoint dragOffset;
};
