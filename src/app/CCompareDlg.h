#pragma once
#include <QDialog>
#include <string>

class CTextBuffer;
class QLabel;
class QTableWidget;

// The active document beside a stored program, side by side with line
// numbers: only the runs that differ, with two lines around each, the
// changed lines marked. What a controller changes by itself (line ends, '%'
// framing, ';' comments, end blanks, blank lines) is left out.
class CCompareDlg : public QDialog {
    Q_OBJECT

public:
    CCompareDlg(const CTextBuffer& document, const QString& documentTitle,
                const CTextBuffer& stored, const QString& storedPath, QWidget* parent = nullptr);

    QLabel* Summary() const { return summary; }
    QTableWidget* Table() const { return table; }

private:
    QLabel* summary = nullptr;
    QTableWidget* table = nullptr;
};
