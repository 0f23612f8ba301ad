#include "tools/SyncEditDlg.h"

#include "app/CtrlUtil.h"
#include "app/MainDlg.h"
#include "app/MessageBox.h"

#include "ui_SyncEditDlg.h"

#include <QPushButton>

CSyncEditDlg::CSyncEditDlg(QWidget* parent) : CToolDlg(parent), m_ui(new Ui::CSyncEditDlg) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    MarkCtrlScope(this);
    connect(FindCtrl<QPushButton>(this, kSyncRead), &QPushButton::clicked, this,
            &CSyncEditDlg::OnRead);
    connect(FindCtrl<QPushButton>(this, kSyncConfigure), &QPushButton::clicked, this,
            &CSyncEditDlg::OnConfigure);
    adjustSize();
    setFixedSize(size());
}

CSyncEditDlg::~CSyncEditDlg() {
    delete m_ui;
}

void CSyncEditDlg::ShowSync() {
    PutValues(this, SyncTexts(m_sync));
}

void CSyncEditDlg::OnRead() {
    const SdoResult o = ReadSync(g_pMainDlg->m_driver, g_pMainDlg->m_nSlaveAddr, m_sync);
    if (!o.Ok()) {
        ShowMessage(this, SdoFailureText(o));
        return;
    }
    ShowSync();
}

void CSyncEditDlg::OnConfigure() {
    SyncValues target = m_sync;
    if (RefuseInput(
            this, SyncFromTexts(TakeValues(this, {kSyncCobId, kSyncPeriod, kSyncWindow}), target)))
        return;
    // Only what the driver confirmed becomes the record.
    const SdoResult o =
        ConfigureSync(g_pMainDlg->m_driver, g_pMainDlg->m_nSlaveAddr, target, m_sync);
    if (!o.Ok()) {
        ShowMessage(this, SdoFailureText(o));
        return;
    }
    ShowMessage(this, ResultText(kResultOk));
    if (m_fnConfigured)
        m_fnConfigured();
    hide();
}
