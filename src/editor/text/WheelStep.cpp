#include "editor/text/WheelStep.h"

#include <cstdlib>

WheelStep WheelStepFor(int dx, int dy, bool shift) {
    const bool mostlySideways = std::abs(dx) > std::abs(dy);
    const int delta = mostlySideways ? dx : dy;
    if (delta == 0)
        return WheelStep::None;
    if (mostlySideways || shift)
        return delta > 0 ? WheelStep::ColumnLeft : WheelStep::ColumnRight;
    return delta > 0 ? WheelStep::LineUp : WheelStep::LineDown;
}
