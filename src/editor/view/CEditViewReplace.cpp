// The Replace command and the replacement of the selected match.
#include "common/Gbk.h"
#include "editor/buffer/CTextBuffer.h"
#include "editor/view/CEditView.h"
#include "editor/view/CReplaceDialog.h"
#include "editor/view/EditorProfile.h"

void CEditView::Replace() {
    if (!CanEdit())
        return;
    CReplaceDialog dlg(this);
    {
        auto profile = OpenProfile();
        profile->beginGroup("Editor/Replace");
        dlg.matchCase = profile->value("MatchCase", 0).toInt() != 0;
        dlg.wholeWord = profile->value("WholeWord", 0).toInt() != 0;
        dlg.findText = DocumentBytes(profile->value("FindWhat", QString()).toString());
        dlg.replaceText = DocumentBytes(profile->value("ReplaceWith", QString()).toString());
    }
    if (HasSelection()) {
        OrderedSelection(savedSelStart, savedSelEnd);
        selectionSaved = true;
        dlg.scope = 0;
        dlg.scopeSelectionEnabled = true;
        dlg.currentPos = dlg.blockBegin = savedSelStart;
        dlg.blockEnd = savedSelEnd;
    } else {
        dlg.scope = 1;
        dlg.scopeSelectionEnabled = false;
        dlg.currentPos = Cursor();
    }
    dlg.LoadControls();
    SetKeepSelectionVisible(true);
    RunModal(dlg);
    SetKeepSelectionVisible(false);
    if (selectionSaved) {
        SelectRange(savedSelStart, savedSelEnd);
        selectionSaved = false;
    }
    auto profile = OpenProfile();
    profile->beginGroup("Editor/Replace");
    profile->setValue("MatchCase", dlg.matchCase ? 1 : 0);
    profile->setValue("WholeWord", dlg.wholeWord ? 1 : 0);
    profile->setValue("FindWhat", ShownText(dlg.findText));
    profile->setValue("ReplaceWith", ShownText(dlg.replaceText));
}

bool CEditView::ReplaceSelectionWith(std::string_view text, int eraseAction) {
    if (!CanEdit() || !HasSelection())
        return false;
    TextPos s, e;
    OrderedSelection(s, e);
    // Two undo groups, the erasure then the insertion, unless a group is open.
    EraseSelection(eraseAction);
    int el = 0, eb = 0;
    if (!Buffer()->InsertAt(this, s.y, s.x, text, el, eb, ACTION_REPLACE))
        return false;
    ShowReplacement(s, TextPos{el, eb});
    return true;
}

void CEditView::ShowReplacement(TextPos start, TextPos end) {
    PlaceAnchor(end);
    SelectRange(start, end);
    PlaceCursor(end);
    ScrollIntoView(end);
}

void CEditView::OnBufferChanged(BufferView* source, const PositionAdjuster* adjuster, uint32_t bits,
                                int line) {
    CTextView::OnBufferChanged(source, adjuster, bits, line);
    if (selectionSaved && adjuster != nullptr) {
        adjuster->Adjust(savedSelStart);
        adjuster->Adjust(savedSelEnd);
    }
}
