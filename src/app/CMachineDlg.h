#pragma once
#include <QDialog>
#include <string>

#include "machine/MachineProfile.h"

class CMachineForm;
class QLabel;
class QListWidget;
class QPushButton;

// "机床配置": the machines on the left (presets first, marked), the chosen
// one's fields on the right. Presets are shown read-only and copied with
// "新建…"; saved profiles are changed with "保存" and removed with "删除".
// Nothing is written while a field holds a malformed value.
class CMachineDlg : public QDialog {
    Q_OBJECT

public:
    // Opens on that machine.
    explicit CMachineDlg(const std::string& machine, QWidget* parent = nullptr);

    QListWidget* List() const { return list; }
    CMachineForm* Form() const { return form; }
    QLabel* Hint() const { return hint; }
    QPushButton* NewButton() const { return newButton; }
    QPushButton* SaveButton() const { return saveButton; }
    QPushButton* DeleteButton() const { return deleteButton; }
    // The machine shown.
    const std::string& Current() const { return current; }
    bool Select(const std::string& machine);

    void OnNew();
    bool OnSave();
    void OnDelete();
    // Close: changes not saved are asked about first.
    void reject() override;

signals:
    void MachineSaved(const QString& name);
    void MachineDeleted(const QString& name);

private:
    void BuildControls();
    void Reload(const std::string& select);
    void ShowCurrent();
    // The form differs from what was loaded.
    bool Changed() const;
    // Before the form shows another machine or closes: false to stay.
    bool KeepOrDropChanges();
    void OnRowChanged(int row);
    int RowOf(const std::string& machine) const; // -1 when not listed

    QListWidget* list = nullptr;
    CMachineForm* form = nullptr;
    QLabel* title = nullptr;
    QLabel* hint = nullptr;
    QPushButton* newButton = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* closeButton = nullptr;
    std::string current;
    MachineProfile loaded; // as read; what the form is compared with
    bool loadedOk = false;
};
