#include "app/MainDlg.h"

#include "app/AboutDlg.h"
#include "app/Language.h"
#include "app/StopKeyFilter.h"
#include "desklogic/MainDlgLogic.h"
#include "desklogic/StatusPoller.h"
#include "driver/Catalogue.h"
#include "driver/FieldInput.h"
#include "driver/Texts.h"
#include "guikit/CtrlUtil.h"
#include "guikit/GuiThread.h"
#include "guikit/MessageBox.h"
#include "pages/CommParamPage.h"
#include "pages/MotorCtrlPage.h"
#include "pages/MotorParamPage.h"
#include "pages/PidPage.h"
#include "pages/ReciprocatePage.h"
#include "pages/SafetyPage.h"
#include "pages/SysParamPage.h"
#include "serial/PortMap.h"
#include "tools/ConfigTransfer.h"
#include "tools/ObjDictDlg.h"
#include "tools/PlotDlg.h"
#include "tools/RegisterDlg.h"
#include "tools/ScanDlg.h"
#include "tools/TrafficLogDlg.h"

#include "ui_MainDlg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

static void LoadResources() {
    static bool loaded = false;
    if (!loaded) {
        Q_INIT_RESOURCE(halvik);
        loaded = true;
    }
}

// The tabs' names, translated when shown.
// The page area's width in the layout, which the tabs may widen.
static constexpr int kTabsMinWidth = 660;

static const char* const kPageNames[] = {
    QT_TRANSLATE_NOOP("CMainDlg", "电机控制"), QT_TRANSLATE_NOOP("CMainDlg", "电机参数"),
    QT_TRANSLATE_NOOP("CMainDlg", "系统参数"), QT_TRANSLATE_NOOP("CMainDlg", "通讯参数"),
    QT_TRANSLATE_NOOP("CMainDlg", "PID参数"),  QT_TRANSLATE_NOOP("CMainDlg", "往复运动"),
    QT_TRANSLATE_NOOP("CMainDlg", "安全保护")};

