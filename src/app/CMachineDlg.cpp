#include "app/CMachineDlg.h"

#include <QFile>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/AppHooks.h"
#include "app/CMachineForm.h"
#include "app/MachineChoice.h"
#include "machine/ProfileFile.h"

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QString ProfilePath(const std::string& name) {
    return Q(MachinesFolder() + "/" + name + ".ini");
}

// A question with the program's title, through the program's modal seam.
int Ask(QWidget* parent, const QString& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(app_hooks::kAppTitle), text, buttons,
                    parent);
    return app_hooks::RunModal(box);
}

} // namespace

CMachineDlg::CMachineDlg(const std::string& machine, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("机床配置"));
    BuildControls();
    Reload(machine);
}

void CMachineDlg::BuildControls() {
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("machineList"));
    list->setFixedWidth(210);
    connect(list, &QListWidget::currentRowChanged, this, &CMachineDlg::OnRowChanged);

    title = new QLabel(this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    form = new CMachineForm(this);
    hint = new QLabel(this);
    hint->setObjectName(QStringLiteral("hint"));
    hint->setWordWrap(true);
    auto* right = new QVBoxLayout;
    right->addWidget(title);
    right->addWidget(form, 1);
    right->addWidget(hint);

    auto* top = new QHBoxLayout;
    top->addWidget(list);
    top->addLayout(right, 1);

    newButton = new QPushButton(QStringLiteral("新建…"), this);
    saveButton = new QPushButton(QStringLiteral("保存"), this);
    deleteButton = new QPushButton(QStringLiteral("删除"), this);
    closeButton = new QPushButton(QStringLiteral("关闭"), this);
    newButton->setToolTip(QStringLiteral("把选中的机床配置复制为一台新机床"));
    // Enter in a field must not close the dialog or save behind the operator's back.
    for (QPushButton* b : {newButton, saveButton, deleteButton, closeButton})
        b->setAutoDefault(false);
    connect(newButton, &QPushButton::clicked, this, &CMachineDlg::OnNew);
    connect(saveButton, &QPushButton::clicked, this, &CMachineDlg::OnSave);
    connect(deleteButton, &QPushButton::clicked, this, &CMachineDlg::OnDelete);
    connect(closeButton, &QPushButton::clicked, this, &CMachineDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(newButton);
    buttons->addWidget(saveButton);
    buttons->addWidget(deleteButton);
    buttons->addStretch();
    buttons->addWidget(closeButton);

    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top, 1);
    outer->addLayout(buttons);
    resize(760, 560);
}

void CMachineDlg::Reload(const std::string& select) {
    {
        const QSignalBlocker quiet(list);
        list->clear();
        auto add = [this](const std::string& name, const QString& text, const QString& tip) {
            auto* item = new QListWidgetItem(text, list);
            item->setData(Qt::UserRole, Q(name));
            item->setToolTip(tip);
        };
        for (const MachineProfile& preset : Presets())
            add(preset.name, machine_choice::Title(preset.name) + QStringLiteral("（预设）"),
                Q(preset.comment));
        for (const std::string& name : SavedMachines()) {
            if (FindPreset(name))
                continue;
            MachineProfile p;
            std::string error;
            add(name, Q(name),
                LoadMachine(name, p, error) ? Q(p.comment)
                                            : machine_choice::ErrorText(name, error));
        }
        const int row = std::max(0, RowOf(select));
        list->setCurrentRow(row);
        current = list->item(row)->data(Qt::UserRole).toString().toStdString();
    }
    ShowCurrent();
}

void CMachineDlg::ShowCurrent() {
    const bool preset = FindPreset(current) != nullptr;
    std::string error;
    loaded = MachineProfile{};
    loadedOk = LoadMachine(current, loaded, error);
    form->SetReadOnly(preset || !loadedOk);
    form->Show(loadedOk ? loaded : MachineProfile{});
    form->setEnabled(loadedOk);
    title->setText(machine_choice::Title(current) +
                   (preset ? QStringLiteral("（预设）") : QString()));
    if (!loadedOk)
        hint->setText(machine_choice::ErrorText(current, error) +
                      QStringLiteral("\n请在文件中改正，或删除这份配置。"));
    else if (preset)
        hint->setText(QStringLiteral("预设配置只能查看，不能修改或删除；"
                                     "要改动，请用“新建…”复制一份再改。") +
                      (current == machine_choice::kClassic
                           ? QStringLiteral("\n经典配置的线路取自 Sermida.ini（通信设置），"
                                            "不用这里的串口和波特率。")
                           : QString()));
    else
        hint->setText(QStringLiteral("程序前后字符和标记用转义写法：\\r \\n \\t \\0 \\xHH，"
                                     "{N} 表示前一个字符重复 N 次（如 \\0{50}）。"));
    newButton->setEnabled(loadedOk);
    saveButton->setEnabled(loadedOk && !preset);
    deleteButton->setEnabled(!preset);
}

