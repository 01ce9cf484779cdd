#pragma once
#include <QDialog>
#include <cstdint>
#include <string>

#include "editor/buffer/EditAction.h"
#include "editor/buffer/TextPos.h"

class CEditView;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The Replace dialog ("替换"). Searches go forward only and never wrap: in the
// selection it was opened on (scope 0) or from the cursor to the end of the
// text (scope 1). Each step selects the match it found, so Replace replaces
// what the user sees.
class CReplaceDialog : public QDialog {
    Q_OBJECT

public:
    explicit CReplaceDialog(CEditView* view);

    void LoadControls();
    void ReadControls();

    CEditView* view;
    bool found = false;
    TextPos foundAt;
    bool scopeSelectionEnabled = true;
    TextPos currentPos;
    TextPos blockBegin, blockEnd;
    bool matchCase = false;
    bool wholeWord = false;
    std::string findText;    // in the document's encoding
    std::string replaceText; // in the document's encoding
    int scope = -1;          // 0 the selection, 1 the whole text

    QLineEdit* findEdit;
    QLineEdit* replaceEdit;
    QCheckBox* wholeWordBox;
    QCheckBox* matchCaseBox;
    QRadioButton* selectionButton;
    QRadioButton* wholeTextButton;
    QPushButton* findNextButton;
    QPushButton* replaceButton;
    QPushButton* replaceAllButton;
    QPushButton* cancelButton;

public slots:
    void OnFindNext();
    void OnReplace();
    void OnReplaceAll();
    void reject() override;

private:
    // One search step from foundAt; selects the match, or tells of the miss.
    bool NextInScope();
    void ReplaceFound(int eraseAction = ACTION_DELSEL);
    // Replaces every further match in scope at once, as the Replace step would
    // one by one, and selects the last replacement.
    void ReplaceRest();
    void UpdateButtons();

    // Bytes of the selected match: what ReplaceFound takes out.
    int foundLength = 0;
};