CMainDlg::CMainDlg(QWidget* parent) : QDialog(parent), m_ui(new Ui::CMainDlg) {
    LoadResources();
    m_ui->setupUi(this);
    LimitTypingOnly(this);
    m_ui->mainLayout->setMenuBar(m_ui->menuBar);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(":/halvik/halvik.png"));

    // Tab order is fixed.
    AddPage(new CMotorCtrlPage(m_ctx), tr(kPageNames[0]));
    AddPage(new CMotorParamPage(m_ctx), tr(kPageNames[1]));
    AddPage(new CSysParamPage(m_ctx), tr(kPageNames[2]));
    AddPage(new CCommParamPage(m_ctx), tr(kPageNames[3]));
    AddPage(new CPidPage(m_ctx), tr(kPageNames[4]));
    AddPage(new CReciprocatePage(m_ctx), tr(kPageNames[5]));
    AddPage(new CSafetyPage(m_ctx), tr(kPageNames[6]));
    ShowPage(0);
    m_pRegisterDlg = new CRegisterDlg(m_ctx, this);
    m_pObjDictDlg = new CObjDictDlg(m_ctx, this);
    connect(m_ui->tabPages, &QTabWidget::currentChanged, this, &CMainDlg::ShowPage);

    // Connection panel.
    connect(m_ui->btnOpenPort, &QPushButton::clicked, this, &CMainDlg::OnOpenClose);
    for (QCheckBox* box : AddressBoxes())
        connect(box, &QCheckBox::clicked, this, &CMainDlg::UpdateAddressFromBits);
    connect(m_ui->edtSlaveAddr, &QLineEdit::editingFinished, this,
            &CMainDlg::UpdateBitsFromAddress);
    for (QComboBox* combo : {m_ui->cmbBaud, m_ui->cmbParity})
        connect(combo, &QComboBox::currentIndexChanged, this,
                [this] { ApplyLine(SelectedLine(PanelLines())); });
    connect(m_ui->cmbComPort, &QComboBox::currentIndexChanged, this,
            [this] { UpdatePortDevices(false); });
    m_ui->cmbComPort->installEventFilter(this);
    UpdatePortDevices(true);

    // Device information and status.
    connect(m_ui->btnReadInfo, &QPushButton::clicked, this, &CMainDlg::OnReadInfo);
    connect(m_ui->btnOemInfo, &QPushButton::clicked, this, &CMainDlg::OnOemInfo);
    connect(m_ui->btnClearPosition, &QPushButton::clicked, this, &CMainDlg::OnClearPosition);
    connect(m_ui->chkAutoUpdate, &QCheckBox::toggled, this, [this](bool on) {
        if (!on)
            MarkStatus(EStatusShown::Stale);
    });
    MarkStatus(EStatusShown::Stale); // nothing read yet
    ShowPortState();

    // A running motor can be stopped from any tab and any tool dialog.
    m_pStopKey = new CStopKeyFilter(this);
    connect(m_ui->btnStopMotor, &QPushButton::clicked, this, &CMainDlg::OnStopMotor);

    // Menu.
    auto onMenu = [this](QAction* action, auto fn) {
        connect(action, &QAction::triggered, this, fn);
    };
    onMenu(m_ui->actLoad, [this] {
        LoadConfiguration(this, m_ctx, [this](uint8_t slave, const SLineSetting& line) {
            SetConnection(slave, line);
        });
    });
    onMenu(m_ui->actExport, [this] { ExportConfiguration(this, m_ctx); });
    onMenu(m_ui->actExit, [this] { close(); });
    onMenu(m_ui->actRegister, [this] { ShowToolDialog(m_pRegisterDlg); });
    onMenu(m_ui->actObjDict, [this] { ShowToolDialog(m_pObjDictDlg); });
    onMenu(m_ui->actAbout, [this] { OnAbout(); });
    onMenu(m_ui->actScan, [this] { OnScan(); });
    m_pPlotDlg = new CPlotDlg(this);
    m_pTrafficDlg = new CTrafficLogDlg(m_trafficLog, this);
    m_ui->menuTools->addSeparator();
    QAction* plot = m_ui->menuTools->addAction(tr("实时曲线"));
    QAction* traffic = m_ui->menuTools->addAction(tr("通讯记录"));
    connect(plot, &QAction::triggered, this, [this] { ShowToolDialog(m_pPlotDlg); });
    connect(traffic, &QAction::triggered, this, [this] { ShowToolDialog(m_pTrafficDlg); });
    AddLanguageMenu(m_ui->menuHelp, m_ui->actAbout);
    OnLanguageChange(this, [this, plot, traffic] {
        m_ui->retranslateUi(this);
        for (int i = 0; i < m_ui->tabPages->count(); ++i)
            m_ui->tabPages->setTabText(i, tr(kPageNames[i]));
        plot->setText(tr("实时曲线"));
        traffic->setText(tr("通讯记录"));
        m_ui->btnOpenPort->setText(m_driver.IsOpen() ? tr("关闭串口") : tr("打开串口"));
        m_strSummaryTip = m_ui->lblLinkSummary->toolTip();
        UpdateLinkSummary();
        UpdatePortDevices(true);
        UpdateTrafficBox(true);
        if (m_lastStatus) {
            const EStatusShown shown = m_statusShown;
            PutStatus(m_lastStatus->first, m_lastStatus->second);
            MarkStatus(shown);
        }
    });
    AfterLanguageChange(this, [this] { FitToTexts(); });
    MakeBusView();
    m_ctx.m_stopMode = [this] {
        auto* page = dynamic_cast<CMotorCtrlPage*>(m_pages.at(0));
        return page ? page->StopMode() : static_cast<uint16_t>(kStopNormal);
    };
    // The pages and the tool windows made above included.
    NoDefaultButtons(this);

    m_strSummaryTip = m_ui->lblLinkSummary->toolTip();
    FitToTexts();

    m_driver.AddObserver(&m_linkStats);
    m_driver.AddObserver(&m_trafficLog);
    // The poll's outcome comes back to the GUI thread; a window gone by then
    // takes nothing.
    m_pPoller = std::make_unique<CStatusPoller>(
        m_driver, [self = QPointer<CMainDlg>(this)](unsigned epoch, ResultCode rc,
                                                    const RealtimeStatusBlock& block) {
            PostToGui([self, epoch, rc, block] {
                if (self)
                    self->ShowStatus(epoch, rc, block);
            });
        });
    // A hold on the poll waits for a status read under way: the poller hands
    // its outcome over to this thread, and the wait runs it.
    m_ctx.SetPollWait([this] {
        WaitOnGui([this] { return !m_bPollInFlight; },
                  static_cast<int>(2 * m_driver.GetTimeout() + 500));
    });

    connect(&m_timer, &QTimer::timeout, this, &CMainDlg::OnTimer);
    m_timer.start(100);
}

