#include "tools/PdoEditDlg.h"

#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"

#include "ui_PdoEditDlg.h"

#include <QLayout>
#include <QPushButton>

namespace {

// A worker's view of the dialog: edits are set on the GUI thread.
class CEditSink : public IEditorSink {
public:
    explicit CEditSink(QWidget* dlg) : m_dlg(dlg) {}
    void Show(const CtrlValues& values) override {
        RunOnGui([this, values] { PutValues(m_dlg, values); });
    }
    void Message(const std::string& text) override { ShowMessage(m_dlg, text); }

private:
    QWidget* m_dlg;
};

} // namespace

CPdoEditDlg::CPdoEditDlg(CDriverContext& ctx, QWidget* parent)
    : CToolDlg(parent), m_ctx(ctx), m_ui(new Ui::CPdoEditDlg) {
    m_ui->setupUi(this);
    OnLanguageChange(this, [this] {
        m_ui->retranslateUi(this);
        ShowLoadState();
    });
    LimitTypingOnly(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    MarkCtrlScope(this);
    connect(m_ui->btnLoad, &QPushButton::clicked, this, &CPdoEditDlg::OnLoad);
    connect(m_ui->btnConfigure, &QPushButton::clicked, this, &CPdoEditDlg::OnConfigure);
    // As large as its texts need in either language.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

CPdoEditDlg::~CPdoEditDlg() {
    StopWorker();
    delete m_ui;
}

void CPdoEditDlg::StopWorker() {
    // The worker ends after its current exchange; what it hands over
    // meanwhile runs while this waits.
    m_bStop = true;
    m_worker.Join();
}

void CPdoEditDlg::OpenPdo(int row) {
    StopWorker();
    m_bStop = false;
    m_nRow = row;
    CtrlValues values = PdoValuesFromRecord(row, m_records[static_cast<size_t>(row)]);
    if (m_bReload) {
        // Every edit empty and every entry unticked until the driver answers.
        for (auto& [id, text] : values)
            text = "";
        for (int k = 0; k < kMaxMapEntries; ++k)
            values[PdoEntryCheck(k)] = "0";
    } else {
        const bool times = !IsReceivePdo(row);
        m_ui->edtInhibit->setEnabled(times);
        m_ui->edtEvent->setEnabled(times);
    }
    PutValues(this, values);
    m_ui->btnConfigure->setEnabled(false);
    m_ui->btnLoad->setEnabled(false);
    ShowLoadState();

    auto hold = std::make_shared<CDriverContext::CPollHold>(m_ctx.HoldPoll());
    const uint8_t slave = m_ctx.m_nSlaveAddr;
    const bool reload = m_bReload;
    m_worker.Start([this, slave, row, reload, hold] {
        CEditSink sink(this);
        const int ok = LoadPdo(m_ctx.m_driver, slave, row, reload, m_bStop, sink);
        RunOnGui([this, ok] {
            m_bReload = false;
            m_ui->btnLoad->setEnabled(true);
            ShowLoadState();
            if (ok == 2)
                m_ui->btnConfigure->setEnabled(true);
        });
        hold->Release();
    });
}

void CPdoEditDlg::ShowLoadState() {
    if (m_nRow < 0)
        return;
    m_ui->grpPdo->setTitle(QString::fromStdString(PdoGroupCaption(m_nRow)));
    m_ui->btnLoad->setText(m_ui->btnLoad->isEnabled() ? tr("重新载入") : tr("载入中…"));
}

void CPdoEditDlg::OnLoad() {
    m_bReload = true;
    OpenPdo(m_nRow);
}

void CPdoEditDlg::OnConfigure() {
    StopWorker();
    const CtrlValues values = TakeValues(this, PdoValueIds());
    // A number the object cannot hold would reach the driver cut short (a
    // bit length spilling into the sub-index): nothing is written then.
    if (RefuseInput(this, CheckPdoValues(m_nRow, values)))
        return;
    m_ui->btnConfigure->setEnabled(false);
    m_ui->btnLoad->setEnabled(false);
    m_ui->btnConfigure->setText(tr("配置中…"));
    m_bStop = false;

    auto hold = std::make_shared<CDriverContext::CPollHold>(m_ctx.HoldPoll());
    const uint8_t slave = m_ctx.m_nSlaveAddr;
    const int row = m_nRow;
    const PdoRecord start = m_records[static_cast<size_t>(row)];
    m_worker.Start([this, slave, row, values, start, hold] {
        CEditSink sink(this);
        PdoRecord rec = start;
        const bool ok = ConfigurePdo(m_ctx.m_driver, slave, row, values, m_bStop, rec, sink);
        RunOnGui([this, row, rec] {
            // What the driver confirmed, even when a later step failed.
            m_records[static_cast<size_t>(row)] = rec;
            m_bReload = false;
            m_ui->btnLoad->setEnabled(true);
            m_ui->btnConfigure->setText(tr("配置"));
            m_ui->btnConfigure->setEnabled(true);
        });
        if (ok) {
            sink.Message(tr("配置成功").toStdString());
            RunOnGui([this] {
                if (m_fnConfigured)
                    m_fnConfigured();
                hide();
            });
        }
        hold->Release();
    });
}
