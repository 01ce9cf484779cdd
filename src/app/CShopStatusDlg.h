#pragma once
#include <QDialog>
#include <QTimer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "shopnet/ShopSettings.h"
#include "shopnet/ShopWatcher.h"

class QLabel;
class QTableWidget;

// "车间机床状态": every machine of every DNC service on the shop's broker,
// with its state and when it last changed, read-only. Machines of a service
// that has gone offline stay listed, greyed, with the last state it gave.
// A status line says whether the broker is reached, and why not; the watcher
// keeps trying meanwhile.
//
// Non-modal. Closing only hides it: the watcher keeps running, so that the
// times of changes seen while it was hidden stay known.
class CShopStatusDlg : public QDialog {
    Q_OBJECT

public:
    explicit CShopStatusDlg(QWidget* parent = nullptr);
    ~CShopStatusDlg() override;

    // Watches the broker of these settings; one already watched goes on
    // unchanged (what it saw is kept). False with the reason when the
    // settings cannot work.
    bool Watch(const ShopBrokerSettings& settings, QString& why);

    // One look at what the watcher took; the timer calls it every 200 ms.
    void Poll();

    QLabel* StatusLine() const { return statusLine; }
    QTableWidget* Table() const { return table; }

    // The state text in the operator's words: "sending 3/90" as "发送中 3/90".
    static QString StateText(const std::string& state);

private:
    // The row of (service, machine), or where it would go.
    int RowOf(const std::string& service, const std::string& machine, bool& found) const;
    void SetMachine(const ShopMachine& machine);
    void RemoveMachine(const ShopMachine& machine);
    void ShowRow(int row);
    void Reload();
    void UpdateStatusLine();

    std::unique_ptr<ShopWatcher> watcher;
    ShopBrokerSettings watched;
    QLabel* statusLine = nullptr;
    QTableWidget* table = nullptr;
    QTimer poll;
    // The table's rows, in order. Invariant: sorted by service, then machine,
    // and rows[i] is what row i shows.
    std::vector<ShopMachine> rows;
    std::map<std::string, std::string> services; // status by service
    bool linkTold = false; // a Link change has come: the first connect is over
};
