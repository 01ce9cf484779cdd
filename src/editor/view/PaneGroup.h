#pragma once
#include <vector>

class CTextView;

// Panes of one splitter that follow each other's scrolling: views in the same
// row share the top line, views in the same column the first column. Each view
// removes itself when it goes away.
struct PaneGroup {
    struct Pane {
        CTextView* view;
        int row;
        int column;
    };
    std::vector<Pane> panes;
};
