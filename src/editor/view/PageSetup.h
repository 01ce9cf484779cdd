#pragma once
#include <QDialog>

class CTextView;
class QDoubleSpinBox;

// The print margins, in hundredths of a millimetre, kept in the profile under
// "Editor/PageSetup". They are applied by the view's layout, not by the printer.
struct PageMargins {
    int left = 1000;
    int right = 1000;
    int top = 1000;
    int bottom = 1000;
};

PageMargins LoadPageMargins();
void SavePageMargins(const PageMargins& margins);

// Only the four margins, in millimetres: paper and orientation belong to the
// printer, and Qt's own page-setup dialog cannot edit a PDF-only setup.
class CPageSetupDialog : public QDialog {
    Q_OBJECT

public:
    explicit CPageSetupDialog(QWidget* parent = nullptr);

    void SetMargins(const PageMargins& margins);
    PageMargins Margins() const;

    QDoubleSpinBox* leftEdit;
    QDoubleSpinBox* rightEdit;
    QDoubleSpinBox* topEdit;
    QDoubleSpinBox* bottomEdit;
};

// The page-setup dialog preset with the stored margins; OK writes them back,
// Cancel leaves the profile alone. Runs through the view's modal seam.
// Returns true when the margins were stored.
bool RunPageSetup(CTextView& view);