int CMachineDlg::RowOf(const std::string& machine) const {
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->data(Qt::UserRole).toString() == Q(machine))
            return i;
    return -1;
}

bool CMachineDlg::Select(const std::string& machine) {
    const int row = RowOf(machine);
    if (row >= 0)
        list->setCurrentRow(row);
    return row >= 0 && current == machine;
}

void CMachineDlg::OnRowChanged(int row) {
    if (row < 0)
        return;
    if (!KeepOrDropChanges()) {
        // The operator stays with the machine being edited.
        const QSignalBlocker quiet(list);
        list->setCurrentRow(RowOf(current));
        return;
    }
    current = list->item(row)->data(Qt::UserRole).toString().toStdString();
    ShowCurrent();
}

bool CMachineDlg::Changed() const {
    if (!loadedOk || FindPreset(current))
        return false;
    MachineProfile shown = loaded;
    QString error;
    return !form->Read(shown, error) || ProfileText(shown) != ProfileText(loaded);
}

bool CMachineDlg::KeepOrDropChanges() {
    if (!Changed())
        return true;
    const int answer = Ask(this, QStringLiteral("机床配置“%1”已改动，是否保存？").arg(Q(current)),
                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Yes)
        return OnSave();
    return answer == QMessageBox::No;
}

bool CMachineDlg::OnSave() {
    if (!loadedOk || FindPreset(current))
        return false;
    MachineProfile profile = loaded;
    QString error;
    if (!form->Read(profile, error)) {
        app_hooks::ShowMessage(error + QStringLiteral("\n机床配置没有保存。"));
        return false;
    }
    profile.name = current;
    profile.preset = false;
    std::string why;
    if (!SaveMachine(profile, why)) {
        app_hooks::ShowMessage(QStringLiteral("保存机床配置“%1”失败：%2").arg(Q(current), Q(why)));
        return false;
    }
    // From now on the form is compared with what the file says.
    std::string unused;
    if (LoadMachine(current, profile, unused))
        loaded = profile;
    form->Show(loaded);
    if (QListWidgetItem* item = list->item(RowOf(current)))
        item->setToolTip(Q(loaded.comment));
    emit MachineSaved(Q(current));
    return true;
}

void CMachineDlg::OnNew() {
    if (!loadedOk)
        return;
    // The copy takes what the form shows, changes not yet saved included.
    MachineProfile copy = loaded;
    QString error;
    if (!form->Read(copy, error)) {
        app_hooks::ShowMessage(error + QStringLiteral("\n没有新建机床配置。"));
        return;
    }
    QInputDialog ask(this);
    ask.setWindowTitle(QStringLiteral("新建机床配置"));
    ask.setLabelText(QStringLiteral("复制“%1”为新机床，名称（字母、数字、- _ .）：")
                         .arg(machine_choice::Title(current)));
    ask.setTextValue(Q(current + "-1"));
    if (app_hooks::RunModal(ask) != QDialog::Accepted)
        return;
    const std::string name = ask.textValue().trimmed().toStdString();
    if (!ValidMachineName(name)) {
        app_hooks::ShowMessage(
            QStringLiteral("“%1”不能作机床名称：只能用字母、数字和 - _ .，且不能以 . 开头。")
                .arg(Q(name)));
        return;
    }
    if (FindPreset(name) || QFile::exists(ProfilePath(name))) {
        app_hooks::ShowMessage(QStringLiteral("已经有名为“%1”的机床，请换一个名称。").arg(Q(name)));
        return;
    }
    copy.name = name;
    copy.preset = false;
    std::string why;
    if (!SaveMachine(copy, why)) {
        app_hooks::ShowMessage(QStringLiteral("保存机床配置“%1”失败：%2").arg(Q(name), Q(why)));
        return;
    }
    Reload(name);
    emit MachineSaved(Q(name));
}

void CMachineDlg::OnDelete() {
    if (FindPreset(current))
        return;
    if (Ask(this, QStringLiteral("删除机床配置“%1”吗？此操作不能撤消。").arg(Q(current)),
            QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    QFile file(ProfilePath(current));
    if (!file.remove()) {
        app_hooks::ShowMessage(
            QStringLiteral("删除机床配置“%1”失败：%2").arg(Q(current), file.errorString()));
        return;
    }
    const QString gone = Q(current);
    Reload(machine_choice::kClassic);
    emit MachineDeleted(gone);
}

void CMachineDlg::reject() {
    if (KeepOrDropChanges())
        QDialog::reject();
}