CMainDlg::~CMainDlg() {
    m_timer.stop();
    delete m_pStopKey; // no stop into pages being deleted
    m_pPoller.reset(); // waits for a read under way; its outcome is dropped
    // An outcome already handed over may still be queued; a worker's join
    // below runs the queue while the pages go.
    ++m_nPortEpoch;
    m_driver.RemoveObserver(&m_linkStats);
    m_driver.RemoveObserver(&m_trafficLog);
    // Pages and tool dialogs may stop workers that use m_driver: they go
    // first, while the driver still exists (QObject would delete them only
    // after the members).
    qDeleteAll(findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
    delete m_ui;
}

int CMainDlg::AddPage(QWidget* page, const QString& tabText) {
    MarkCtrlScope(page);
    m_pages.push_back(page);
    return m_ui->tabPages->addTab(page, tabText);
}

void CMainDlg::FitToTexts() {
    // Every tab shown whole, none behind the tab bar's scroll arrows.
    QTabWidget* tabs = m_ui->tabPages;
    tabs->setMinimumWidth(std::max(kTabsMinWidth, tabs->tabBar()->sizeHint().width()));
    FixSizeToLayout(this);
}

void CMainDlg::ShowPage(int index) {
    if (index >= 0 && index < static_cast<int>(m_pages.size()))
        m_ui->tabPages->setCurrentIndex(index);
}

void CMainDlg::OnStopMotor() {
    // The stop mode chosen on the motor control page; a box only on failure.
    if (auto* page = dynamic_cast<CMotorCtrlPage*>(m_pages.at(0)))
        page->SendStop();
}

void CMainDlg::reject() {
    if (MayClose())
        QDialog::reject();
}

// A window that is gone would leave a turning motor with nothing to show it.
// The stop runs on the context's worker: the window closes once it is done.
bool CMainDlg::MayClose() {
    if (!m_bMotorRunning || m_bStoppedForClose)
        return true;
    enum { kStopAndExit, kLeaveRunning };
    const int answer = AskChoice(this, tr("电机正在运行，退出前要停止电机吗?").toStdString(),
                                 {tr("停止电机并退出").toStdString(),
                                  tr("退出，不停止电机").toStdString(), tr("取消").toStdString()});
    if (answer == kLeaveRunning)
        return true;
    if (answer != kStopAndExit)
        return false;
    // F12's stop, with the stop mode chosen on the motor control page.
    auto* page = dynamic_cast<CMotorCtrlPage*>(m_pages.at(0));
    if (!page)
        return false;
    page->SendStop(
        [this](ResultCode rc) {
            if (rc != kResultOk) {
                ShowMessage(this,
                            tr("停止电机失败，程序没有退出\n").toStdString() + ResultText(rc));
                return;
            }
            m_bStoppedForClose = true;
            reject();
            m_bStoppedForClose = false;
        },
        false);
    return false;
}

void CMainDlg::OnTimer() {
    ShowPortState();
    UpdateTrafficBox();
    ReadRealtimeStatus();
    UpdateLinkSummary();
    CloseLostPort();
    if (++m_nTicks % 10 == 0)
        UpdatePortDevices(false); // adapters come and go
}

// --- Connection panel -------------------------------------------------------

void CMainDlg::OnOpenClose() {
    QPushButton* button = m_ui->btnOpenPort;
    ++m_nPortEpoch; // a poll still out belongs to the old state of the port
    if (m_driver.IsOpen()) {
        m_driver.ClosePort();
        button->setText(tr("打开串口"));
        MarkStatus(EStatusShown::Stale);
        ShowPortState();
        return;
    }
    const int port = m_ui->cmbComPort->currentIndex() + 1;
    const int baud = BaudFromText(m_ui->cmbBaud->currentText().toStdString());
    const int parity = m_ui->cmbParity->currentIndex();
    if (m_driver.OpenPort(port, baud, parity)) {
        m_linkStats.Reset();
        m_trafficLog.Clear(); // the log covers what happened since the port opened
        button->setText(tr("关闭串口"));
        UpdateLinkSummary();
        ShowPortState();
        return;
    }
    std::string text = tr("打开串口失败").toStdString();
    if (m_driver.LastOpenError() != EPortError::None)
        text += "\n" + PortErrorText(m_driver.LastOpenError());
    if (m_driver.LastOpenError() == EPortError::Permission) // the first start on a new PC
        text += tr("\n执行 sudo usermod -aG dialout $USER, 然后注销并重新登录").toStdString();
    ShowMessage(this, text);
}

// The device went away under the open port (adapter pulled): close it as the
// button would, so that opening the same number works once it is back, and
// say why once.
void CMainDlg::CloseLostPort() {
    if (!m_driver.LineLost())
        return;
    const std::string device = m_driver.OpenDevice();
    // The poll fails as on a closed port, whether or not its worker has
    // reported before the close (its report is then dropped).
    if (m_ui->chkAutoUpdate->isChecked() && !m_ctx.PollHeld()) {
        const std::string text = ResultText(kResultPortClosed);
        for (int id : kPollFailureFields)
            SetCtrlValue(this, id, text);
        MarkStatus(EStatusShown::Failed);
    } else {
        MarkStatus(EStatusShown::Stale);
    }
    ++m_nPortEpoch;
    m_driver.ClosePort(); // clears the loss: a tick during the box does nothing
    m_ui->btnOpenPort->setText(tr("打开串口"));
    ShowPortState();
    ShowMessage(this, tr("串口设备已被移除，串口已关闭\n").toStdString() + device);
}

std::array<QCheckBox*, 7> CMainDlg::AddressBoxes() const {
    return {m_ui->chkAddr1, m_ui->chkAddr2, m_ui->chkAddr3, m_ui->chkAddr4,
            m_ui->chkAddr5, m_ui->chkAddr6, m_ui->chkAddr7};
}

void CMainDlg::UpdateAddressFromBits() {
    unsigned bits = 0;
    const std::array<QCheckBox*, 7> boxes = AddressBoxes();
    for (size_t i = 0; i < boxes.size(); ++i)
        if (boxes[i]->isChecked())
            bits |= 1u << i;
    m_nSlaveAddr = AddressFromBits(bits);
    SetCtrlValue(m_ui->edtSlaveAddr, AddressText(m_nSlaveAddr));
}

void CMainDlg::UpdateBitsFromAddress() {
    const std::string typed = CtrlValue(m_ui->edtSlaveAddr);
    uint8_t addr = m_nSlaveAddr;
    if (!ParseAddressText(typed, addr)) {
        // The address stays as it was: shown again, nothing sent elsewhere.
        SetCtrlValue(m_ui->edtSlaveAddr, AddressText(m_nSlaveAddr));
        ShowMessage(this, FieldLabelText(CatalogueField("comm-b.rs485_slave_address")) + ": " +
                              typed +
                              tr(" 不是0~255的数 (十进制，或0x开头的十六进制)").toStdString());
        return;
    }
    m_nSlaveAddr = addr;
    SetCtrlValue(m_ui->edtSlaveAddr, AddressText(addr));
    const unsigned bits = BitsFromAddress(addr);
    const std::array<QCheckBox*, 7> boxes = AddressBoxes();
    for (size_t i = 0; i < boxes.size(); ++i)
        boxes[i]->setChecked(bits & (1u << i));
}

void CMainDlg::UpdateTrafficBox(bool force) {
    // Only a changed text is set, so the box neither flickers nor loses its
    // scroll position; the tip says what the frame means.
    const std::vector<uint8_t> tx = m_driver.GetTxFrame(), rx = m_driver.GetRxFrame();
    DecodeContext dc;
    dc.speedUnitHz = m_ctx.m_bSpeedUnitHz != 0;
    auto update = [&](QLineEdit* box, const std::vector<uint8_t>& bytes, bool reply) {
        const QString text = QString::fromStdString(TrafficText(bytes));
        if (box->text() == text && !force)
            return;
        box->setText(text);
        box->setCursorPosition(0); // a new frame is read from its start
        STransaction t = DecodeExchange(tx.data(), tx.size(), rx.data(), reply ? rx.size() : 0, dc);
        if (!reply)
            t.result = -1; // the request alone: what was asked, not how it ended
        box->setToolTip(bytes.empty() ? QString() : QString::fromStdString(TransactionText(t)));
    };
    update(m_ui->edtTxFrame, tx, false);
    update(m_ui->edtRxFrame, rx, true);
}

// Shows where each COM number leads, so a user with /dev/ttyUSB0 knows which
// one to pick: the current one beside the combo, every one as the item's
// tooltip when the list is about to open.
void CMainDlg::UpdatePortDevices(bool allItems) {
    QComboBox* combo = m_ui->cmbComPort;
    auto deviceText = [](int number) {
        const std::string dev = ResolveComPort(number);
        return dev.empty() ? tr("无设备").toStdString() : dev;
    };
    if (allItems)
        for (int i = 0; i < combo->count(); ++i)
            combo->setItemData(i, QString::fromStdString(PortToolTip(deviceText(i + 1))),
                               Qt::ToolTipRole);
    const std::string dev = deviceText(combo->currentIndex() + 1);
    const QString text = QString::fromStdString(dev);
    if (m_ui->lblPortDevice->text() != text)
        m_ui->lblPortDevice->setText(text);
    // A port folder passed over is why a link of the user's does not count.
    std::string tip = PortToolTip(dev);
    if (const std::string problem = PortFolderProblem(); !problem.empty())
        tip += "\n" + problem;
    if (combo->toolTip().toStdString() != tip)
        combo->setToolTip(QString::fromStdString(tip));
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_ui->cmbComPort &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress))
        UpdatePortDevices(true);
    return QDialog::eventFilter(watched, event);
}

