#pragma once
#include <QMargins>
#include <QRect>

// Where windows go, so that none starts off-screen or too small to read.
namespace window_placement {

// The main window's geometry inside its frame: the wanted size, shrunk when
// the available area (less the frame's margins) is smaller, the whole frame
// centred in the area.
QRect FitMain(QSize wanted, const QRect& available, const QMargins& frame);

// The index-th of a cascade of document windows in an area: each a readable
// three quarters of it, stepped down and right by step, starting again at the
// top-left before one would stick out.
QRect Cascade(int index, QSize area, int step);

} // namespace window_placement
