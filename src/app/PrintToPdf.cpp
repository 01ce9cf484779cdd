#include "app/PrintToPdf.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPrinter>
#include <QTemporaryFile>
#include <cstdio>
#include <sys/stat.h>

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

    // Written beside the target and put in its place only when whole, so a
    // failed print leaves an older file of that name as it was.
    const QString target = QFileInfo(QString::fromLocal8Bit(pdf)).absoluteFilePath();
    QTemporaryFile part(QFileInfo(target).absolutePath() + QStringLiteral("/CREXXXXXX"));
    if (!part.open()) {
        std::fprintf(stderr, "sermida: cannot write %s: %s\n", pdf, qPrintable(part.errorString()));
        return 1;
    }
    part.close();
    QPrinter printer(QPrinter::HighResolution);
    SetUpPdfPrinter(printer, part.fileName());
    ViewPrinter job(view);
    const bool printed = job.Print(printer);
    view.UnbindBuffer();
    if (!printed) { // a cut-short file counts as not printed
        std::fprintf(stderr, "sermida: cannot write %s (is the disk full?)\n", pdf);
        return 1;
    }
    // The new file has the permissions any new file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(QFile::encodeName(part.fileName()).constData(), 0666 & ~mask);
    if (std::rename(QFile::encodeName(part.fileName()).constData(),
                    QFile::encodeName(target).constData()) != 0) {
        std::fprintf(stderr, "sermida: cannot write %s\n", pdf);
        return 1;
    }
    return 0;
}
