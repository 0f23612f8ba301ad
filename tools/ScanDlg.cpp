#include "tools/ScanDlg.h"

#include "desklogic/MainDlgLogic.h"
#include "driver/Format.h"
#include "guikit/CtrlUtil.h"
#include "guikit/MessageBox.h"
#include "lang/Tr.h"

#include "ui_ScanDlg.h"

#include <QHeaderView>
#include <QPointer>

SLineSetting SelectedLine(const SPanelLines& panel) {
    SLineSetting line;
    if (panel.baudIndex >= 0 && panel.baudIndex < static_cast<int>(panel.bauds.size()))
        line.baud = BaudFromText(panel.bauds[static_cast<size_t>(panel.baudIndex)]);
    line.parityChoice = panel.parityIndex;
    return line;
}

std::vector<SLineSetting> PanelLineSettings(const SPanelLines& panel) {
    std::vector<SLineSetting> all;
    for (const std::string& baud : panel.bauds)
        for (int parity = 0; parity < static_cast<int>(panel.parities.size()); ++parity)
            all.push_back({BaudFromText(baud), parity});
    return all;
}

std::string LineText(const SLineSetting& line, const SPanelLines& panel) {
    const bool known =
        line.parityChoice >= 0 && line.parityChoice < static_cast<int>(panel.parities.size());
    return StrFormat("%d, %s", line.baud,
                     known ? panel.parities[static_cast<size_t>(line.parityChoice)].c_str() : "?");
}

std::vector<std::string> ScanHitRow(const SScanHit& hit, const SPanelLines& panel) {
    const std::string line = LineText(hit.line, panel);
    const size_t comma = line.find(", ");
    std::vector<std::string> row = {StrFormat("%d (0x%02X)", hit.slave, hit.slave),
                                    line.substr(0, comma), line.substr(comma + 2)};
    if (hit.infoRc == kResultOk) {
        row.push_back(StrFormat("0x%04X", hit.identifier));
        row.push_back(hit.model);
    } else {
        row.push_back("-");
        row.push_back(lang::translate("CScanDlg", "应答: ") + ResultText(hit.infoRc));
    }
    return row;
}

std::string ScanStepText(const SScanStep& step, const SPanelLines& panel) {
    return StrFormat(lang::translate("CScanDlg", "正在扫描 %s, 地址 %d (0x%02X)").c_str(),
                     LineText(step.line, panel).c_str(), step.slave, step.slave);
}

CScanDlg::CScanDlg(CDriverContext& ctx, CLinkStats& link, const SPanelLines& panel, int portNumber,
                   QWidget* parent)
    : QDialog(parent), m_ctx(ctx), m_link(link), m_ui(new Ui::CScanDlg), m_panel(panel),
      m_nPort(portNumber) {
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    SetCtrlValue(m_ui->lblCurrent,
                 StrFormat("COM%d, %s", portNumber, LineText(SelectedLine(panel), panel).c_str()));
    QTableWidget* table = m_ui->tblFound;
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setColumnWidth(0, 90);
    table->setColumnWidth(1, 80);
    table->setColumnWidth(2, 110);
    table->setColumnWidth(3, 90);
    connect(m_ui->btnStart, &QPushButton::clicked, this, &CScanDlg::OnStart);
    connect(m_ui->btnStop, &QPushButton::clicked, this, &CScanDlg::OnStop);
    connect(m_ui->btnUse, &QPushButton::clicked, this, &CScanDlg::OnUse);
    // Several drivers found: watch them all in the bus view.
    m_pBusView = new QPushButton;
    m_pBusView->setEnabled(false);
    m_ui->rowBottom->insertWidget(m_ui->rowBottom->indexOf(m_ui->btnUse) + 1, m_pBusView);
    connect(m_pBusView, &QPushButton::clicked, this, [this] {
        m_bBusView = true;
        accept();
    });
    connect(m_ui->btnClose, &QPushButton::clicked, this, &CScanDlg::reject);
    connect(table, &QTableWidget::itemSelectionChanged, this, [this] { SetRunning(Scanning()); });
    connect(table, &QTableWidget::cellDoubleClicked, this, [this] {
        if (!Scanning())
            OnUse();
    });
    // The layout's texts are in place from setupUi.
    const auto retranslate = [this] {
        m_pBusView->setText(tr("总线视图"));
        FitHeadings(m_ui->tblFound->horizontalHeader());
    };
    retranslate();
    OnLanguageChange(this, [this, retranslate] {
        m_ui->retranslateUi(this);
        retranslate();
    });
}

CScanDlg::~CScanDlg() {
    m_bStop = true;
    EndScan();
    delete m_ui;
}

