#include "app/CCompareDlg.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "common/Gbk.h"
#include "editor/text/ProgramCompare.h"

namespace {

constexpr int kContext = 2;

QTableWidgetItem* Cell(const QString& text, bool changed) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (changed)
        item->setBackground(QColor(255, 228, 196));
    return item;
}

QString Text(std::string_view gbk) {
    return QString::fromStdString(GbkToUtf8(gbk));
}

} // namespace

CCompareDlg::CCompareDlg(const CTextBuffer& document, const QString& documentTitle,
                         const CTextBuffer& stored, const QString& storedPath, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("比较程序"));
    const std::vector<std::string_view> a = ProgramLines(document);
    const std::vector<std::string_view> b = ProgramLines(stored);
    const CompareResult result = ComparePrograms(a, b, CompareOptions{});

    summary = new QLabel(this);
    summary->setText(result.Equal()
                         ? QStringLiteral("两个程序相同（不计行尾、%、分号注释、首尾空白和空行）。")
                         : QStringLiteral("有 %1 处不同（不计行尾、%、分号注释、首尾空白和空行）。")
                               .arg(result.Differences()));
    table = new QTableWidget(0, 4, this);
    table->setHorizontalHeaderLabels({QStringLiteral("行"), documentTitle, QStringLiteral("行"),
                                      QFileInfo(storedPath).fileName()});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setFont(QFont(QStringLiteral("monospace")));

    const auto addRow = [&](int ai, int bi, bool changed) {
        const int row = table->rowCount();
        table->insertRow(row);
        table->setItem(row, 0, Cell(ai >= 0 ? QString::number(ai + 1) : QString(), changed));
        table->setItem(row, 1, Cell(ai >= 0 ? Text(a[size_t(ai)]) : QString(), changed));
        table->setItem(row, 2, Cell(bi >= 0 ? QString::number(bi + 1) : QString(), changed));
        table->setItem(row, 3, Cell(bi >= 0 ? Text(b[size_t(bi)]) : QString(), changed));
    };
    for (const CompareHunk& h : result.hunks) {
        if (h.ignored)
            continue;
        if (table->rowCount() > 0)
            addRow(-1, -1, false); // a gap between runs
        for (int k = kContext; k > 0; --k)
            if (h.aFirst - k >= 0 && h.bFirst - k >= 0)
                addRow(h.aFirst - k, h.bFirst - k, false);
        for (int k = 0; k < std::max(h.aCount, h.bCount); ++k)
            addRow(k < h.aCount ? h.aFirst + k : -1, k < h.bCount ? h.bFirst + k : -1, true);
        for (int k = 0; k < kContext; ++k)
            if (h.aFirst + h.aCount + k < int(a.size()) && h.bFirst + h.bCount + k < int(b.size()))
                addRow(h.aFirst + h.aCount + k, h.bFirst + h.bCount + k, false);
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(table);
    layout->addWidget(buttons);
    resize(900, 560);
}