// --- Device information and status -----------------------------------------

void CMainDlg::OnReadInfo() {
    m_ctx.ReadBlock(this, m_ui->btnReadInfo, &CMotorDriver::ReadDeviceInfoBlock,
                    [this](const DeviceInfoBlock& b) { PutValues(this, DeviceInfoValues(b)); });
}

void CMainDlg::OnOemInfo() {
    m_ctx.RunFrom(
        m_ui->btnOemInfo,
        [&drv = m_driver, slave = m_nSlaveAddr.load()] {
            std::string text;
            const ResultCode rc = drv.ReadDeviceIdText(slave, text);
            return std::pair{rc, text};
        },
        [this](const std::pair<ResultCode, std::string>& r) {
            if (r.first != kResultOk) {
                ShowResult(this, r.first);
                return;
            }
            // The driver joins its lines with CR LF; a Qt label wants LF.
            QString shown = QString::fromStdString(DeviceIdTextShown(r.second));
            shown.replace("\r\n", "\n");
            ShowMessage(this, shown.toStdString());
        });
}

void CMainDlg::ReadRealtimeStatus() {
    const bool autoUpdate = m_ui->chkAutoUpdate->isChecked();
    m_pPlotDlg->SetPolling(autoUpdate && m_driver.IsOpen());
    if (!autoUpdate || m_ctx.PollHeld() || !m_driver.IsOpen() || m_bPollInFlight)
        return;
    m_bPollInFlight = m_pPoller->Start(m_nSlaveAddr, m_nPortEpoch);
}

