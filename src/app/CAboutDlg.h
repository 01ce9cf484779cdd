#pragma once
#include <QDialog>

// "关于泽朗串口通信".
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
