// The status bar's Caps Lock and Num Lock panes follow the keyboard's lights.
// Runs on a real X server (ctest starts it under xvfb-run); the lights are
// switched with xdotool, as a user's key presses would.
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include "AppTestSupport.h"

class AppLockKeysTest : public QObject {
    Q_OBJECT

    QTemporaryDir home;

    static void Press(const char* key) {
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"),
                                   {QStringLiteral("key"), QString::fromLatin1(key)}),
                 0);
    }
    static bool Shows(CMainFrame& frame, const QString& text) {
        for (QLabel* label : frame.statusBar()->findChildren<QLabel*>())
            if (label->text() == text)
                return true;
        return false;
    }

private slots:
    void initTestCase() { qputenv("SERMIDA_HOME", home.path().toLocal8Bit()); }

    void panesFollowTheLights() {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            QSKIP("needs an X server (ctest runs this under xvfb-run)");
        AppScript script;
        auto frame = MakeFrame();
        const QString caps = QStringLiteral("大写"), num = QStringLiteral("数字");
        QTRY_VERIFY(!Shows(*frame, caps) && !Shows(*frame, num));
        Press("Caps_Lock");
        QTRY_VERIFY(Shows(*frame, caps));
        QVERIFY(!Shows(*frame, num));
        Press("Num_Lock");
        QTRY_VERIFY(Shows(*frame, num));
        Press("Caps_Lock");
        Press("Num_Lock");
        QTRY_VERIFY(!Shows(*frame, caps) && !Shows(*frame, num));
    }
};

QTEST_MAIN(AppLockKeysTest)
#include "AppLockKeysTest.moc"
