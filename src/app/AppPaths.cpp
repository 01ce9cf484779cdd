#include "app/AppPaths.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

QString AppDataFile(const QString& relative) {
    const QString exe = QCoreApplication::applicationDirPath();
    for (const QString& candidate :
         {exe + QLatin1Char('/') + relative, exe + QStringLiteral("/../share/sermida/") + relative,
          QStringLiteral(SERMIDA_SOURCE_DIR "/res/") + relative}) {
        if (QFileInfo::exists(candidate))
            return QFileInfo(candidate).absoluteFilePath();
    }
    return {};
}

bool LoadChineseTranslations() {
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    const QString exe = QCoreApplication::applicationDirPath();
    for (const QString& folder : {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                                  exe + QStringLiteral("/../share/qt6/translations"),
                                  QStringLiteral("/usr/share/qt6/translations")}) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(translator);
            return true;
        }
        delete translator;
    }
    return false;
}
