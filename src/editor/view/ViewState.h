#pragma once
#include <memory>

#include "editor/buffer/TextPos.h"
#include "editor/view/PaneGroup.h"

// What a text view keeps of where the reader is: the caret, the selection,
// the scroll position and the splitter panes it follows. The view owns it and
// hands it to the helpers that move it (caret motion, mouse selection,
// scrolling, painting, search); nothing else writes it.
struct ViewState {
    TextPos cursor;
    TextPos anchor;
    // The selection as set, in either order; empty when the two are equal.
    TextPos selStart, selEnd;
    // The selection in text order, recomputed before each use.
    TextPos orderedSelStart, orderedSelEnd;
    // The screen column that vertical moves try to keep; -1 = none.
    int idealColumn = -1;
    int topLine = 0;
    int firstColumn = 0;
    bool focused = false; // as last told by focus events
    // Draw the selection even without focus (while a find dialog is open).
    bool keepSelectionVisible = false;
    // A drag of the selection out of the view is running; the dragged range
    // follows every change while it does.
    bool draggingText = false;
    TextPos dragStart, dragEnd;

    std::shared_ptr<PaneGroup> paneGroup;
    int paneRow = 0;
    int paneColumn = 0;
};
