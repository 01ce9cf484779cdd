#include "app/LockKeys.h"

#include <QGuiApplication>

// After Qt: Xlib's macros (None, Bool, Status) would clash with its names.
#include <X11/XKBlib.h>

namespace {

bool IndicatorOn(Display* display, const char* name) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom == 0)
        return false;
    Bool on = False;
    return XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr) && on;
}

} // namespace

LockKeys QueryLockKeys() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (display == nullptr)
        return {};
    return {IndicatorOn(display, "Caps Lock"), IndicatorOn(display, "Num Lock"),
            IndicatorOn(display, "Scroll Lock")};
}
