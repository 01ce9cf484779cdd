#include "app/CShopStatusDlg.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <tuple>

#include "shopnet/ShopTopics.h"

namespace {

constexpr int kPollMs = 200;
constexpr int kMaxRetrySeconds = 5;
enum Column { kService, kMachine, kState, kChanged, kColumns };

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

bool ServiceOffline(const std::map<std::string, std::string>& services,
                    const std::string& service) {
    const auto found = services.find(service);
    return found != services.end() && found->second == OfflineState();
}

// Today's changes by their time; older ones with their day.
QString TimeText(std::chrono::system_clock::time_point when) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms);
    return at.date() == QDate::currentDate() ? at.toString(QStringLiteral("HH:mm:ss"))
                                             : at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QTableWidgetItem* Cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

bool Before(const ShopMachine& a, const std::string& service, const std::string& machine) {
    return std::tie(a.service, a.machine) < std::tie(service, machine);
}

} // namespace

CShopStatusDlg::CShopStatusDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("车间机床状态"));
    setModal(false);
    statusLine = new QLabel(this);
    statusLine->setWordWrap(true);
    statusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    table = new QTableWidget(0, kColumns, this);
    table->setHorizontalHeaderLabels({QStringLiteral("服务"), QStringLiteral("机床"),
                                      QStringLiteral("状态"), QStringLiteral("变化时间")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->horizontalHeader()->setSectionResizeMode(kState, QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(kService, QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(kMachine, QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(kChanged, QHeaderView::ResizeToContents);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(statusLine);
    layout->addWidget(table, 1);
    layout->addWidget(buttons);
    resize(640, 360);

    connect(&poll, &QTimer::timeout, this, &CShopStatusDlg::Poll);
}

CShopStatusDlg::~CShopStatusDlg() = default;

bool CShopStatusDlg::Watch(const ShopBrokerSettings& wanted, QString& why) {
    // Someone is looking: a broker that is back shows within seconds, not
    // after the service's longest wait.
    ShopBrokerSettings settings = wanted;
    settings.reconnectMaxSeconds = std::min(settings.reconnectMaxSeconds, kMaxRetrySeconds);
    settings.reconnectMinSeconds = std::min(settings.reconnectMinSeconds, kMaxRetrySeconds);
    if (watcher && settings == watched)
        return true;
    auto fresh = std::make_unique<ShopWatcher>();
    std::string reason;
    if (!fresh->Start(settings, reason)) {
        why = Q(reason);
        return false;
    }
    // Another broker (dnc.ini changed): what the old one said is no longer shown.
    watcher = std::move(fresh);
    watched = settings;
    linkTold = false;
    Reload();
    poll.start(kPollMs);
    return true;
}

QString CShopStatusDlg::StateText(const std::string& state) {
    const MachineState parsed = ParseMachineState(state);
    switch (parsed.kind) {
    case MachineState::Kind::Idle:
        return QStringLiteral("空闲");
    case MachineState::Kind::Receiving:
        return QStringLiteral("接收中");
    case MachineState::Kind::Sending:
        return QStringLiteral("发送中 %1/%2").arg(parsed.sent).arg(parsed.total);
    case MachineState::Kind::Held:
        return QStringLiteral("控制器暂停");
    case MachineState::Kind::Answering:
        return QStringLiteral("等待发送 %1（应程序请求）").arg(Q(parsed.reason));
    case MachineState::Kind::Failed:
        return QStringLiteral("失败：%1").arg(Q(parsed.reason));
    case MachineState::Kind::Offline:
        return QStringLiteral("离线");
    case MachineState::Kind::Other:
        break;
    }
    return Q(state);
}

void CShopStatusDlg::Poll() {
    if (!watcher)
        return;
    for (const ShopWatchChange& change : watcher->TakeChanges()) {
        switch (change.kind) {
        case ShopWatchChange::Kind::Machine:
            SetMachine(change.machine);
            break;
        case ShopWatchChange::Kind::MachineGone:
            RemoveMachine(change.machine);
            break;
        case ShopWatchChange::Kind::Service:
            if (change.text.empty())
                services.erase(change.service);
            else
                services[change.service] = change.text;
            for (int row = 0; row < int(rows.size()); ++row)
                if (rows[size_t(row)].service == change.service)
                    ShowRow(row);
            break;
        case ShopWatchChange::Kind::Link:
            linkTold = true;
            break;
        case ShopWatchChange::Kind::Reset:
            Reload();
            break;
        }
    }
    UpdateStatusLine();
}

int CShopStatusDlg::RowOf(const std::string& service, const std::string& machine,
                          bool& found) const {
    const auto at = std::lower_bound(rows.begin(), rows.end(), std::tie(service, machine),
                                     [](const ShopMachine& m, const auto& key) {
                                         return Before(m, std::get<0>(key), std::get<1>(key));
                                     });
    found = at != rows.end() && at->service == service && at->machine == machine;
    return int(at - rows.begin());
}

void CShopStatusDlg::SetMachine(const ShopMachine& machine) {
    bool found = false;
    const int row = RowOf(machine.service, machine.machine, found);
    if (found) {
        rows[size_t(row)] = machine;
    } else {
        rows.insert(rows.begin() + row, machine);
        table->insertRow(row);
        for (int column = 0; column < kColumns; ++column)
            table->setItem(row, column, Cell({}));
    }
    ShowRow(row);
}

void CShopStatusDlg::RemoveMachine(const ShopMachine& machine) {
    bool found = false;
    const int row = RowOf(machine.service, machine.machine, found);
    if (!found)
        return;
    rows.erase(rows.begin() + row);
    table->removeRow(row);
}

void CShopStatusDlg::ShowRow(int row) {
    const ShopMachine& m = rows[size_t(row)];
    const bool serviceOffline = ServiceOffline(services, m.service);
    const MachineState::Kind kind = ParseMachineState(m.state).kind;
    const bool offline = serviceOffline || kind == MachineState::Kind::Offline;

    QString state = StateText(m.state);
    // A service that died could not say so of its machines: what it said
    // last is only a hint now.
    if (serviceOffline && kind != MachineState::Kind::Offline)
        state = QStringLiteral("服务离线（最后状态：%1）").arg(state);
    QString changed = TimeText(m.changed);
    QString changedTip;
    if (!m.changeSeen) {
        changed = QStringLiteral("早于 %1").arg(changed);
        changedTip = QStringLiteral("连接代理时已是此状态，变成此状态的时间不详");
    }
    const QString texts[kColumns] = {Q(m.service), Q(m.machine), state, changed};
    const QColor grey = palette().color(QPalette::Disabled, QPalette::Text);
    for (int column = 0; column < kColumns; ++column) {
        QTableWidgetItem* item = table->item(row, column);
        item->setText(texts[column]);
        QBrush brush;
        if (offline)
            brush = grey;
        else if (column == kState && kind == MachineState::Kind::Failed)
            brush = QColor(180, 0, 0);
        item->setForeground(brush);
    }
    table->item(row, kState)->setToolTip(Q(m.state));
    table->item(row, kChanged)->setToolTip(changedTip);
}

// The whole table anew from the watcher (a new broker, or changes lost).
// Changes taken later that are already in it are set again, to no effect.
void CShopStatusDlg::Reload() {
    for (const ShopWatchChange& change : watcher->TakeChanges())
        linkTold = linkTold || change.kind == ShopWatchChange::Kind::Link;
    rows = watcher->Machines();
    services = watcher->Services();
    table->setRowCount(0);
    table->setRowCount(int(rows.size()));
    for (int row = 0; row < int(rows.size()); ++row) {
        for (int column = 0; column < kColumns; ++column)
            table->setItem(row, column, Cell({}));
        ShowRow(row);
    }
    UpdateStatusLine();
}

void CShopStatusDlg::UpdateStatusLine() {
    const QString where = Q(watcher->Where());
    QString problem = Q(watcher->LinkProblem());
    while (problem.endsWith(QLatin1Char('.')))
        problem.chop(1);
    QString text;
    bool bad = false;
    if (watcher->LinkUp()) {
        text = QStringLiteral("已连接车间代理 %1，共 %2 台机床。").arg(where).arg(rows.size());
        if (!problem.isEmpty()) {
            text += QStringLiteral("但出了问题（%1）。").arg(problem);
            bad = true;
        }
    } else if (!problem.isEmpty()) {
        text = QStringLiteral("无法连接车间代理 %1（%2），正在重试……").arg(where, problem);
        bad = true;
    } else if (linkTold) {
        text = QStringLiteral("与车间代理 %1 的连接已断开，正在重试……").arg(where);
        bad = true;
    } else {
        text = QStringLiteral("正在连接车间代理 %1……").arg(where);
    }
    if (!watcher->LinkUp() && !rows.empty())
        text += QStringLiteral("下表是连接断开前的状态。");
    if (watcher->Truncated())
        text += QStringLiteral("机床太多，只列出前 %1 台。").arg(ShopWatcher::kMaxMachines);
    statusLine->setText(text);
    statusLine->setStyleSheet(bad ? QStringLiteral("color: #b40000;") : QString());
}
