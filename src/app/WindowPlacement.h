#pragma once
#include <QMargins>
#include <QRect>

// Where windows go, so that none starts off-screen or too small to read.
namespace window_placement {

// The main window's frame: the wanted size, shrunk to the available area when
// it is smaller (the frame's margins included), centred in it.
QRect FitMain(QSize wanted, const QRect& available, const QMargins& frame);

// Whether a frame lies wholly inside the available area.
bool Inside(const QRect& frameRect, const QRect& available);

// The index-th of a cascade of document windows in an area: each a readable
// three quarters of it, stepped down and right by step, starting again at the
// top-left before one would stick out.
QRect Cascade(int index, QSize area, int step);

} // namespace window_placement