void CMainDlg::ShowStatus(unsigned epoch, ResultCode rc, const RealtimeStatusBlock& block) {
    m_bPollInFlight = false;
    // Auto update turned off or the port closed meanwhile: the last values
    // stay frozen.
    if (epoch != m_nPortEpoch || !m_ui->chkAutoUpdate->isChecked() || !m_driver.IsOpen())
        return;
    OnStatusSample(rc, block);
    m_lastStatus = {rc, block};
    PutStatus(rc, block);
}

void CMainDlg::PutStatus(ResultCode rc, const RealtimeStatusBlock& block) {
    if (rc != kResultOk) {
        const std::string text = ResultText(rc);
        for (int id : kPollFailureFields)
            SetCtrlValue(this, id, text);
        MarkStatus(EStatusShown::Failed);
        return;
    }
    m_bMotorRunning = MotorRunning(block);
    m_bSpeedUnitHz = block.At(kRegSpeedUnitHz);
    PutValues(this, StatusValues(block));
    MarkStatus(EStatusShown::Live);
}

void CMainDlg::MarkStatus(EStatusShown shown) {
    if (shown == m_statusShown)
        return;
    m_statusShown = shown;
    for (int id : kStatusFields) {
        const bool failureText = std::find(kPollFailureFields.begin(), kPollFailureFields.end(),
                                           id) != kPollFailureFields.end();
        const bool live =
            shown == EStatusShown::Live || (shown == EStatusShown::Failed && failureText);
        FindCtrl<QWidget>(this, id)->setEnabled(live);
    }
}

