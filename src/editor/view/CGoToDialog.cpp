#include "editor/view/CGoToDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "editor/text/GoToTarget.h"
#include "editor/view/CTextView.h"
#include "editor/view/ViewText.h"

CGoToDialog::CGoToDialog(CTextView* view) : QDialog(view), view(view) {
    setWindowTitle(LoadText(IDD_GOTO));
    auto* label = new QLabel(LoadText(IDC_GOTO_WHAT), this);
    entryEdit = new QLineEdit(this);
    label->setBuddy(entryEdit);
    okButton = new QPushButton(LoadText(IDS_OK), this);
    cancelButton = new QPushButton(LoadText(IDS_CANCEL), this);
    okButton->setDefault(true);

    // The caret's line, ready to be typed over.
    entryEdit->setText(QString::number(view->Cursor().y + 1));
    entryEdit->selectAll();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(entryEdit);
    layout->addLayout(buttons);

    connect(okButton, &QPushButton::clicked, this, &CGoToDialog::OnOk);
    connect(cancelButton, &QPushButton::clicked, this, &CGoToDialog::reject);
}

void CGoToDialog::OnOk() {
    // A Chinese input method may be typing full-width digits and letters.
    const QString entry = entryEdit->text().normalized(QString::NormalizationForm_KC);
    const GoToTarget target = ParseGoToTarget(entry.toStdString());
    if (target.kind == GoToTarget::Kind::None) {
        Refuse(LoadText(IDS_ENTER_GOTO_TARGET));
        return;
    }
    const int found = view->Buffer() ? FindGoToLine(*view->Buffer(), target) : -1;
    if (found < 0) {
        Refuse(LoadText(IDS_BLOCK_NOT_FOUND).replace("%s", QString::fromStdString(target.block)));
        return;
    }
    line = found;
    accept();
}

void CGoToDialog::Refuse(const QString& text) {
    view->ShowMessage(text, true);
    entryEdit->setFocus();
    entryEdit->selectAll();
}

bool RunGoTo(CTextView& view) {
    if (view.Buffer() == nullptr)
        return false;
    CGoToDialog dialog(&view);
    if (view.RunModal(dialog) != QDialog::Accepted || dialog.Line() < 0)
        return false;
    // Text may have come in meanwhile; lines never went.
    const TextPos start{std::min(dialog.Line(), view.LineCount() - 1), 0};
    view.SelectRange(start, start);
    view.PlaceAnchor(start);
    view.PlaceCursor(start);
    view.ScrollIntoView(start);
    return true;
}
