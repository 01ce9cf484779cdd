#include "editor/view/ViewPrinter.h"

#include <QFile>
#include <QFontMetrics>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextOption>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "common/Gbk.h"
#include "editor/view/CTextView.h"
#include "editor/view/PageSetup.h"

namespace {

// Word-boundary breaking; a word wider than the text area is broken anywhere
// rather than running off the paper.
QTextOption WrapOption() {
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

int Scale(int64_t value, int64_t num, int64_t den) {
    if (den <= 0)
        return static_cast<int>(value);
    return static_cast<int>((value * num + den / 2) / den);
}

bool IsWholePdf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() < 16)
        return false;
    f.seek(f.size() - 16);
    return f.read(16).contains("%%EOF");
}

// Hundredths of a millimetre to device units.
int ToDevice(int hundredths, int dpi) {
    return static_cast<int>(std::lround(hundredths / 2540.0 * dpi));
}

} // namespace

ViewPrinter::ViewPrinter(CTextView& view) : view(view) {}

bool ViewPrinter::Print(QPrinter& printer) {
    // A PDF has no unprintable border: the drawable area is the whole sheet.
    if (printer.outputFormat() == QPrinter::PdfFormat)
        printer.setFullPage(true);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    BeginPrinting(painter);
    const QRect drawRect(QPoint(0, 0), printer.pageRect(QPrinter::DevicePixel).size().toSize());
    RecalcPageLayout(painter, drawRect);
    int first = 1;
    int last = pageCount;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = printer.fromPage();
        last = std::min(pageCount, std::max(first, printer.toPage()));
    }
    for (int page = first; page <= last; ++page) {
        if (page > first && !printer.newPage())
            break;
        PrintPage(painter, page);
    }
    painter.end();
    EndPrinting();
    // Qt's PDF writer does not notice a write that fails (a full disk, the
    // file-size limit): a cut-short file has no trailer at its end.
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        return IsWholePdf(printer.outputFileName());
    return true;
}

void ViewPrinter::BeginPrinting(QPainter& painter) {
    QPaintDevice* device = painter.device();
    QFont font = view.FontFor(false, false);
    const int screenDpiY = view.logicalDpiY();
    int height = font.pixelSize();
    if (height <= 0)
        height = static_cast<int>(std::lround(font.pointSizeF() * screenDpiY / 72.0));
    // Half the screen size on paper, as the screen font's cells are.
    const int printHeight = Scale(height, device->logicalDpiY(), 2LL * screenDpiY);
    if (printHeight > 0) {
        font.setPixelSize(printHeight);
        printFont = font;
        painter.setFont(printFont);
    } else {
        printFont = QFont();
    }
    painter.setPen(Qt::black);
}

void ViewPrinter::RecalcPageLayout(QPainter& painter, const QRect& drawRect) {
    QPaintDevice* device = painter.device();
    pageRect = drawRect.normalized();
    printLineHeight = QFontMetrics(painter.font(), device).height();

    const PageMargins m = LoadPageMargins();
    printRect = pageRect;
    printRect.setLeft(printRect.left() + ToDevice(m.left, device->logicalDpiX()));
    printRect.setTop(printRect.top() + ToDevice(m.top, device->logicalDpiY()));
    printRect.setRight(printRect.right() - ToDevice(m.right, device->logicalDpiX()));
    printRect.setBottom(printRect.bottom() - ToDevice(m.bottom, device->logicalDpiY()));
    if (printHeader)
        printRect.setTop(printRect.top() + BandHeight());
    if (printFooter)
        printRect.setBottom(printRect.bottom() - BandHeight());

    pageStarts.clear();
    pageStarts.reserve(32);
    pageStarts.push_back(0);
    pageCount = 1;
    int y = printRect.top() + PrintedLineHeight(painter, 0);
    const int lines = view.LineCount();
    for (int i = 1; i < lines; ++i) {
        const int h = PrintedLineHeight(painter, i);
        // QRect's bottom is inclusive: the area ends below it.
        if (y + h > printRect.bottom() + 1) {
            pageStarts.push_back(i);
            ++pageCount;
            y = printRect.top() + h;
        } else {
            y += h;
        }
    }
}

QString ViewPrinter::PrintableLine(int line) const {
    const std::string_view chars = view.LineView(line);
    return view.ShownText(view.ExpandTabs(chars, 0, static_cast<int>(chars.size())));
}

