#include "editor/view/ViewSearch.h"

#include "common/Gbk.h"
#include "common/StringTable.h"
#include "editor/buffer/CTextBuffer.h"
#include "editor/text/TextSearch.h"
#include "editor/view/CFindDialog.h"
#include "editor/view/CTextView.h"
#include "editor/view/EditorProfile.h"

bool ViewSearch::Search(std::string_view text, TextPos start, uint32_t flags, bool wrap,
                        TextPos& found) {
    if (v.Buffer() == nullptr)
        return false;
    if ((flags & SEARCH_BACKWARD) && v.HasSelection() && start == v.Cursor())
        start = std::min(v.SelStart(), v.SelEnd());
    return SearchText(*v.Buffer(), text, start, flags, wrap, found);
}

void ViewSearch::SelectFound(TextPos p, int length) {
    const TextPos end{p.y, p.x + length};
    st.cursor = end;
    v.PlaceAnchor(end);
    v.SelectRange(p, end);
    v.PlaceCaret();
    v.ScrollIntoView(end);
}

void ViewSearch::Find() {
    CFindDialog dlg(&v);
    if (lastSearchValid) {
        dlg.matchCase = lastSearchFlags & SEARCH_CASE;
        dlg.wholeWord = lastSearchFlags & SEARCH_WORD;
        dlg.direction = (lastSearchFlags & SEARCH_BACKWARD) ? 0 : 1;
        dlg.findText = lastSearchText;
    } else {
        auto profile = OpenProfile();
        profile->beginGroup("Editor/Find");
        dlg.matchCase = profile->value("MatchCase", 0).toInt() != 0;
        dlg.wholeWord = profile->value("WholeWord", 0).toInt() != 0;
        dlg.direction = 1;
        dlg.findText = v.DocumentBytes(profile->value("FindWhat", QString()).toString());
    }
    const TextPos s = std::min(v.SelStart(), v.SelEnd());
    const TextPos e = std::max(v.SelStart(), v.SelEnd());
    if (v.HasSelection() && s.y == e.y)
        v.TextBetween(s, e, dlg.findText);
    dlg.currentPos = v.Cursor();

    dlg.LoadControls();
    v.SetKeepSelectionVisible(true);
    v.RunModal(dlg);
    v.SetKeepSelectionVisible(false);

    lastSearchValid = true;
    lastSearchText = dlg.findText;
    lastSearchFlags = dlg.Flags();

    auto profile = OpenProfile();
    profile->beginGroup("Editor/Find");
    profile->setValue("MatchCase", dlg.matchCase ? 1 : 0);
    profile->setValue("WholeWord", dlg.wholeWord ? 1 : 0);
    profile->setValue("FindWhat", v.ShownText(dlg.findText));
}

void ViewSearch::FindNextWith(uint32_t flags) {
    if (!lastSearchValid)
        return;
    TextPos found;
    if (Search(lastSearchText, v.Cursor(), flags, true, found))
        SelectFound(found, int(lastSearchText.size()));
    else
        v.ShowMessage(NotFoundText(v, lastSearchText), true);
}

void ViewSearch::FindNext() {
    FindNextWith(lastSearchFlags);
}

void ViewSearch::FindPrevious() {
    FindNextWith(lastSearchFlags ^ SEARCH_BACKWARD);
}
