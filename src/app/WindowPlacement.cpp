#include "app/WindowPlacement.h"

#include <algorithm>

namespace window_placement {

QRect FitMain(QSize wanted, const QRect& available, const QMargins& frame) {
    const QSize room(available.width() - frame.left() - frame.right(),
                     available.height() - frame.top() - frame.bottom());
    const QSize size = wanted.boundedTo(room).expandedTo(QSize(1, 1));
    const QSize outer(size.width() + frame.left() + frame.right(),
                      size.height() + frame.top() + frame.bottom());
    const QPoint corner(available.left() + std::max(0, (available.width() - outer.width()) / 2),
                        available.top() + std::max(0, (available.height() - outer.height()) / 2));
    return {corner + QPoint(frame.left(), frame.top()), size};
}

QRect Cascade(int index, QSize area, int step) {
    const QSize size(std::max(std::min(area.width(), 320), area.width() * 3 / 4),
                     std::max(std::min(area.height(), 200), area.height() * 3 / 4));
    step = std::max(step, 1);
    const int room = std::min(area.width() - size.width(), area.height() - size.height());
    const int places = std::max(1, room / step + 1);
    const int at = (std::max(index, 0) % places) * step;
    return {QPoint(at, at), size};
}

} // namespace window_placement
