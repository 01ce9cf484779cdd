#include "app/CAboutDlg.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppArt.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("关于泽朗串口通信"));
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    auto* logo = new QLabel(frame);
    logo->setPixmap(app_art::AppIcon().pixmap(48, 48));
    auto* texts = new QVBoxLayout;
    texts->addWidget(new QLabel(QStringLiteral("泽朗串口通信 5.2版  [2017-11-21] "), frame));
    texts->addWidget(new QLabel(QStringLiteral("数控程序的串口传送、接收与编辑。"), frame));
    texts->addWidget(
        new QLabel(QStringLiteral("本程序按“原样”提供，使用前请核对传送的程序。"), frame));
    auto* row = new QHBoxLayout(frame);
    row->addWidget(logo, 0, Qt::AlignTop);
    row->addLayout(texts);
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(frame);
    outer->addWidget(ok, 0, Qt::AlignRight);
}
