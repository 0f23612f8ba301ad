#pragma once
// The About box: icon, program name and version, "确定".

#include <QDialog>

namespace Ui {
class CAboutDlg;
}

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

private:
    Ui::CAboutDlg* m_ui;
};
