#pragma once
#include "editor/buffer/TextPos.h"

class CTextView;
struct ViewState;

// The keyboard movement commands of a text view, plain and extending the
// selection, and select all.
class CaretMotion {
public:
    CaretMotion(CTextView& view, ViewState& state) : v(view), st(state) {}

    // A movement command id (37100 .. 37125); false for any other id.
    bool Execute(int id);
    void SelectAll();

private:
    // Each returns false when the command does nothing at all (word moves at
    // the ends of the text), so that an existing selection stays.
    void CharLeft(bool extend);
    void CharRight(bool extend);
    bool WordLeft(bool extend);
    bool WordRight(bool extend);
    void LineUp(bool extend);
    void LineDown(bool extend);
    void PageUp(bool extend);
    void PageDown(bool extend);
    void Home(bool extend);
    void End(bool extend);
    void Finish(bool extend, bool keepIdeal = false);
    // The selection's ordered ends when it is not empty and the move does not
    // extend; the cursor then goes to one of them first.
    bool Collapsing(bool extend);
    TextPos Vertical(TextPos from, int line);

    CTextView& v;
    ViewState& st;
};
