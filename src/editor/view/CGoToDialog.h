#pragma once
#include <QDialog>

class CTextView;
class QLineEdit;
class QPushButton;

// The Go To dialog ("转到"): a line number or a block number (N word). OK
// looks the entry up in the view's text and closes once it names a line;
// an entry that reads as neither, or a block no line carries, is told
// through the view's message seam and the dialog stays open to correct it.
class CGoToDialog : public QDialog {
    Q_OBJECT

public:
    explicit CGoToDialog(CTextView* view);

    // The line found (from 0), once the dialog was accepted; -1 before.
    int Line() const { return line; }

    QLineEdit* entryEdit;
    QPushButton* okButton;
    QPushButton* cancelButton;

public slots:
    void OnOk();

private:
    void Refuse(const QString& text);

    CTextView* view;
    int line = -1;
};

// Ctrl+G: the dialog through the view's modal seam, then the caret at the
// start of the chosen line, the selection empty, the line in sight. True
// when the caret went there.
bool RunGoTo(CTextView& view);
