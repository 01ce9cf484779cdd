#include "editor/view/PageSetup.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "editor/view/CTextView.h"
#include "editor/view/EditorProfile.h"

namespace {

int ReadMargin(QSettings& profile, const char* key) {
    bool ok = false;
    const int value = profile.value(key, 1000).toInt(&ok);
    // A hand-edited profile must not turn into a negative margin.
    return ok && value >= 0 ? value : 1000;
}

} // namespace

PageMargins LoadPageMargins() {
    auto profile = OpenProfile();
    profile->beginGroup("Editor/PageSetup");
    PageMargins m;
    m.left = ReadMargin(*profile, "LeftMargin");
    m.right = ReadMargin(*profile, "RightMargin");
    m.top = ReadMargin(*profile, "TopMargin");
    m.bottom = ReadMargin(*profile, "BottomMargin");
    return m;
}

void SavePageMargins(const PageMargins& m) {
    auto profile = OpenProfile();
    profile->beginGroup("Editor/PageSetup");
    profile->setValue("LeftMargin", m.left);
    profile->setValue("RightMargin", m.right);
    profile->setValue("TopMargin", m.top);
    profile->setValue("BottomMargin", m.bottom);
    profile->endGroup();
    profile->sync();
}

namespace {

QDoubleSpinBox* MarginEdit(QWidget* parent) {
    auto* edit = new QDoubleSpinBox(parent);
    edit->setDecimals(2);
    edit->setRange(0, 1000);
    edit->setSingleStep(1);
    edit->setSuffix(QStringLiteral(" 毫米"));
    return edit;
}

int Hundredths(const QDoubleSpinBox* edit) {
    return static_cast<int>(std::lround(edit->value() * 100));
}

} // namespace

CPageSetupDialog::CPageSetupDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("页面设置"));
    leftEdit = MarginEdit(this);
    rightEdit = MarginEdit(this);
    topEdit = MarginEdit(this);
    bottomEdit = MarginEdit(this);
    auto* group = new QGroupBox(QStringLiteral("页边距"), this);
    auto* form = new QFormLayout(group);
    form->addRow(QStringLiteral("左(&L):"), leftEdit);
    form->addRow(QStringLiteral("右(&R):"), rightEdit);
    form->addRow(QStringLiteral("上(&T):"), topEdit);
    form->addRow(QStringLiteral("下(&B):"), bottomEdit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
}

void CPageSetupDialog::SetMargins(const PageMargins& m) {
    leftEdit->setValue(m.left / 100.0);
    rightEdit->setValue(m.right / 100.0);
    topEdit->setValue(m.top / 100.0);
    bottomEdit->setValue(m.bottom / 100.0);
}

PageMargins CPageSetupDialog::Margins() const {
    return {Hundredths(leftEdit), Hundredths(rightEdit), Hundredths(topEdit),
            Hundredths(bottomEdit)};
}

bool RunPageSetup(CTextView& view) {
    CPageSetupDialog dialog(&view);
    dialog.SetMargins(LoadPageMargins());
    if (view.RunModal(dialog) != QDialog::Accepted)
        return false;
    SavePageMargins(dialog.Margins());
    return true;
}
