#pragma once

// What one wheel message does to a text view: a line up or down, or a column
// left or right. Never more than one: a fast wheel sends more messages.
enum class WheelStep { None, LineUp, LineDown, ColumnLeft, ColumnRight };

// dx and dy are the message's rotation, positive away from the user and to
// the left (Qt's angle delta). The larger axis wins, so a touchpad swipe that
// drifts a little still goes the way it mostly goes; Shift turns the wheel
// sideways; a message without rotation (a touchpad gesture starting or
// ending) does nothing.
WheelStep WheelStepFor(int dx, int dy, bool shift);
