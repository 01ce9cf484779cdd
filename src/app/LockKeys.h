#pragma once

// The keyboard's Caps, Num and Scroll Lock lights, for the status bar. Read
// from the X server; where there is none (Wayland, offscreen) all read as off
// and the panes stay empty.
struct LockKeys {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

LockKeys QueryLockKeys();
