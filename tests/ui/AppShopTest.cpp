// The DNC service seen from the desktop program: its library in the Open
// dialog, and every machine's state from the shop's broker (a real mosquitto
// on 127.0.0.1, fed by a test client as the services would feed it). The
// service's config is dnc.ini in the test's settings folder.
#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <memory>

#include "AppTestSupport.h"
#include "MosquittoBroker.h"
#include "MqttWatcher.h"
#include "Ser2net.h"
#include "app/AppCommands.h"
#include "app/CShopStatusDlg.h"

namespace {

// Each row as "service|machine|state", and whether it is greyed.
QStringList Rows(const QTableWidget* table) {
    QStringList rows;
    for (int r = 0; r < table->rowCount(); ++r)
        rows << table->item(r, 0)->text() + "|" + table->item(r, 1)->text() + "|" +
                    table->item(r, 2)->text();
    return rows;
}

int RowOf(const QTableWidget* table, const QString& service, const QString& machine) {
    for (int r = 0; r < table->rowCount(); ++r)
        if (table->item(r, 0)->text() == service && table->item(r, 1)->text() == machine)
            return r;
    return -1;
}

bool Greyed(const CShopStatusDlg* dlg, int row) {
    const QColor grey = dlg->palette().color(QPalette::Disabled, QPalette::Text);
    for (int c = 0; c < dlg->Table()->columnCount(); ++c)
        if (dlg->Table()->item(row, c)->foreground().color() != grey)
            return false;
    return true;
}

} // namespace

class AppShopTest : public QObject {
    Q_OBJECT

    QTemporaryDir home;

