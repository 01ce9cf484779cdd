#include "editor/view/CReplaceDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "common/Gbk.h"
#include "editor/buffer/CTextBuffer.h"
#include "editor/text/ReplaceAll.h"
#include "editor/text/TextSearch.h"
#include "editor/view/CEditView.h"
#include "editor/view/CFindDialog.h"
#include "editor/view/ViewText.h"

CReplaceDialog::CReplaceDialog(CEditView* view) : QDialog(view), view(view) {
    setWindowTitle(LoadText(IDD_REPLACE));
    findEdit = new QLineEdit(this);
    replaceEdit = new QLineEdit(this);
    wholeWordBox = new QCheckBox(LoadText(IDC_WHOLE_WORD), this);
    matchCaseBox = new QCheckBox(LoadText(IDC_MATCH_CASE), this);
    selectionButton = new QRadioButton(LoadText(IDC_SCOPE_SELECTION));
    wholeTextButton = new QRadioButton(LoadText(IDC_SCOPE_WHOLE));
    findNextButton = new QPushButton(LoadText(IDC_FIND_NEXT), this);
    replaceButton = new QPushButton(LoadText(IDC_REPLACE), this);
    replaceAllButton = new QPushButton(LoadText(IDC_REPLACE_ALL), this);
    cancelButton = new QPushButton(LoadText(IDS_CANCEL), this);
    findNextButton->setDefault(true);

    auto* scopeBox = new QGroupBox(LoadText(IDS_REPLACE_SCOPE), this);
    auto* scopeLayout = new QVBoxLayout(scopeBox);
    scopeLayout->addWidget(selectionButton);
    scopeLayout->addWidget(wholeTextButton);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(LoadText(IDC_FIND_WHAT), this), 0, 0);
    grid->addWidget(findEdit, 0, 1);
    grid->addWidget(new QLabel(LoadText(IDC_REPLACE_WITH), this), 1, 0);
    grid->addWidget(replaceEdit, 1, 1);
    auto* options = new QHBoxLayout;
    auto* checks = new QVBoxLayout;
    checks->addWidget(wholeWordBox);
    checks->addWidget(matchCaseBox);
    options->addLayout(checks);
    options->addWidget(scopeBox);
    grid->addLayout(options, 2, 0, 1, 2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(findNextButton);
    buttons->addWidget(replaceButton);
    buttons->addWidget(replaceAllButton);
    buttons->addWidget(cancelButton);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 2, 3, 1);

    connect(findEdit, &QLineEdit::textChanged, this, &CReplaceDialog::UpdateButtons);
    connect(findNextButton, &QPushButton::clicked, this, &CReplaceDialog::OnFindNext);
    connect(replaceButton, &QPushButton::clicked, this, &CReplaceDialog::OnReplace);
    connect(replaceAllButton, &QPushButton::clicked, this, &CReplaceDialog::OnReplaceAll);
    connect(cancelButton, &QPushButton::clicked, this, &CReplaceDialog::reject);
}

void CReplaceDialog::LoadControls() {
    findEdit->setText(view->ShownText(findText));
    replaceEdit->setText(view->ShownText(replaceText));
    wholeWordBox->setChecked(wholeWord);
    matchCaseBox->setChecked(matchCase);
    selectionButton->setEnabled(scopeSelectionEnabled);
    (scope == 0 ? selectionButton : wholeTextButton)->setChecked(true);
    found = false;
    UpdateButtons();
}

void CReplaceDialog::ReadControls() {
    findText = view->DocumentBytes(findEdit->text());
    replaceText = view->DocumentBytes(replaceEdit->text());
    wholeWord = wholeWordBox->isChecked();
    matchCase = matchCaseBox->isChecked();
    scope = selectionButton->isChecked() ? 0 : 1;
}

void CReplaceDialog::UpdateButtons() {
    findNextButton->setEnabled(!findEdit->text().isEmpty());
}

bool CReplaceDialog::NextInScope() {
    const uint32_t flags = (matchCase ? SEARCH_CASE : 0u) | (wholeWord ? SEARCH_WORD : 0u);
    bool ok = false;
    if (scope != 0)
        ok = view->Search(findText, foundAt, flags, false, foundAt);
    else if (view->Buffer() != nullptr)
        ok = SearchInRange(*view->Buffer(), findText, foundAt, blockBegin, blockEnd, flags, false,
                           foundAt);
    if (ok) {
        foundLength = int(findText.size());
        view->SelectFound(foundAt, foundLength);
        return true;
    }
    view->ShowMessage(NotFoundText(*view, findText), true);
    currentPos = scope != 0 ? TextPos{0, 0} : blockBegin;
    return false;
}

void CReplaceDialog::ReplaceFound(int eraseAction) {
    view->ReplaceSelectionWith(replaceText, eraseAction);
    // The range limits sit on text that the replacement moved along its line.
    const int shift = int(replaceText.size()) - foundLength;
    if (scopeSelectionEnabled) {
        for (TextPos* p : {&blockBegin, &blockEnd})
            if (p->y == foundAt.y && p->x > foundAt.x)
                p->x += shift;
    }
    foundAt.x += int(replaceText.size());
}

void CReplaceDialog::OnFindNext() {
    ReadControls();
    if (findText.empty())
        return;
    if (found)
        foundAt.x += 1;
    else
        foundAt = currentPos;
    found = NextInScope();
}

void CReplaceDialog::OnReplace() {
    ReadControls();
    if (findText.empty()) {
        view->ShowMessage(LoadText(IDS_ENTER_REPLACE_TEXT), false);
        return;
    }
    if (found)
        ReplaceFound();
    else
        foundAt = currentPos;
    found = NextInScope();
}

void CReplaceDialog::OnReplaceAll() {
    ReadControls();
    if (findText.empty()) {
        view->ShowMessage(LoadText(IDS_ENTER_REPLACE_TEXT), false);
        return;
    }
    if (!found) {
        foundAt = currentPos;
        found = NextInScope();
    }
    if (!found)
        return;
    // Every replacement joins one undo step: one Ctrl+Z takes them all back.
    CTextBuffer* buffer = view->Buffer();
    if (buffer != nullptr)
        buffer->BeginEditGroup(false);
    ReplaceFound(ACTION_REPLACE);
    ReplaceRest();
    // After ReplaceRest the next search fails at once and tells the user so;
    // the loop still takes whatever ReplaceRest could not.
    while ((found = NextInScope()))
        ReplaceFound(ACTION_REPLACE);
    if (buffer != nullptr)
        buffer->EndEditGroup(nullptr);
}

void CReplaceDialog::ReplaceRest() {
    CTextBuffer* buffer = view->Buffer();
    if (buffer == nullptr || !view->CanEdit())
        return;
    const uint32_t flags = (matchCase ? SEARCH_CASE : 0u) | (wholeWord ? SEARCH_WORD : 0u);
    ReplaceRange range{blockBegin, blockEnd, scope == 0};
    LineSubstitution change =
        CollectReplacements(*buffer, findText, replaceText, flags, foundAt, range);
    if (change.Empty())
        return;
    const TextPos start = change.LastStart();
    const TextPos end = change.LastEnd();
    if (!buffer->Substitute(view, std::move(change), ACTION_REPLACE))
        return;
    if (scopeSelectionEnabled) {
        blockBegin = range.begin;
        blockEnd = range.end;
    }
    view->ShowReplacement(start, end);
    foundAt = end;
}

void CReplaceDialog::reject() {
    ReadControls();
    QDialog::reject();
}
