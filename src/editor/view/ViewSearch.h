#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "editor/buffer/TextPos.h"

class CTextView;
struct ViewState;

// The find commands of a text view: the Find dialog, find next and find
// previous, and the last search they share. Each view has its own; it is
// forgotten when the view resets its state.
class ViewSearch {
public:
    ViewSearch(CTextView& view, ViewState& state) : v(view), st(state) {}

    void Reset() { lastSearchValid = false; }
    bool LastSearchValid() const { return lastSearchValid; }
    uint32_t LastSearchFlags() const { return lastSearchFlags; }
    const std::string& LastSearchText() const { return lastSearchText; }

    // Runs the Find dialog; whether it ends with a find or a cancel, its text
    // and options become the last search and go to the profile.
    void Find();
    void FindNext();
    void FindPrevious();

    // A backward search from the cursor starts at the selection's start, so
    // that the match just found is not found again.
    bool Search(std::string_view text, TextPos start, uint32_t flags, bool wrap, TextPos& found);
    // Selects length bytes from p, the cursor at the end, and shows them.
    void SelectFound(TextPos p, int length);

private:
    void FindNextWith(uint32_t flags);

    CTextView& v;
    ViewState& st;
    bool lastSearchValid = false;
    uint32_t lastSearchFlags = 0;
    std::string lastSearchText;
};
