#include "tools/SyncEditDlg.h"

#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"

#include "ui_SyncEditDlg.h"

#include <QLayout>
#include <QPushButton>

CSyncEditDlg::CSyncEditDlg(CDriverContext& ctx, QWidget* parent)
    : CToolDlg(parent), m_ctx(ctx), m_ui(new Ui::CSyncEditDlg) {
    m_ui->setupUi(this);
    OnLanguageChange(this, [this] { m_ui->retranslateUi(this); });
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    MarkCtrlScope(this);
    connect(m_ui->btnRead, &QPushButton::clicked, this, &CSyncEditDlg::OnRead);
    connect(m_ui->btnConfigure, &QPushButton::clicked, this, &CSyncEditDlg::OnConfigure);
    // As large as its texts need in either language.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

CSyncEditDlg::~CSyncEditDlg() {
    delete m_ui;
}

void CSyncEditDlg::ShowSync() {
    PutValues(this, SyncTexts(m_sync));
}

void CSyncEditDlg::OnRead() {
    m_ctx.RunFrom(
        m_ui->btnRead,
        [&drv = m_ctx.m_driver, slave = m_ctx.m_nSlaveAddr.load(), sync = m_sync]() mutable {
            const SdoResult o = ReadSync(drv, slave, sync);
            return std::pair{o, sync};
        },
        [this](const std::pair<SdoResult, SyncValues>& r) {
            m_sync = r.second;
            if (!r.first.Ok()) {
                ShowMessage(this, SdoFailureText(r.first));
                return;
            }
            ShowSync();
        });
}

void CSyncEditDlg::OnConfigure() {
    SyncValues target = m_sync;
    if (RefuseInput(
            this, SyncFromTexts(TakeValues(this, {kSyncCobId, kSyncPeriod, kSyncWindow}), target)))
        return;
    m_ctx.RunFrom(
        m_ui->btnConfigure,
        [&drv = m_ctx.m_driver, slave = m_ctx.m_nSlaveAddr.load(), target,
         written = m_sync]() mutable {
            const SdoResult o = ConfigureSync(drv, slave, target, written);
            return std::pair{o, written};
        },
        [this](const std::pair<SdoResult, SyncValues>& r) {
            // Only what the driver confirmed becomes the record.
            m_sync = r.second;
            if (!r.first.Ok()) {
                ShowMessage(this, SdoFailureText(r.first));
                return;
            }
            ShowMessage(this, ResultText(kResultOk));
            if (m_fnConfigured)
                m_fnConfigured();
            hide();
        });
}
