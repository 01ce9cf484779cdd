// The shell around the documents: the start-up picture, the About box and the
// recent-file entries of the File menu.
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

#include "AppTestSupport.h"
#include "app/AppArt.h"
#include "app/AppCommands.h"
#include "app/CSplashWnd.h"
#include "editor/view/EditorProfile.h"

class AppShellTest : public QObject {
    Q_OBJECT

    QTemporaryDir home;
    // Short enough that a file in it is shown with its whole path.
    QTemporaryDir shortDir{QStringLiteral("/tmp/s-XXXXXX")};

    QString Write(const QString& path, const QByteArray& bytes = "N10 G00 X0\r\n") {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return QFileInfo(path).absoluteFilePath();
    }

    static CSplashWnd* FindSplash() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* s = qobject_cast<CSplashWnd*>(w))
                return s;
        return nullptr;
    }

    // The recent-file entries of the File menu the frame shows now.
    static QList<QAction*> RecentEntries(CMainFrame& frame) {
        QList<QAction*> entries;
        QAction* file = frame.menuBar()->actions().value(0);
        if (!file || !file->menu())
            return entries;
        for (QAction* a : file->menu()->actions())
            if (a->property("recent").toBool())
                entries << a;
        return entries;
    }
    static QStringList Texts(const QList<QAction*>& actions) {
        QStringList texts;
        for (QAction* a : actions)
            texts << a->text();
        return texts;
    }
    // A path as the menu shows it: at most 30 characters, the file name whole.
    static QString Shown(const QString& path) {
        if (path.size() <= 30)
            return path;
        return "..." + path.right(std::max<int>(27, int(QFileInfo(path).fileName().size())));
    }

