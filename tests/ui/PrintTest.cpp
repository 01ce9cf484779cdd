// Printing to real PDF files, read back with pdftotext (poppler-utils).
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

#include "EditTestView.h"
#include "app/AppCommands.h"
#include "app/AppHooks.h"
#include "app/CMainFrame.h"
#include "app/CSermidaView.h"
#include "editor/view/EditorProfile.h"
#include "editor/view/PageSetup.h"
#include "editor/view/ViewPrinter.h"

class PrintTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home;
    CTextBuffer buffer;
    std::unique_ptr<TestEditView> view;
    int jobs = 0;

    void Open(const std::vector<std::string>& lines) {
        FillBuffer(buffer, lines);
        view = OpenEditView(buffer);
        QVERIFY(view);
    }

    QString PrintToPdf(ViewPrinter& printer) {
        const QString path = home.filePath(QString("job%1.pdf").arg(++jobs));
        QPrinter device(QPrinter::HighResolution);
        SetUpPdfPrinter(device, path);
        if (!printer.Print(device))
            return {};
        return path;
    }
    QString PrintToPdf() {
        ViewPrinter printer(*view);
        return PrintToPdf(printer);
    }

    // The text of every page, as pdftotext separates them by form feeds.
    static QStringList Pages(const QString& pdf) {
        QProcess p;
        p.start("pdftotext", {pdf, "-"});
        if (!p.waitForFinished(20000) || p.exitCode() != 0)
            return {};
        QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split('\f');
        if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
            pages.removeLast();
        return pages;
    }
    // Every word with its box, as pdftotext -bbox reports them.
    static QStringList Words(const QString& pdf) {
        QProcess p;
        p.start("pdftotext", {"-bbox", pdf, "-"});
        if (!p.waitForFinished(20000) || p.exitCode() != 0)
            return {};
        QStringList words;
        for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n'))
            if (line.contains("<word") || line.contains("<page"))
                words << line.trimmed();
        return words;
    }
    static QStringList Lines(const QString& page) {
        QStringList lines = page.split('\n', Qt::SkipEmptyParts);
        for (QString& l : lines)
            l = l.trimmed();
        lines.removeAll(QString());
        return lines;
    }
    static std::vector<std::string> Numbered(int count) {
        std::vector<std::string> lines;
        for (int i = 1; i <= count; ++i)
            lines.push_back(QString("N%1 G01 X%2").arg(i, 4, 10, QChar('0')).arg(i).toStdString());
        return lines;
    }
    // The first text line of every page: where the page breaks fall.
    static QStringList PageHeads(const QStringList& pages) {
        QStringList heads;
        for (const QString& page : pages)
            heads << Lines(page).value(0);
        return heads;
    }
    static void VerifyFooters(const QStringList& pages) {
        for (int i = 0; i < pages.size(); ++i)
            QCOMPARE(Lines(pages[i]).last(), QString("Page %1/%2").arg(i + 1).arg(pages.size()));
    }

