#include "app/AppHooks.h"

#include <cstdio>

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>

namespace app_hooks {

void MessageBox(const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Warning, caption.isEmpty() ? kAppTitle : caption, text,
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

int AskSaveBox(QWidget* parent, const QString& title) {
    const auto answer = QMessageBox::question(
        parent, kAppTitle, QStringLiteral("是否保存对 %1 的更改?").arg(title),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    return answer == QMessageBox::Yes ? 1 : answer == QMessageBox::No ? 0 : -1;
}

QString OpenFilters() {
    return QStringLiteral("数控程序 (*.nc *.ngc *.tap *.cnc *.iso *.mpf *.NC *.NGC *.TAP *.CNC "
                          "*.ISO *.MPF);;所有文件 (*)");
}

std::function<void(const QString&, const QString&)> showMessage = MessageBox;

std::function<int(QDialog&)> runModal = [](QDialog& dialog) { return dialog.exec(); };

std::function<QString(QWidget*, const QString&)> openFileName = [](QWidget* parent,
                                                                   const QString& folder) {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("打开"), folder, OpenFilters());
};

std::function<QString(QWidget*, const QString&)> saveFileName = [](QWidget* parent,
                                                                   const QString& proposed) {
    return QFileDialog::getSaveFileName(parent, QStringLiteral("另存为"), proposed,
                                        QStringLiteral("所有文件 (*)"));
};

std::function<int(QWidget*, const QString&)> askSave = AskSaveBox;

std::function<void(const QString&)> logWarning = [](const QString& text) {
    const QByteArray line = QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() +
                            " sermida: " + text.toUtf8() + "\n";
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
};

void ShowMessage(const QString& text, const QString& caption) {
    showMessage(text, caption);
}

int RunModal(QDialog& dialog) {
    return runModal(dialog);
}

} // namespace app_hooks

void AppMessageSink::ShowMessage(const std::string& text, const std::string& caption) {
    const QString t = QString::fromStdString(text);
    const QString c = QString::fromStdString(caption);
    if (QThread::currentThread() == qApp->thread()) {
        app_hooks::ShowMessage(t, c);
        return;
    }
    QMetaObject::invokeMethod(
        qApp, [t, c] { app_hooks::ShowMessage(t, c); }, Qt::QueuedConnection);
}

AppMessageSink& AppMessages() {
    static AppMessageSink sink;
    return sink;
}