private slots:
    void initTestCase() { qputenv("SERMIDA_HOME", home.path().toLocal8Bit()); }
    void init() { OpenProfile()->remove(QStringLiteral("Recent File List")); }

    void splashShowsOurPictureForItsTimeWithoutBlocking() {
        AppScript script;
        QElapsedTimer clock;
        clock.start();
        CMainFrame::Options options;
        options.splash = true;
        auto frame = std::make_unique<CMainFrame>(options);
        frame->show();
        // The window is built at once; the picture stays up on its own.
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QPointer<CSplashWnd> splash = FindSplash();
        QVERIFY(splash);
        QVERIFY(splash->isVisible());
        // Above the main window that comes up meanwhile, still a frameless splash.
        const Qt::WindowFlags flags = splash->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::SplashScreen);
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
        QCOMPARE(splash->size(), QSize(360, 220));
        const QImage picture = splash->pixmap().toImage();
        QCOMPARE(picture.size(), QSize(360, 220));
        QCOMPARE(picture.convertToFormat(QImage::Format_RGB32),
                 app_art::Splash().toImage().convertToFormat(QImage::Format_RGB32));
        // Artwork, not a blank: corners and middle differ.
        QVERIFY(picture.pixel(0, 0) != picture.pixel(180, 110) ||
                picture.pixel(0, 0) != picture.pixel(359, 219));

        // The program works while the picture is up.
        QVERIFY(frame->OnFileNew());
        QVERIFY(frame->ActiveView());

        // Neither a close request (Alt+F4) nor a click closes it.
        QVERIFY(!splash->close());
        QTest::mouseClick(splash, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(splash && splash->isVisible());

        // The left button drags it.
        const QPoint before = splash->pos();
        const QPoint grab(20, 20);
        QMouseEvent press(QEvent::MouseButtonPress, grab, splash->mapToGlobal(grab), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(splash, &press);
        const QPoint to = splash->mapToGlobal(grab) + QPoint(40, 25);
        QMouseEvent move(QEvent::MouseMove, splash->mapFromGlobal(to), to, Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(splash, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, splash->mapFromGlobal(to), to,
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(splash, &release);
        QCOMPARE(splash->pos(), before + QPoint(40, 25));

        // Still up shortly before its time, gone after it.
        const qint64 wait = 1700 - clock.elapsed();
        if (wait > 0)
            QTest::qWait(int(wait));
        QVERIFY(splash && splash->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!splash || !splash->isVisible(), 3000);
        QVERIFY2(clock.elapsed() >= 2000, qPrintable(QString::number(clock.elapsed())));
        QTRY_VERIFY(!splash); // and freed
        QVERIFY(frame->isVisible());
    }

    void frameClosedBeforeTheSplashTimeTakesTheSplashWithIt() {
        CMainFrame::Options options;
        options.splash = true;
        auto frame = std::make_unique<CMainFrame>(options);
        QPointer<CSplashWnd> splash = FindSplash();
        QVERIFY(splash);
        frame.reset();
        QTRY_VERIFY(!splash);
        QTest::qWait(2200); // its timer must not fire on a gone window
    }

    void aboutBoxShowsItsTextsAndClosesWithOkOrEsc() {
        AppScript script;
        auto frame = MakeFrame();
        QStringList labels;
        QString title;
        int okResult = -1;
        script.modal.push_back([&](QDialog& dialog) {
            title = dialog.windowTitle();
            for (QLabel* l : dialog.findChildren<QLabel*>())
                if (!l->text().isEmpty())
                    labels << l->text();
            QPushButton* ok = nullptr;
            for (QPushButton* b : dialog.findChildren<QPushButton*>())
                if (b->text() == QStringLiteral("确定"))
                    ok = b;
            if (ok)
                ok->click();
            okResult = dialog.result();
            return dialog.result();
        });
        int escResult = -1;
        script.modal.push_back([&](QDialog& dialog) {
            dialog.show();
            dialog.setResult(QDialog::Accepted);
            QTest::keyClick(&dialog, Qt::Key_Escape);
            escResult = dialog.result();
            return dialog.result();
        });
        frame->Action(ID_APP_ABOUT)->trigger();
        QCOMPARE(script.modalRuns, 1);
        QCOMPARE(title, QStringLiteral("关于泽朗串口通信"));
        QVERIFY2(labels.contains(QStringLiteral("泽朗串口通信 5.2版  [2017-11-21] ")),
                 qPrintable(labels.join('|')));
        QCOMPARE(labels.size(), 3); // the version and the two notices
        QCOMPARE(okResult, int(QDialog::Accepted));
        frame->Action(ID_APP_ABOUT)->trigger();
        QCOMPARE(script.modalRuns, 2);
        QCOMPARE(escResult, int(QDialog::Rejected));
        QVERIFY(script.modal.empty());
        QVERIFY(script.messages.empty());
    }

    void recentFilesListTheLastFourOpenedNewestFirst() {
        AppScript script;
        auto frame = MakeFrame();
        QStringList paths;
        paths << Write(shortDir.filePath("a.nc"));
        QVERIFY(QDir(home.path()).mkpath("programs-of-the-lathe"));
        for (const char* name :
             {"b.nc", "c.nc", "d.nc", "a-file-name-longer-than-thirty-characters.nc"})
            paths << Write(home.filePath("programs-of-the-lathe/" + QString::fromLatin1(name)));
        for (const QString& p : paths)
            QVERIFY(frame->OpenDocumentFile(p));

        // Newest first; the first one opened has dropped off.
        const QStringList expected = {"&1 " + Shown(paths[4]), "&2 " + Shown(paths[3]),
                                      "&3 " + Shown(paths[2]), "&4 " + Shown(paths[1])};
        QCOMPARE(Texts(RecentEntries(*frame)), expected);
        QCOMPARE(frame->RecentFiles(), (QStringList{paths[4], paths[3], paths[2], paths[1]}));
        // Long paths are cut at the front, to 30 characters or to the whole name.
        QVERIFY(paths[1].size() > 30);
        QCOMPARE(Shown(paths[1]).size(), 30);
        QVERIFY(Shown(paths[1]).endsWith("/b.nc"));
        QCOMPARE(Shown(paths[4]), "...a-file-name-longer-than-thirty-characters.nc");

        // The list survives into the next run, and shows with no document open too.
        frame.reset();
        frame = MakeFrame();
        QVERIFY(!frame->ActiveView());
        QCOMPARE(Texts(RecentEntries(*frame)), expected);

        // A short path is shown whole; choosing an entry opens that file and
        // brings it to the top.
        QVERIFY(frame->OpenDocumentFile(paths[0]));
        QCOMPARE(RecentEntries(*frame).first()->text(), "&1 " + paths[0]);
        RecentEntries(*frame).at(3)->trigger(); // c.nc
        QCOMPARE(frame->ActiveView()->GetDocument()->PathName(), paths[2]);
        QCOMPARE(frame->RecentFiles(), (QStringList{paths[2], paths[0], paths[4], paths[3]}));
        QCOMPARE(frame->MdiArea()->subWindowList().size(), 2);
        // An entry whose file is open already brings its window up, no second one.
        RecentEntries(*frame).at(1)->trigger(); // a.nc
        QCOMPARE(frame->ActiveView()->GetDocument()->PathName(), paths[0]);
        QCOMPARE(frame->MdiArea()->subWindowList().size(), 2);
        QVERIFY(script.messages.empty());
    }

    void aMissingRecentFileIsReportedAndLeavesTheList() {
        AppScript script;
        auto frame = MakeFrame();
        const QString kept = Write(home.filePath("kept.nc"));
        const QString gone = Write(home.filePath("gone.nc"));
        QVERIFY(frame->OpenDocumentFile(kept));
        QVERIFY(frame->OpenDocumentFile(gone));
        for (QMdiSubWindow* w : frame->MdiArea()->subWindowList())
            QVERIFY(w->close());
        QTRY_VERIFY(frame->MdiArea()->subWindowList().isEmpty());
        QVERIFY(QFile::remove(gone));

        RecentEntries(*frame).first()->trigger();
        QCOMPARE(script.messages.size(), size_t(1));
        QVERIFY(script.messages[0].contains(gone));
        QVERIFY(frame->MdiArea()->subWindowList().isEmpty());
        QCOMPARE(frame->RecentFiles(), QStringList{kept});
        QCOMPARE(Texts(RecentEntries(*frame)), QStringList{"&1 " + Shown(kept)});
    }
};

QTEST_MAIN(AppShellTest)
#include "AppShellTest.moc"