    QString Config() const { return home.filePath("dnc.ini"); }
    void WriteConfig(const QByteArray& text) {
        QFile f(Config());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    static QByteArray BrokerConfig(int port, const QByteArray& extra = {}) {
        return "[service]\nname = east\n[broker]\nhost = 127.0.0.1\nport = " +
               QByteArray::number(port) + "\n" + extra +
               // The machines are the service's business: their profiles need
               // not be known here.
               "[machine Mill]\nprofile = lathe-special-of-another-pc\n";
    }

private slots:
    void initTestCase() { qputenv("SERMIDA_HOME", home.path().toLocal8Bit()); }
    void init() { QFile::remove(Config()); }

    void openFromLibraryStartsInTheServicesLibrary() {
        AppScript script;
        auto frame = MakeFrame();
        QAction* open = frame->Action(ID_FILE_OPEN_LIBRARY);
        QVERIFY(open);

        // No dnc.ini: the service's own default, made if missing.
        open->trigger();
        QCOMPARE(script.openDialogs, 1);
        QCOMPARE(script.openFolder, home.filePath("dnc/programs"));
        QVERIFY(QFileInfo(script.openFolder).isDir());
        QVERIFY(script.messages.empty());

        // The config's library, whatever else the file holds; the program
        // picked there opens as with 打开.
        QVERIFY(QDir(home.path()).mkpath("shop/lib/Mill"));
        const QString program =
            WriteTestFile(home, "shop/lib/Mill/O1234.nc", "O1234\r\nG0 X0\r\nM30\r\n");
        WriteConfig(
            "# cell A\n[service]\nname = east\nlibrary = " + home.filePath("shop/lib").toUtf8() +
            "\n[broker]\nhost = 127.0.0.1\ntls_ca = /no/such/ca.crt\n"
            "[machine Mill]\nprofile = lathe-special-of-another-pc\n");
        script.openAnswer = program;
        open->trigger();
        QCOMPARE(script.openFolder, home.filePath("shop/lib"));
        QVERIFY(script.messages.empty());
        QVERIFY(frame->ActiveView());
        QCOMPARE(frame->ActiveView()->GetDocument()->PathName(), program);
        QCOMPARE(frame->RecentFiles().value(0), program);
        script.openAnswer.clear();

        // A relative library is taken from beside the config.
        WriteConfig("[service]\nlibrary = shop/lib\n");
        open->trigger();
        QCOMPARE(script.openFolder, home.filePath("shop/lib"));

        // A library that is not there is told, and not made.
        const int dialogs = script.openDialogs;
        WriteConfig("[service]\nlibrary = " + home.filePath("unmounted/nc").toUtf8() + "\n");
        open->trigger();
        QCOMPARE(script.openDialogs, dialogs);
        QCOMPARE(script.messages.size(), size_t(1));
        QVERIFY2(script.messages[0].contains(home.filePath("unmounted/nc")),
                 qPrintable(script.messages[0]));
        QVERIFY(!QFileInfo::exists(home.filePath("unmounted")));

        // A config the service would refuse is told, with its line; the
        // dialog still opens, in the default library.
        script.messages.clear();
        WriteConfig("[service]\nname = east\ncolour = red\n");
        open->trigger();
        QCOMPARE(script.openDialogs, dialogs + 1);
        QCOMPARE(script.openFolder, home.filePath("dnc/programs"));
        QCOMPARE(script.messages.size(), size_t(1));
        QVERIFY2(script.messages[0].contains("line 3") && script.messages[0].contains("colour"),
                 qPrintable(script.messages[0]));
    }

    void shopStatusNeedsABroker() {
        AppScript script;
        auto frame = MakeFrame();
        frame->Action(ID_SHOP_STATUS)->trigger();
        QCOMPARE(script.messages.size(), size_t(1));
        QVERIFY2(script.messages[0].contains(QStringLiteral("没有配置车间代理")) &&
                     script.messages[0].contains(Config()),
                 qPrintable(script.messages[0]));

        WriteConfig("[service]\nname = east\n");
        frame->Action(ID_SHOP_STATUS)->trigger();
        QCOMPARE(script.messages.size(), size_t(2));
        QVERIFY2(script.messages[1].contains("[broker]") && script.messages[1].contains(Config()),
                 qPrintable(script.messages[1]));

        // Settings no connection can come of: told at once, not retried.
        WriteConfig(BrokerConfig(1883, "tls_ca = " + home.filePath("no-ca.crt").toUtf8() + "\n"));
        frame->Action(ID_SHOP_STATUS)->trigger();
        QCOMPARE(script.messages.size(), size_t(3));
        QVERIFY2(script.messages[2].contains("no-ca.crt"), qPrintable(script.messages[2]));
        QVERIFY(!frame->ShopStatus() || !frame->ShopStatus()->isVisible());
    }

    // The machines every service reports, updated as they change; a service
    // gone offline greys its machines. With SERMIDA_SHOT_DIR set, the
    // picture goes there as shop-status.png.
    void shopStatusListsEveryMachineAndFollowsChanges() {
        if (MosquittoBroker::Program().empty())
            QSKIP("mosquitto is not installed (Debian package mosquitto)");
        QTemporaryDir brokerDir;
        MosquittoBroker server(brokerDir.path().toStdString());
        QVERIFY2(server.Running(), server.Log().c_str());
        MqttWatcher services(server.Port(), "nothing/#");
        QVERIFY(services.Ready());
        const auto retain = [&](const std::string& topic, const std::string& payload) {
            QVERIFY(services.Publish("sermida/" + topic, payload, true));
        };
        retain("east/status", "online");
        retain("east/Mill/state", "sending 3/90");
        retain("east/Lathe/state", "idle");
        retain("east/Grinder/state", "failed: controller stopped the line");
        retain("east/Saw/state", "offline"); // its line is gone
        retain("north/status", "online");
        retain("north/Router/state", "receiving");
        retain("north/Press/state", "idle");
        retain("west/status", "offline");
        retain("west/Drill/state", "receiving"); // what it said before it died
        {
            MqttWatcher check(server.Port(), "sermida/#");
            QVERIFY(check.WaitFor("sermida/west/Drill/state", "receiving"));
        }

        AppScript script;
        auto frame = MakeFrame();
        WriteConfig(BrokerConfig(server.Port()));
        frame->Action(ID_SHOP_STATUS)->trigger();
        QVERIFY(script.messages.empty());
        CShopStatusDlg* dlg = frame->ShopStatus();
        QVERIFY(dlg);
        QVERIFY(dlg->isVisible());
        QVERIFY(!dlg->isModal());
        QTableWidget* table = dlg->Table();
        QTRY_COMPARE(
            Rows(table),
            (QStringList{"east|Grinder|失败：controller stopped the line", "east|Lathe|空闲",
                         "east|Mill|发送中 3/90", "east|Saw|离线", "north|Press|空闲",
                         "north|Router|接收中", "west|Drill|服务离线（最后状态：接收中）"}));
        QTRY_VERIFY2(dlg->StatusLine()->text().contains(QStringLiteral("已连接")),
                     qPrintable(dlg->StatusLine()->text()));
        QVERIFY(Greyed(dlg, RowOf(table, "west", "Drill")));
        QVERIFY(Greyed(dlg, RowOf(table, "east", "Saw")));
        QVERIFY(!Greyed(dlg, RowOf(table, "east", "Mill")));
        // When they became so is not known, only that it was before now.
        for (int r = 0; r < table->rowCount(); ++r)
            QVERIFY2(table->item(r, 3)->text().startsWith(QStringLiteral("早于 ")),
                     qPrintable(table->item(r, 3)->text()));

        // A change as it happens, with its time.
        const QTime before = QTime::currentTime().addSecs(-1);
        QVERIFY(services.Publish("sermida/east/Mill/state", "sending 45/90"));
        const int mill = RowOf(table, "east", "Mill");
        QTRY_COMPARE(table->item(mill, 2)->text(), QStringLiteral("发送中 45/90"));
        const QTime changed = QTime::fromString(table->item(mill, 3)->text(), "HH:mm:ss");
        QVERIFY2(changed.isValid() && changed >= before && changed <= QTime::currentTime(),
                 qPrintable(table->item(mill, 3)->text()));
        QVERIFY(services.Publish("sermida/east/Lathe/state", "held"));
        QTRY_COMPARE(table->item(RowOf(table, "east", "Lathe"), 2)->text(),
                     QStringLiteral("控制器暂停"));
        QVERIFY(services.Publish("sermida/east/Mill/state", "answering O1234"));
        QTRY_COMPARE(table->item(mill, 2)->text(), QStringLiteral("等待发送 O1234（应程序请求）"));
        QVERIFY(services.Publish("sermida/east/Mill/state", "sending 45/90"));
        QTRY_COMPARE(table->item(mill, 2)->text(), QStringLiteral("发送中 45/90"));

        if (const QByteArray dir = qgetenv("SERMIDA_SHOT_DIR"); !dir.isEmpty()) {
            QTest::qWait(300);
            QVERIFY(dlg->grab().save(QString::fromLocal8Bit(dir) + "/shop-status.png"));
        }

        // The menu again: the same dialog, still watching.
        frame->Action(ID_SHOP_STATUS)->trigger();
        QCOMPARE(frame->ShopStatus(), dlg);
        QCOMPARE(table->rowCount(), 7);

        // The service stops: its machines are shown offline.
        QVERIFY(services.Publish("sermida/east/status", "offline", true));
        QTRY_VERIFY(Greyed(dlg, RowOf(table, "east", "Mill")));
        QCOMPARE(table->item(RowOf(table, "east", "Mill"), 2)->text(),
                 QStringLiteral("服务离线（最后状态：发送中 45/90）"));
        QVERIFY(!Greyed(dlg, RowOf(table, "north", "Router")));
        QVERIFY(services.Publish("sermida/east/status", "online", true));
        QTRY_VERIFY(!Greyed(dlg, RowOf(table, "east", "Mill")));

        // A machine taken out of the service (its state cleared) leaves the list.
        QVERIFY(services.Publish("sermida/north/Press/state", "", true));
        QTRY_COMPARE(table->rowCount(), 6);
        QCOMPARE(RowOf(table, "north", "Press"), -1);
        QCOMPARE(table->item(RowOf(table, "north", "Router"), 2)->text(), QStringLiteral("接收中"));

        // The broker goes away: said, and the table stays as it was; it is
        // found again when it is back.
        server.Kill();
        QTRY_VERIFY2_WITH_TIMEOUT(dlg->StatusLine()->text().contains(QStringLiteral("正在重试")),
                                  qPrintable(dlg->StatusLine()->text()), 10000);
        QCOMPARE(table->rowCount(), 6);
        QVERIFY(server.Restart());
        QTRY_VERIFY2_WITH_TIMEOUT(dlg->StatusLine()->text().contains(QStringLiteral("已连接")),
                                  qPrintable(dlg->StatusLine()->text()), 15000);
    }

    // A broker that cannot be reached shows in the dialog, which stays usable.
    void anUnreachableBrokerIsToldInTheDialog() {
        AppScript script;
        auto frame = MakeFrame();
        const int port = FreeTcpPort();
        WriteConfig(BrokerConfig(port));
        QElapsedTimer timer;
        timer.start();
        frame->Action(ID_SHOP_STATUS)->trigger();
        QVERIFY(timer.elapsed() < 1000);
        CShopStatusDlg* dlg = frame->ShopStatus();
        QVERIFY(dlg && dlg->isVisible());
        QTRY_VERIFY2(dlg->StatusLine()->text().startsWith(
                         QStringLiteral("无法连接车间代理 127.0.0.1:%1（").arg(port)),
                     qPrintable(dlg->StatusLine()->text()));
        QCOMPARE(dlg->Table()->rowCount(), 0);
        QVERIFY(script.messages.empty());

        // Closing only hides it; the program ends without waiting on the network.
        dlg->close();
        QVERIFY(!dlg->isVisible());
        timer.restart();
        frame.reset();
        QVERIFY(timer.elapsed() < 1500);
    }
};

QTEST_MAIN(AppShopTest)
#include "AppShopTest.moc"
