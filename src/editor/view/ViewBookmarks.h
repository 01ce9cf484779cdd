#pragma once

class CTextView;

// The bookmark commands of a text view. Bookmarks are mark bits of the
// buffer's lines, so they move with their lines and are shared by all views of
// the buffer; the view itself only remembers whether plain ones exist, as its
// own toggle and clear commands last found.
class ViewBookmarks {
public:
    explicit ViewBookmarks(CTextView& view) : v(view) {}

    void Reset() { hasPlainBookmarks = false; }
    bool HasPlainBookmarks() const { return hasPlainBookmarks; }

    void ToggleNumberedMark(int n);
    void GoToNumberedMark(int n);
    void ClearNumberedMarks();
    void TogglePlainMark();
    void NextPlainMark();
    void PreviousPlainMark();
    void ClearPlainMarks();

private:
    void GoToLine(int line);

    CTextView& v;
    bool hasPlainBookmarks = false;
};
