#pragma once
#include <QFont>
#include <QRect>
#include <QString>
#include <vector>

class CTextView;
class QDialog;
class QPainter;
class QPrinter;
class QWidget;

// Prints the whole text of a view: the screen font scaled to the printer, long
// lines wrapped inside the margins (the wrapped height counts for the page
// breaks), a footer "Page n/m" at the bottom of its band, black on white.
// One object per job: the layout is made on the first page and kept to the end.
class ViewPrinter {
public:
    explicit ViewPrinter(CTextView& view);
    virtual ~ViewPrinter() = default;

    // Prints the pages of the printer's range (all when none is set). False
    // when the printer could not be opened, or a PDF file was not written whole.
    bool Print(QPrinter& printer);

    // The steps of a job, for callers that run their own page loop.
    void BeginPrinting(QPainter& painter);
    void RecalcPageLayout(QPainter& painter, const QRect& drawRect);
    void PrintPage(QPainter& painter, int page);
    void EndPrinting();

    int PageCount() const { return pageCount; }
    const std::vector<int>& PageStarts() const { return pageStarts; }
    QRect PrintRect() const { return printRect; }
    int PrintLineHeight() const { return printLineHeight; }
    int BandHeight() const { return printLineHeight / 2 + printLineHeight; }

    bool printHeader = false;
    bool printFooter = true;

protected:
    virtual void PrintPageHeader(QPainter& painter, int page);
    virtual void PrintPageFooter(QPainter& painter, int page);
    virtual QString PageHeaderText(int page) const;
    virtual QString PageFooterText(int page) const;

private:
    int PrintedLineHeight(QPainter& painter, int line) const;
    QString PrintableLine(int line) const;

    CTextView& view;
    int pageCount = 0;
    std::vector<int> pageStarts; // empty outside a job
    QFont printFont;
    int printLineHeight = 0;
    QRect pageRect;
    QRect printRect;
};

// A printer that writes a PDF file on A4, for printing without a printer.
void SetUpPdfPrinter(QPrinter& printer, const QString& path);

// The printer every print command uses, as the printer-setup dialog left it.
QPrinter& SharedPrinter();

// The print commands of a view. The dialogs run through the view's modal
// seam. PrintWithDialog and PrinterSetup return false when cancelled.
bool PrintWithDialog(CTextView& view);
bool PrintDirect(CTextView& view);
void PrintPreview(CTextView& view);
// Chooses the printer for later jobs without printing.
bool PrinterSetup(QWidget* parent, int (*runModal)(QDialog&));
