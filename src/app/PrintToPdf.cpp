#include "app/PrintToPdf.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPrinter>
#include <cstdio>

#include "editor/buffer/CTextBuffer.h"
#include "editor/view/CTextView.h"
#include "editor/view/ViewPrinter.h"

int PrintFileToPdf(int argc, char** argv, const char* file, const char* pdf) {
    // No window is shown, so no display is needed either.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    CTextBuffer buffer;
    FileError error;
    if (!buffer.LoadFromDisk(file, LINE_END_DETECT, &error)) {
        std::fprintf(stderr, "sermida: cannot load %s: %s\n", file, error.Describe().c_str());
        return 1;
    }
    // The same view and font a document window prints from.
    CTextView view;
    view.ApplyFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view.BindBuffer(&buffer);

    QPrinter printer(QPrinter::HighResolution);
    SetUpPdfPrinter(printer, QString::fromLocal8Bit(pdf));
    ViewPrinter job(view);
    const bool printed = job.Print(printer);
    view.UnbindBuffer();
    if (!printed || QFileInfo(QString::fromLocal8Bit(pdf)).size() == 0) {
        std::fprintf(stderr, "sermida: cannot write %s\n", pdf);
        return 1;
    }
    return 0;
}