private slots:
    void initTestCase() {
        QVERIFY(home.isValid());
        qputenv("SERMIDA_HOME", home.path().toUtf8());
        QVERIFY2(!QStandardPaths::findExecutable("pdftotext").isEmpty(), "poppler-utils missing");
    }
    void init() { SavePageMargins({}); }
    void cleanup() {
        view.reset();
        buffer.ReleaseAll();
    }

    void emptyLineGivesOneFooterPage() {
        Open({""});
        const QStringList pages = Pages(PrintToPdf());
        QCOMPARE(pages.size(), 1);
        QCOMPARE(Lines(pages[0]), QStringList{"Page 1/1"});
    }

    void footerAndTextStayInsideTheMargins() {
        Open(Numbered(3));
        ViewPrinter printer(*view);
        QPrinter device(QPrinter::HighResolution);
        SetUpPdfPrinter(device, home.filePath("geometry.pdf"));
        device.setFullPage(true);
        QPainter painter(&device);
        printer.BeginPrinting(painter);
        const QRect page(QPoint(0, 0), device.pageRect(QPrinter::DevicePixel).size().toSize());
        printer.RecalcPageLayout(painter, page);
        const int tenMm = qRound(device.logicalDpiX() / 2.54);
        // The footer band sits just above the bottom margin, no header band.
        QCOMPARE(printer.PrintRect().left(), tenMm);
        QCOMPARE(printer.PrintRect().top(), tenMm);
        QCOMPARE(page.bottom() - printer.PrintRect().bottom(), tenMm + printer.BandHeight());
        QCOMPARE(printer.BandHeight(), printer.PrintLineHeight() * 3 / 2);
        // The screen's 18 px font, halved on paper: 9 screen pixels' worth.
        const double expected = 9.0 * device.logicalDpiY() / view->logicalDpiY();
        QVERIFY2(std::abs(painter.font().pixelSize() - expected) <= 1,
                 qPrintable(QString::number(painter.font().pixelSize())));
        painter.end();
        printer.EndPrinting();
        QCOMPARE(printer.PageCount(), 0);
        QVERIFY(printer.PageStarts().empty());
    }

    void longLineWrapsAndCountsForPageBreaks() {
        std::string longLine;
        QStringList words;
        for (int i = 1; i <= 120; ++i) {
            words << QString("W%1").arg(i, 3, 10, QChar('0'));
            longLine += words.last().toStdString() + " ";
        }
        Open({"N1", longLine, "N3"});
        QStringList pages = Pages(PrintToPdf());
        QCOMPARE(pages.size(), 1);
        const QStringList lines = Lines(pages[0]);
        QCOMPARE(lines.first(), QString("N1"));
        QCOMPARE(lines.value(lines.size() - 2), QString("N3"));
        // Several printed lines, each ending at a whole word, all words present.
        const QStringList wrapped = lines.mid(1, lines.size() - 3);
        QVERIFY2(wrapped.size() >= 2, qPrintable(lines.join('|')));
        QCOMPARE(wrapped.join(' ').split(' ', Qt::SkipEmptyParts), words);

        // Forty short lines fit one page; forty long ones need several, and a
        // wrapped line is never split across two pages.
        Open(Numbered(40));
        QCOMPARE(Pages(PrintToPdf()).size(), 1);
        Open(std::vector<std::string>(40, longLine));
        pages = Pages(PrintToPdf());
        QVERIFY(pages.size() >= 2);
        VerifyFooters(pages);
        int printed = 0;
        for (const QString& page : pages) {
            const int rows = int(Lines(page).size()) - 1;
            QCOMPARE(rows % wrapped.size(), 0);
            printed += rows;
        }
        QCOMPARE(printed, 40 * int(wrapped.size()));

        // A word wider than the text area is broken, not cut off at the edge.
        const std::string word(400, 'X');
        Open({word});
        pages = Pages(PrintToPdf());
        QCOMPARE(pages.size(), 1);
        const QStringList parts = Lines(pages[0]);
        QVERIFY(parts.size() >= 3);
        QCOMPARE(parts.mid(0, parts.size() - 1).join(QString()), QString::fromStdString(word));
    }

    void pageBreaksFollowTheMargins() {
        Open(Numbered(300));
        const QStringList before = Pages(PrintToPdf());
        QVERIFY(before.size() >= 2);
        VerifyFooters(before);
        // Every line printed exactly once, in order.
        QStringList all;
        for (const QString& page : before) {
            QStringList lines = Lines(page);
            lines.removeLast();
            all << lines;
        }
        QCOMPARE(all.size(), 300);
        QCOMPARE(all.last(), QString("N0300 G01 X300"));

        SavePageMargins({1000, 1000, 5000, 5000});
        const QStringList after = Pages(PrintToPdf());
        VerifyFooters(after);
        QVERIFY(after.size() > before.size());
        QVERIFY(PageHeads(after)[1] < PageHeads(before)[1]);

        // A larger left margin narrows the text area: the same text wraps more.
        SavePageMargins({19000, 1000, 1000, 1000});
        const QStringList narrow = Pages(PrintToPdf());
        VerifyFooters(narrow);
        QVERIFY(narrow.size() > before.size());

        // Margins wider than the sheet: each line on a page of its own.
        Open(Numbered(3));
        SavePageMargins({1000, 1000, 20000, 20000});
        const QStringList crushed = Pages(PrintToPdf());
        QCOMPARE(crushed.size(), 3);
    }

    void printingTwiceSeesAddedLines() {
        Open(Numbered(10));
        ViewPrinter printer(*view);
        QStringList pages = Pages(PrintToPdf(printer));
        QCOMPARE(pages.size(), 1);
        QCOMPARE(printer.PageCount(), 0);
        int endLine = 0, endByte = 0;
        std::string more;
        for (const std::string& line : Numbered(400))
            more += "\r\n" + line;
        QVERIFY(buffer.InsertAt(nullptr, -1, -1, more, endLine, endByte, 0));
        QCOMPARE(view->LineCount(), 410);
        pages = Pages(PrintToPdf(printer));
        QVERIFY(pages.size() >= 3);
        VerifyFooters(pages);
        QCOMPARE(Lines(pages.last()).value(Lines(pages.last()).size() - 2),
                 QString("N0400 G01 X400"));
    }

    void pageSetupDialogStoresOnOkOnly() {
        Open({"N1"});
        SavePageMargins({1100, 1200, 1300, 1450});
        PageMargins preset;
        view->onModal = [&](QDialog& d) {
            auto& dlg = static_cast<CPageSetupDialog&>(d);
            preset = dlg.Margins();
            dlg.leftEdit->setValue(25);
            dlg.bottomEdit->setValue(7.5);
            QTest::mouseClick(dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                              Qt::LeftButton);
        };
        QVERIFY(RunPageSetup(*view));
        QCOMPARE(preset.left, 1100);
        QCOMPARE(preset.right, 1200);
        QCOMPARE(preset.top, 1300);
        QCOMPARE(preset.bottom, 1450);
        PageMargins m = LoadPageMargins();
        QCOMPARE(m.left, 2500);
        QCOMPARE(m.right, 1200);
        QCOMPARE(m.top, 1300);
        QCOMPARE(m.bottom, 750);

        // Cancel writes nothing, whatever was typed.
        view->onModal = [&](QDialog& d) {
            auto& dlg = static_cast<CPageSetupDialog&>(d);
            dlg.topEdit->setValue(30);
            QTest::mouseClick(dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel),
                              Qt::LeftButton);
        };
        QVERIFY(!RunPageSetup(*view));
        QCOMPARE(LoadPageMargins().top, 1300);

        // The next job uses the stored margins: a page broken earlier.
        Open(Numbered(300));
        const QStringList before = Pages(PrintToPdf());
        view->onModal = [&](QDialog& d) {
            auto& dlg = static_cast<CPageSetupDialog&>(d);
            dlg.topEdit->setValue(60);
            d.accept();
        };
        QVERIFY(RunPageSetup(*view));
        const QStringList after = Pages(PrintToPdf());
        QVERIFY(PageHeads(after)[1] < PageHeads(before)[1]);
    }

    // The command line prints exactly what a document window prints: the same
    // words at the same places, GBK text and tabs included.
    void commandLinePrintMatchesTheView() {
        const QString source = home.filePath("program.nc");
        {
            QFile f(source);
            QVERIFY(f.open(QIODevice::WriteOnly));
            std::string text = "%\r\nO0001 (\xbb\xbb\xb5\xb6)\r\n\tN10 G00 X0\r\n\r\n";
            for (int i = 0; i < 200; ++i)
                text += "N" + std::to_string(20 + i) + " G01 X" + std::to_string(i) + " Y" +
                        std::to_string(2 * i) + " F300 (feed move along the contour)\r\n";
            text += "M30\r\n%";
            f.write(text.data(), qint64(text.size()));
        }
        SavePageMargins({1500, 800, 2000, 1200});
        const QString cliPdf = home.filePath("cli.pdf");
        QProcess cli;
        cli.start(SERMIDA_CLI, {"print", source, cliPdf});
        QVERIFY(cli.waitForFinished(30000));
        QVERIFY2(cli.exitCode() == 0, cli.readAllStandardError().constData());

        FillBuffer(buffer, {});
        QVERIFY(buffer.LoadFromDisk(source.toStdString()));
        view = std::make_unique<TestEditView>();
        view->ApplyFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        view->BindBuffer(&buffer);
        const QString viewPdf = PrintToPdf();

        const QStringList words = Words(cliPdf);
        QVERIFY(words.size() > 300);
        QCOMPARE(words, Words(viewPdf));
        QVERIFY(words.join('\n').contains(QString::fromUtf8("(换刀)")));
        QVERIFY(Pages(cliPdf).size() >= 2);
        VerifyFooters(Pages(cliPdf));

        // Bad arguments and unreadable files fail, and say so.
        cli.start(SERMIDA_CLI, {"print", source});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 2);
        cli.start(SERMIDA_CLI, {"print", home.filePath("missing.nc"), home.filePath("x.pdf")});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 1);
        QVERIFY(!QFile::exists(home.filePath("x.pdf")));
        cli.start(SERMIDA_CLI, {"print", source, home.filePath("no/such/dir.pdf")});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 1);
    }

    void aPdfCutShortIsAFailure() {
        std::vector<std::string> lines;
        for (int i = 0; i < 400; ++i)
            lines.push_back("N" + std::to_string(i) + " G01 X" + std::to_string(i) + " F300");
        Open(lines);
        // The file-size limit stands in for a full disk.
        struct sigaction ignore {
        }, old{};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &old);
        rlimit saved{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
        rlimit small = saved;
        small.rlim_cur = 4096;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const QString cut = PrintToPdf();
        setrlimit(RLIMIT_FSIZE, &saved);
        sigaction(SIGXFSZ, &old, nullptr);
        QVERIFY2(cut.isEmpty(), "a PDF cut short at 4096 bytes was reported as printed");

        const QString whole = PrintToPdf();
        QVERIFY(!whole.isEmpty());
        QVERIFY(Pages(whole).size() >= 2);
    }

    void previewShowsTheSamePages() {
        Open(Numbered(300));
        const int printed = int(Pages(PrintToPdf()).size());
        int previewed = -1;
        view->onModal = [&](QDialog& d) {
            auto* preview = d.findChild<QPrintPreviewWidget*>();
            QVERIFY(preview);
            preview->updatePreview();
            previewed = preview->pageCount();
            d.reject();
        };
        PrintPreview(*view);
        QCOMPARE(previewed, printed);
    }

    // The document window's print commands, as the menu and the keys issue
    // them, on the printer every job uses; a PDF file stands in for a printer
    // as the printer-setup dialog can choose it.
    void documentWindowPrintsThroughItsCommands() {
        const auto restoreHooks =
            qScopeGuard([message = app_hooks::showMessage, modal = app_hooks::runModal] {
                app_hooks::showMessage = message;
                app_hooks::runModal = modal;
            });
        std::vector<QString> boxes;
        app_hooks::showMessage = [&](const QString& text, const QString& caption) {
            boxes.push_back(caption + ": " + text);
        };
        int dialogs = 0;
        bool acceptDialog = true;
        app_hooks::runModal = [&](QDialog& dialog) {
            ++dialogs;
            // Shown, so that the dialog fills its fields from the printer.
            dialog.show();
            if (acceptDialog)
                dialog.accept();
            else
                dialog.reject();
            return dialog.result();
        };
        const QString source = home.filePath("commands.nc");
        {
            QFile f(source);
            QVERIFY(f.open(QIODevice::WriteOnly));
            for (int i = 1; i <= 300; ++i)
                f.write(QString("N%1 G01 X%2\r\n").arg(i, 4, 10, QChar('0')).arg(i).toLatin1());
        }
        CMainFrame::Options options;
        options.splash = false;
        CMainFrame frame(options);
        frame.show();
        QVERIFY(frame.OpenDocumentFile(source));
        CSermidaView* view = frame.ActiveView();
        QVERIFY(view);
        QPrinter& printer = SharedPrinter();

        // Without the dialog: every page, even when a range was chosen before.
        const QString direct = home.filePath("direct.pdf");
        SetUpPdfPrinter(printer, direct);
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(2, 2);
        QVERIFY(view->ExecuteCommand(ID_FILE_PRINT_DIRECT));
        QCOMPARE(dialogs, 0);
        QCOMPARE(boxes.size(), size_t(0));
        const QStringList pages = Pages(direct);
        QVERIFY(pages.size() >= 2);
        VerifyFooters(pages);
        QCOMPARE(Lines(pages[0]).first(), QString("N0001 G01 X1"));
        QCOMPARE(Lines(pages.last()).value(Lines(pages.last()).size() - 2),
                 QString("N0300 G01 X300"));

        // The menu's 打印: the dialog first, then the same pages.
        const QString dialogued = home.filePath("dialog.pdf");
        SetUpPdfPrinter(printer, dialogued);
        frame.Action(ID_FILE_PRINT)->trigger();
        QCOMPARE(dialogs, 1);
        QCOMPARE(boxes.size(), size_t(0));
        QCOMPARE(Pages(dialogued), pages);
        // Cancelled, nothing is printed and nothing is said.
        const QString cancelled = home.filePath("cancelled.pdf");
        SetUpPdfPrinter(printer, cancelled);
        acceptDialog = false;
        frame.Action(ID_FILE_PRINT)->trigger();
        QCOMPARE(dialogs, 2);
        QVERIFY(!QFile::exists(cancelled));
        QCOMPARE(boxes.size(), size_t(0));

        // Output that cannot be written is reported, by either command.
        const QString failed = QStringLiteral("信息提示: 无法打印到所选的打印机。");
        SetUpPdfPrinter(printer, home.filePath("no/such/folder/x.pdf"));
        QVERIFY(view->ExecuteCommand(ID_FILE_PRINT_DIRECT));
        QCOMPARE(boxes, std::vector<QString>{failed});
        acceptDialog = true;
        frame.Action(ID_FILE_PRINT)->trigger();
        QCOMPARE(dialogs, 3);
        QCOMPARE(boxes, (std::vector<QString>{failed, failed}));
        QVERIFY(!QFile::exists(home.filePath("no/such/folder/x.pdf")));
    }

    void marginsPersistInTheProfile() {
        SavePageMargins({1100, 1200, 1300, 1400});
        auto profile = OpenProfile();
        QCOMPARE(profile->value("Editor/PageSetup/LeftMargin").toInt(), 1100);
        QCOMPARE(profile->value("Editor/PageSetup/BottomMargin").toInt(), 1400);
        profile->setValue("Editor/PageSetup/TopMargin", -5);
        profile->remove("Editor/PageSetup/RightMargin");
        profile->sync();
        const PageMargins m = LoadPageMargins();
        QCOMPARE(m.left, 1100);
        QCOMPARE(m.right, 1000);
        QCOMPARE(m.top, 1000);
        QCOMPARE(m.bottom, 1400);
    }
};

QTEST_MAIN(PrintTest)
#include "PrintTest.moc"
