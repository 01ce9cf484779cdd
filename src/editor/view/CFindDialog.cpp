#include "editor/view/CFindDialog.h"

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
#include "common/StringTable.h"
#include "editor/text/TextSearch.h"
#include "editor/view/CTextView.h"
#include "editor/view/ViewText.h"

QString NotFoundText(const CTextView& view, const std::string& text) {
    return LoadText(IDS_NOT_FOUND).replace("%s", view.ShownText(text));
}

CFindDialog::CFindDialog(CTextView* view) : QDialog(view), view(view) {
    setWindowTitle(LoadText(IDD_FIND));
    findEdit = new QLineEdit(this);
    wholeWordBox = new QCheckBox(LoadText(IDC_WHOLE_WORD), this);
    matchCaseBox = new QCheckBox(LoadText(IDC_MATCH_CASE), this);
    upButton = new QRadioButton(LoadText(IDC_DIRECTION_UP));
    downButton = new QRadioButton(LoadText(IDC_DIRECTION_DOWN));
    findNextButton = new QPushButton(LoadText(IDC_FIND_NEXT), this);
    cancelButton = new QPushButton(LoadText(IDS_CANCEL), this);
    findNextButton->setDefault(true);

    auto* directionBox = new QGroupBox(LoadText(IDS_FIND_DIRECTION), this);
    auto* directionLayout = new QHBoxLayout(directionBox);
    directionLayout->addWidget(upButton);
    directionLayout->addWidget(downButton);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(LoadText(IDC_FIND_WHAT), this), 0, 0);
    grid->addWidget(findEdit, 0, 1, 1, 2);
    grid->addWidget(findNextButton, 0, 3);
    auto* options = new QVBoxLayout;
    options->addWidget(wholeWordBox);
    options->addWidget(matchCaseBox);
    grid->addLayout(options, 1, 0, 1, 2);
    grid->addWidget(directionBox, 1, 2);
    grid->addWidget(cancelButton, 1, 3, Qt::AlignTop);

    connect(findEdit, &QLineEdit::textChanged, this, &CFindDialog::UpdateButtons);
    connect(findNextButton, &QPushButton::clicked, this, &CFindDialog::OnFindNext);
    connect(cancelButton, &QPushButton::clicked, this, &CFindDialog::reject);
}

void CFindDialog::LoadControls() {
    findEdit->setText(view->ShownText(findText));
    findEdit->selectAll();
    wholeWordBox->setChecked(wholeWord);
    matchCaseBox->setChecked(matchCase);
    (direction == 0 ? upButton : downButton)->setChecked(true);
    UpdateButtons();
}

void CFindDialog::ReadControls() {
    findText = view->DocumentBytes(findEdit->text());
    wholeWord = wholeWordBox->isChecked();
    matchCase = matchCaseBox->isChecked();
    direction = upButton->isChecked() ? 0 : 1;
}

uint32_t CFindDialog::Flags() const {
    return (matchCase ? SEARCH_CASE : 0u) | (wholeWord ? SEARCH_WORD : 0u) |
           (direction == 0 ? SEARCH_BACKWARD : 0u);
}

void CFindDialog::UpdateButtons() {
    findNextButton->setEnabled(!findEdit->text().isEmpty());
}

void CFindDialog::OnFindNext() {
    ReadControls();
    if (findText.empty())
        return;
    TextPos found;
    if (view->Search(findText, currentPos, Flags(), true, found)) {
        view->SelectFound(found, int(findText.size()));
        accept();
        return;
    }
    view->ShowMessage(NotFoundText(*view, findText), true);
    currentPos = TextPos{0, 0};
}

void CFindDialog::reject() {
    // Typed text and options survive a cancel.
    ReadControls();
    QDialog::reject();
}