int ViewPrinter::PrintedLineHeight(QPainter& painter, int line) const {
    if (view.LineLength(line) == 0)
        return printLineHeight;
    const QRectF area(printRect.left(), 0, std::max(printRect.width(), 1), 1);
    return static_cast<int>(
        std::ceil(painter.boundingRect(area, PrintableLine(line), WrapOption()).height()));
}

void ViewPrinter::PrintPage(QPainter& painter, int page) {
    if (pageStarts.empty())
        RecalcPageLayout(painter, pageRect);
    if (page < 1 || page > pageCount)
        return;
    const int first = pageStarts[page - 1];
    const int end = page < pageCount ? pageStarts[page] : view.LineCount();
    if (printHeader)
        PrintPageHeader(painter, page);
    if (printFooter)
        PrintPageFooter(painter, page);

    int y = printRect.top();
    for (int line = first; line < end; ++line) {
        if (view.LineLength(line) == 0) {
            y += printLineHeight;
            continue;
        }
        const QString text = PrintableLine(line);
        const QRectF area(printRect.left(), y, std::max(printRect.width(), 1),
                          std::max(printRect.bottom() + 1 - y, 0));
        painter.save();
        // A line taller than the text area is cut at the page's end.
        painter.setClipRect(area);
        QRectF drawn;
        painter.drawText(area, text, WrapOption());
        drawn = painter.boundingRect(area, text, WrapOption());
        painter.restore();
        y += static_cast<int>(std::ceil(drawn.height()));
    }
}

void ViewPrinter::PrintPageHeader(QPainter& painter, int page) {
    const QString text = PageHeaderText(page);
    if (text.isEmpty())
        return;
    const QRect band(QPoint(printRect.left(), printRect.top() - BandHeight()),
                     QPoint(printRect.right(), printRect.top()));
    painter.drawText(band, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, text);
}

void ViewPrinter::PrintPageFooter(QPainter& painter, int page) {
    const QString text = PageFooterText(page);
    if (text.isEmpty())
        return;
    const QRect band(QPoint(printRect.left(), printRect.bottom() + 1),
                     QPoint(printRect.right(), printRect.bottom() + BandHeight()));
    painter.drawText(band, Qt::AlignHCenter | Qt::AlignBottom | Qt::TextSingleLine, text);
}

QString ViewPrinter::PageHeaderText(int) const {
    return {};
}

QString ViewPrinter::PageFooterText(int page) const {
    return QStringLiteral("Page %1/%2").arg(page).arg(pageCount);
}

void ViewPrinter::EndPrinting() {
    printFont = QFont();
    pageStarts.clear();
    pageStarts.shrink_to_fit();
    pageCount = 0;
    printLineHeight = 0;
}

void SetUpPdfPrinter(QPrinter& printer, const QString& path) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
}

QPrinter& SharedPrinter() {
    static QPrinter printer(QPrinter::HighResolution);
    return printer;
}

bool PrintWithDialog(CTextView& view) {
    QPrinter& printer = SharedPrinter();
    QPrintDialog dialog(&printer, &view);
    // The page count is not known before the layout: no "to" page preset.
    dialog.setMinMax(1, 9999);
    if (view.RunModal(dialog) != QDialog::Accepted)
        return false;
    ViewPrinter job(view);
    if (job.Print(printer))
        return true;
    view.ShowMessage(QStringLiteral("无法打印到所选的打印机。"), true);
    return false;
}

bool PrintDirect(CTextView& view) {
    QPrinter& printer = SharedPrinter();
    // A range left from an earlier dialog does not apply to an undialogued job.
    printer.setPrintRange(QPrinter::AllPages);
    ViewPrinter job(view);
    if (job.Print(printer))
        return true;
    view.ShowMessage(QStringLiteral("无法打印到所选的打印机。"), true);
    return false;
}

void PrintPreview(CTextView& view) {
    QPrintPreviewDialog dialog(&SharedPrinter(), &view);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &view, [&view](QPrinter* p) {
        ViewPrinter job(view);
        job.Print(*p);
    });
    view.RunModal(dialog);
}

bool PrinterSetup(QWidget* parent, int (*runModal)(QDialog&)) {
    QPrintDialog dialog(&SharedPrinter(), parent);
    return runModal(dialog) == QDialog::Accepted;
}
