#include "app/CSplashWnd.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

CSplashWnd::CSplashWnd(const QPixmap& picture) : QSplashScreen(picture) {
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void CSplashWnd::HideSplash() {
    closeAllowed = true;
    close();
}

void CSplashWnd::closeEvent(QCloseEvent* e) {
    if (!closeAllowed) {
        e->ignore();
        return;
    }
    QSplashScreen::closeEvent(e);
}

void CSplashWnd::mousePressEvent(QMouseEvent* e) {
    // Unlike a plain splash screen, a click does not dismiss it: it drags it.
    if (e->button() == Qt::LeftButton) {
        dragging = true;
        dragOffset = e->globalPosition().toPoint() - frameGeometry().topLeft();
    }
}

void CSplashWnd::mouseMoveEvent(QMouseEvent* e) {
    if (dragging)
        move(e->globalPosition().toPoint() - dragOffset);
}

void CSplashWnd::mouseReleaseEvent(QMouseEvent*) {
    dragging = false;
}
