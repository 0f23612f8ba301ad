#include "app/AboutDlg.h"

#include "version/Version.h"

#include "ui_AboutDlg.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), m_ui(new Ui::CAboutDlg) {
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_ui->lblIcon->setPixmap(QPixmap(":/halvik/halvik.png"));
    // The commit too: what a problem report needs to name the build.
    QString version = tr("Halvik_Demo %1 版").arg(HalvikVersion());
    if (*HalvikGitCommit())
        version += QString("\ngit %1").arg(HalvikGitCommit());
    m_ui->lblVersion->setText(version);
    connect(m_ui->btnOk, &QPushButton::clicked, this, &QDialog::accept);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

CAboutDlg::~CAboutDlg() {
    delete m_ui;
}
