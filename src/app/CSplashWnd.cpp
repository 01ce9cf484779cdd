#include "app/CSplashWnd.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

// Above the main window, which comes up meanwhile and would otherwise cover it
// for its two seconds; QSplashScreen keeps its own splash and frameless flags.
CSplashWnd::CSplashWnd(const QPixmap& picture) : QSplashScreen(picture, Qt::WindowStaysOnTopHint) {
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
