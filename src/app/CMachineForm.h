#pragma once
#include <QTabWidget>

#include "machine/MachineProfile.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLineEdit;
class QSpinBox;

// The fields of one machine profile, in three tabs: "线路" (the line and the
// hold), "发送" (how a program looks on the wire) and "接收" (how one is
// picked out of what comes). Leaders, trailers and marks are edited as
// escaped text (\r, \n, \0, \xHH, {N}). Each field's object name is its key
// in the profile's file.
class CMachineForm : public QTabWidget {
    Q_OBJECT

public:
    explicit CMachineForm(QWidget* parent = nullptr);

    void Show(const MachineProfile& profile);
    // The fields into profile (its name and preset flag stay); false, with
    // the reason naming the field, when one holds no valid value.
    bool Read(MachineProfile& profile, QString& error) const;
    // Presets are shown, not changed; the tabs still switch.
    void SetReadOnly(bool readOnly);

private:
    QWidget* LinePage();
    QWidget* SendPage();
    QWidget* ReceivePage();
    QLineEdit* AddText(QFormLayout* form, const char* key, const char* label);
    QComboBox* AddChoice(QFormLayout* form, const char* key, const char* label,
                         std::initializer_list<std::pair<const char*, int>> items);
    QSpinBox* AddNumber(QFormLayout* form, const char* key, const char* label, int max,
                        const char* zeroText, const char* suffix);
    QCheckBox* AddFlag(QFormLayout* form, const char* key, const char* label);
    void UpdatePortEnabled();

    bool readOnly = false;
    QLineEdit* comment = nullptr;
    QComboBox* port = nullptr;
    QLineEdit* device = nullptr;
    QComboBox* baud = nullptr;
    QComboBox* dataBits = nullptr;
    QComboBox* parity = nullptr;
    QComboBox* stopBits = nullptr;
    QComboBox* flow = nullptr;
    QSpinBox* xoffCharacters = nullptr;

    QComboBox* endOfBlock = nullptr;
    QCheckBox* stripSemicolon = nullptr;
    QCheckBox* stripParen = nullptr;
    QCheckBox* stripSpaces = nullptr;
    QCheckBox* skipBlank = nullptr;
    QLineEdit* leader = nullptr;
    QLineEdit* trailer = nullptr;
    QCheckBox* waitForDc1 = nullptr;
    QSpinBox* dc1Timeout = nullptr;
    QSpinBox* stallLimit = nullptr;
    QCheckBox* stopOnStall = nullptr;
    QSpinBox* delayBeforeStart = nullptr;
    QSpinBox* delayAfterLine = nullptr;
    QSpinBox* delayPerCharacter = nullptr;
    QSpinBox* delayAfterDc1 = nullptr;

    QLineEdit* receiveStart = nullptr;
    QLineEdit* receiveEnd = nullptr;
    QCheckBox* stripControls = nullptr;
    QComboBox* receiveLineEnd = nullptr;
    QSpinBox* idleSeconds = nullptr;
};
