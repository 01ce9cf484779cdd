#include "app/CMachineCombo.h"

#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <algorithm>

#include "app/MachineChoice.h"
#include "machine/ProfileFile.h"

namespace {
constexpr int kNarrowCharacters = 7;
} // namespace

CMachineCombo::CMachineCombo(QWidget* parent) : QComboBox(parent) {
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    Reload();
}

void CMachineCombo::AddMachine(const std::string& name, const QString& text, const QString& tip) {
    addItem(text, QString::fromStdString(name));
    setItemData(count() - 1, tip, Qt::ToolTipRole);
}

void CMachineCombo::Reload() {
    const QSignalBlocker quiet(this);
    const std::string shown = CurrentMachine();
    clear();
    for (const MachineProfile& preset : Presets())
        AddMachine(preset.name, machine_choice::Title(preset.name),
                   QString::fromStdString(preset.comment));
    for (const std::string& name : SavedMachines()) {
        if (FindPreset(name))
            continue; // listed once, as the preset it replaces
        MachineProfile profile;
        std::string error;
        AddMachine(name, QString::fromStdString(name),
                   LoadMachine(name, profile, error) ? QString::fromStdString(profile.comment)
                                                     : machine_choice::ErrorText(name, error));
    }
    setCurrentIndex(std::max(0, findData(QString::fromStdString(shown))));
}

void CMachineCombo::ShowMachine(const std::string& name) {
    const QSignalBlocker quiet(this);
    int index = findData(QString::fromStdString(name));
    if (index < 0) {
        AddMachine(name, QStringLiteral("%1（未找到）").arg(QString::fromStdString(name)),
                   QStringLiteral("machines 文件夹中没有这台机床的配置"));
        index = count() - 1;
    }
    if (index != currentIndex())
        setCurrentIndex(index);
    const QString tip = itemData(index, Qt::ToolTipRole).toString();
    if (toolTip() != tip)
        setToolTip(tip);
}

std::string CMachineCombo::MachineAt(int index) const {
    return index < 0 ? std::string() : itemData(index).toString().toStdString();
}

QSize CMachineCombo::minimumSizeHint() const {
    // A few characters when the window is narrow (the tip still says it
    // whole); the names' width when there is room.
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QSize text(fontMetrics().horizontalAdvance(QString(kNarrowCharacters, QLatin1Char('x'))),
                     fontMetrics().height());
    QSize narrow = style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, this);
    narrow.setHeight(QComboBox::minimumSizeHint().height());
    return narrow.boundedTo(QComboBox::minimumSizeHint());
}

void CMachineCombo::showPopup() {
    Reload();
    QComboBox::showPopup();
}
