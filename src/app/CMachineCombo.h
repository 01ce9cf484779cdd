#pragma once
#include <QComboBox>
#include <string>

// The machines an operator can pick for a view: the classic one first, the
// other presets, then the saved profiles, each with its comment as tip. The
// list is read again each time it opens, so profiles added meanwhile (by the
// command line, by hand) are there.
class CMachineCombo : public QComboBox {
    Q_OBJECT

public:
    explicit CMachineCombo(QWidget* parent = nullptr);

    void Reload();
    // Shows that machine without telling anyone; one that is not (or no
    // longer) there is shown as missing.
    void ShowMachine(const std::string& name);
    std::string MachineAt(int index) const;
    std::string CurrentMachine() const { return MachineAt(currentIndex()); }

    QSize minimumSizeHint() const override;
    void showPopup() override;

private:
    void AddMachine(const std::string& name, const QString& text, const QString& tip);
};