void CMainDlg::ShowPortState() {
    const bool open = m_driver.IsOpen();
    m_ui->grpInfo->setEnabled(open);
    if (!open && m_statusShown == EStatusShown::Live)
        MarkStatus(EStatusShown::Stale); // whoever closed it
}

void CMainDlg::UpdateLinkSummary() {
    if (!m_driver.IsOpen())
        return; // the summary of the last opening stays
    // One line whatever the counts grow to, so the status group above it
    // never moves: cut short with "…", whole in the tooltip.
    QLabel* label = m_ui->lblLinkSummary;
    const QString text = QString::fromStdString(LinkSummaryText(m_linkStats.Summary()));
    const QString shown =
        label->isVisible()
            ? label->fontMetrics().elidedText(text, Qt::ElideRight, label->contentsRect().width())
            : text;
    if (label->text() == shown)
        return;
    label->setText(shown);
    label->setToolTip(shown == text ? m_strSummaryTip : text + "\n" + m_strSummaryTip);
}

void CMainDlg::OnStatusSample(ResultCode rc, const RealtimeStatusBlock& block) {
    StatusSample s;
    s.wallMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
                   .count();
    s.rc = rc;
    if (rc == kResultOk)
        s.v = PlotValues(block);
    m_pPlotDlg->AddSample(s);
}

void CMainDlg::OnClearPosition() {
    if (!AskYesNo(this, tr("真的要清零吗?").toStdString()))
        return;
    // Not reported: the next poll shows the new position.
    m_ctx.Run(
        this,
        [&drv = m_driver, slave = m_nSlaveAddr.load()] {
            drv.WriteRegister(slave, kRegClearPosition, 1);
        },
        [] {});
}

// --- Menu -------------------------------------------------------------------

void CMainDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}
