#pragma once
#include <QDialog>
#include <cstdint>
#include <string>

#include "editor/buffer/TextPos.h"

class CTextView;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Message 8606 for a search text (GBK bytes).
QString NotFoundText(const CTextView& view, const std::string& text);

// The Find dialog ("查找"). Its fields hold the options; LoadControls and
// ReadControls move them to and from the controls. Find next searches from
// currentPos and closes on a match; a miss restarts at the top of the text.
class CFindDialog : public QDialog {
    Q_OBJECT

public:
    explicit CFindDialog(CTextView* view);

    void LoadControls();
    void ReadControls();
    uint32_t Flags() const;

    CTextView* view;
    TextPos currentPos;
    int direction = 1; // 0 up, 1 down
    bool matchCase = false;
    std::string findText; // in the document's encoding
    bool wholeWord = false;

    QLineEdit* findEdit;
    QCheckBox* wholeWordBox;
    QCheckBox* matchCaseBox;
    QRadioButton* upButton;
    QRadioButton* downButton;
    QPushButton* findNextButton;
    QPushButton* cancelButton;

public slots:
    void OnFindNext();
    void reject() override;

private:
    void UpdateButtons();
};