void CScanDlg::OnStart() {
    if (Scanning())
        return;
    SScanPlan plan;
    plan.firstSlave = m_ui->spnFirst->value();
    plan.lastSlave = m_ui->spnLast->value();
    plan.replyTimeoutMs = static_cast<uint32_t>(m_ui->spnTimeout->value());
    if (plan.firstSlave > plan.lastSlave) {
        ShowMessage(this, tr("起始地址不能大于结束地址").toStdString());
        return;
    }
    if (m_ui->rdoAll->isChecked())
        plan.lines = PanelLineSettings(m_panel);
    else
        plan.lines = {SelectedLine(m_panel)};

    CMotorDriver& drv = m_ctx.m_driver;
    m_bOpenedHere = false;
    if (!drv.IsOpen()) {
        const SLineSetting& first = plan.lines.front();
        if (!drv.OpenPort(m_nPort, first.baud, first.parityChoice)) {
            std::string text = tr("打开串口失败").toStdString();
            if (drv.LastOpenError() != EPortError::None)
                text += "\n" + PortErrorText(drv.LastOpenError());
            ShowMessage(this, text);
            return;
        }
        m_bOpenedHere = true;
    }
    // The poll would fall between the probes at settings the scan is trying.
    m_pollHold = m_ctx.HoldPoll();

    m_hits.clear();
    m_ui->tblFound->setRowCount(0);
    m_ui->barProgress->setValue(0);
    m_bStop = false;
    m_bBusy = true;
    SetRunning(true);
    // The worker's posts find the dialog gone if it was destroyed meanwhile.
    QPointer<CScanDlg> self(this);
    std::atomic<bool>* stop = &m_bStop; // outlives the worker: the destructor joins
    CLinkStats* link = &m_link;
    m_worker.Start([self, plan, &drv, stop, link] {
        // The probes that find nobody are the scan's own business, not the
        // link's health: they stay out of the main window's summary.
        const CLinkStats::CLeaveOutThisThread ownCount(*link);
        SScanOutcome out = ScanBus(
            drv, plan, *stop,
            [self](const SScanStep& s) {
                PostToGui([self, s] {
                    if (self)
                        self->OnStep(s);
                });
            },
            [self](const SScanHit& h) {
                PostToGui([self, h] {
                    if (self)
                        self->OnHit(h);
                });
            });
        PostToGui([self, out] {
            if (self)
                self->OnFinished(out);
        });
    });
}

void CScanDlg::OnStop() {
    m_bStop = true;
}

void CScanDlg::reject() {
    m_bStop = true;
    EndScan();
    QDialog::reject();
}

void CScanDlg::OnStep(const SScanStep& step) {
    if (!m_bBusy)
        return;
    m_ui->barProgress->setMaximum(static_cast<int>(step.total));
    m_ui->barProgress->setValue(static_cast<int>(step.done));
    if (step.done < step.total)
        SetCtrlValue(m_ui->lblStatus, ScanStepText(step, m_panel));
}

void CScanDlg::OnHit(const SScanHit& hit) {
    if (!m_bBusy)
        return;
    QTableWidget* table = m_ui->tblFound;
    const int row = table->rowCount();
    table->insertRow(row);
    const std::vector<std::string> cells = ScanHitRow(hit, m_panel);
    for (size_t c = 0; c < cells.size(); ++c)
        table->setItem(row, static_cast<int>(c),
                       new QTableWidgetItem(QString::fromStdString(cells[c])));
    m_hits.push_back(hit);
    if (row == 0)
        table->selectRow(0);
}

void CScanDlg::OnFinished(const SScanOutcome& out) {
    if (!m_bBusy || m_bEnding)
        return; // a close is ending the scan; it says nothing more
    EndScan();
    const int found = static_cast<int>(m_hits.size());
    SetCtrlValue(m_ui->lblStatus, StrFormat((out.stopped ? tr("扫描已停止，找到 %d 个设备")
                                                         : tr("扫描完成，找到 %d 个设备"))
                                                .toStdString()
                                                .c_str(),
                                            found));
    if (out.rc != kResultOk)
        ShowMessage(this, out.refusedLine
                              ? tr("串口不支持该设置: ").toStdString() + LineText(out.line, m_panel)
                              : ResultText(out.rc));
}

void CScanDlg::EndScan() {
    if (!m_bBusy || m_bEnding)
        return;
    // Joining runs the worker's posted calls, OnFinished among them.
    m_bEnding = true;
    m_worker.Join();
    m_bEnding = false;
    m_bBusy = false;
    m_pollHold.Release();
    if (m_bOpenedHere)
        m_ctx.m_driver.ClosePort();
    m_bOpenedHere = false;
    SetRunning(false);
}

void CScanDlg::OnUse() {
    const int row = m_ui->tblFound->currentRow();
    if (row < 0 || row >= static_cast<int>(m_hits.size()))
        return;
    m_chosen = m_hits[static_cast<size_t>(row)];
    accept();
}

void CScanDlg::SetRunning(bool running) {
    m_ui->btnStart->setEnabled(!running);
    m_ui->btnStop->setEnabled(running);
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_ui->rdoCurrent, m_ui->rdoAll, m_ui->spnFirst, m_ui->spnLast, m_ui->spnTimeout})
        w->setEnabled(!running);
    const bool selected = m_ui->tblFound->currentRow() >= 0;
    m_ui->btnUse->setEnabled(!running && selected);
    if (m_pBusView)
        m_pBusView->setEnabled(!running && !m_hits.empty());
}
