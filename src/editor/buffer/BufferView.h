#pragma once
#include <cstdint>
#include <string_view>

class PositionAdjuster;

// Change bits sent with every buffer notification.
enum : uint32_t {
    CHANGE_WIDTH = 0x0001,    // line lengths changed
    CHANGE_HEIGHT = 0x0002,   // the number of lines changed
    CHANGE_ONE_LINE = 0x0100, // only the given line changed
    CHANGE_MARKS = 0x0200,    // the mark word of the given line changed
    CHANGE_ENCODING = 0x0400, // the same bytes are now shown in another encoding
    CHANGE_LINES = 0x0800,    // lines from the given one on may have changed, not their number
    CHANGE_RESET = 0x1000,    // the whole text was replaced
};

// The view's side of a buffer: every registered view is told, in registration
// order, after each change. Views never own the buffer.
class BufferView {
public:
    virtual ~BufferView() = default;

    // source is the view that asked for the change, or null; adjuster, when
    // given, moves the positions the view keeps; line is the first line concerned
    // (-1 with CHANGE_RESET).
    virtual void OnBufferChanged(BufferView* source, const PositionAdjuster* adjuster,
                                 uint32_t bits, int line) = 0;

    // Called when an edit group closes with this view as its source: the action
    // and text of the group's last entry.
    virtual void AfterEditAction(int action, std::string_view text) {
        (void)action;
        (void)text;
    }
};
