// The program as a desktop program: Qt's own texts in Chinese, one Exit that
// ends it, windows that fit the screen and the document area.
#include <QAbstractButton>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "AppTestSupport.h"
#include "app/AppArt.h"
#include "app/AppCommands.h"
#include "app/AppPaths.h"

class AppDesktopTest : public QObject {
    Q_OBJECT

private slots:
    void messageBoxesAndTheSavePromptSpeakChinese() {
        QStringList seen;
        QTimer::singleShot(0, [&seen] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            for (QAbstractButton* b : box->buttons())
                seen.append(b->text());
            box->reject();
        });
        app_hooks::MessageBox(QStringLiteral("请首先设置串口。"), {});
        QCOMPARE(seen, QStringList{QStringLiteral("确定")});

        seen.clear();
        QTimer::singleShot(0, [&seen] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            for (QAbstractButton* b : box->buttons())
                seen.append(b->text().remove(QLatin1Char('&')));
            box->reject();
        });
        QCOMPARE(app_hooks::AskSaveBox(nullptr, QStringLiteral("O1000.nc")), -1); // Escape: keep
        seen.sort();
        for (const QString& text : seen)
            QVERIFY2(text.startsWith(QStringLiteral("是")) ||
                         text.startsWith(QStringLiteral("否")) ||
                         text.startsWith(QStringLiteral("取消")),
                     qPrintable(seen.join(QLatin1Char(','))));
        QCOMPARE(seen.size(), 3);
    }

    void exitAsksForEachChangedDocumentOnceAndEndsTheProgram() {
        AppScript script;
        int asked = 0;
        app_hooks::askSave = [&asked](QWidget*, const QString&) {
            ++asked;
            return 0; // discard
        };
        auto frame = MakeFrame();
        CSermidaDoc* changed = frame->OnFileNew();
        frame->OnWindowNew(); // a second window of the same document
        int endLine = 0, endByte = 0;
        changed->Buffer().InsertAt(nullptr, 0, 0, "N10 G00", endLine, endByte, 0);
        QVERIFY(changed->IsModified());
        frame->OnFileNew(); // unchanged

        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(5000);
        QTimer::singleShot(0, [&frame] { frame->Action(ID_APP_EXIT)->trigger(); });
        QCOMPARE(QCoreApplication::exec(), 0); // ended by Exit, not by the watchdog
        QCOMPARE(asked, 1);                    // one question for the changed document
        QVERIFY(!frame->isVisible());
    }

    void cancelAtExitKeepsTheProgramAndItsDocuments() {
        AppScript script;
        script.saveChoice = -1;
        auto frame = MakeFrame();
        CSermidaDoc* changed = frame->OnFileNew();
        int endLine = 0, endByte = 0;
        changed->Buffer().InsertAt(nullptr, 0, 0, "N10", endLine, endByte, 0);
        QVERIFY(!frame->close());
        QVERIFY(frame->isVisible());
        QCOMPARE(frame->MdiArea()->subWindowList().size(), 1);
        QVERIFY(!static_cast<CChildFrame*>(frame->MdiArea()->subWindowList()[0])->IsClosed());
    }

    // Run on a 1024x768 screen, and on 1600x1000 at scale 1.5 (ctest runs both).
    void theMainWindowFitsTheScreen() {
        AppScript script;
        CMainFrame::Options options;
        options.splash = false;
        CMainFrame frame(options);
        frame.show();
        const QRect available = frame.screen()->availableGeometry();
        QVERIFY2(available.contains(frame.frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(frame.frameGeometry().x())
                                .arg(frame.frameGeometry().y())
                                .arg(frame.frameGeometry().width())
                                .arg(frame.frameGeometry().height())));
    }

    void theWindowComesBackWhereTheOperatorLeftIt() {
        AppScript script;
        CMainFrame::Options options;
        options.splash = false;
        QRect left;
        {
            CMainFrame frame(options);
            frame.show();
            frame.setGeometry(40, 60, 900, 560);
            QTest::qWait(20);
            left = frame.geometry();
            QVERIFY(frame.close());
        }
        CMainFrame again(options);
        again.show();
        QCOMPARE(again.geometry(), left);
    }

    void toolbarArtIsDrawnForTheScreensScale() {
        const qreal ratio = qApp->devicePixelRatio();
        const QPixmap pm = app_art::TransmitIcon().pixmap(QSize(32, 32), ratio);
        QVERIFY2(pm.width() >= qRound(32 * ratio),
                 qPrintable(QStringLiteral("%1 px at %2").arg(pm.width()).arg(ratio)));
    }

    void documentWindowsOpenInsideTheAreaAndCascadeReadably() {
        AppScript script;
        auto frame = MakeFrame();
        QMdiArea* area = frame->MdiArea();
        const QRect room = area->viewport()->rect();
        for (int i = 0; i < 9; ++i) {
            frame->OnFileNew();
            QMdiSubWindow* w = area->activeSubWindow();
            QVERIFY2(room.contains(w->geometry()), qPrintable(QString::number(i)));
            QVERIFY(w->width() >= room.width() / 2 && w->height() >= room.height() / 2);
        }
        frame->Action(ID_WINDOW_CASCADE)->trigger();
        for (QMdiSubWindow* w : area->subWindowList()) {
            QVERIFY(room.contains(w->geometry()));
            QVERIFY(w->width() >= room.width() / 2 && w->height() >= room.height() / 2);
        }
    }

    void theOpenDialogOffersPartProgramsAndRemembersTheFolder() {
        AppScript script;
        QTemporaryDir dir;
        const QString path = WriteTestFile(dir, QStringLiteral("O7.nc"), "N1\r\n");
        auto frame = MakeFrame();
        script.openAnswer = path;
        frame->Action(ID_FILE_OPEN)->trigger();
        QCOMPARE(frame->ActiveView()->GetDocument()->PathName(), path);
        script.openAnswer.clear();
        frame->Action(ID_FILE_OPEN)->trigger();
        QCOMPARE(script.openFolder, dir.path());
        QVERIFY(app_hooks::OpenFilters().startsWith(QStringLiteral("数控程序 (*.nc *.ngc *.tap")));
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("SERMIDA_HOME", home.path().toLocal8Bit());
    // SERMIDA_TEST_SCREEN=WxH: the offscreen platform's screen, in pixels.
    const QStringList screen = qEnvironmentVariable("SERMIDA_TEST_SCREEN").split(QLatin1Char('x'));
    if (screen.size() == 2) {
        QFile config(home.filePath(QStringLiteral("screen.json")));
        if (!config.open(QIODevice::WriteOnly))
            return 1;
        config.write(QStringLiteral("{\"screens\": [{\"name\": \"test\", \"x\": 0, \"y\": 0, "
                                    "\"width\": %1, \"height\": %2, \"logicalDpi\": 96}]}")
                         .arg(screen[0], screen[1])
                         .toUtf8());
        config.close();
        qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config.fileName()).toLocal8Bit());
    }
    QApplication app(argc, argv);
    if (!LoadChineseTranslations()) {
        std::fprintf(stderr, "Qt's Chinese translations are not installed\n");
        return 1;
    }
    AppDesktopTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "AppDesktopTest.moc"
