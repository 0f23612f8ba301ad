#include "app/MainDlg.h"

#include "app/AboutDlg.h"
#include "app/CtrlUtil.h"
#include "app/GuiThread.h"
#include "app/MainDlgLogic.h"
#include "app/MessageBox.h"
#include "app/StatusPoller.h"
#include "driver/Catalogue.h"
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
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <chrono>

CMainDlg* g_pMainDlg = nullptr;

static void LoadResources() {
    static bool loaded = false;
    if (!loaded) {
        Q_INIT_RESOURCE(halvik);
        loaded = true;
    }
}

namespace {

constexpr int kAddrBitFirst = 1004; // check boxes 1004..1010 are bits 0..6
constexpr int kAddrEdit = 1174;
constexpr int kTxBox = 1016, kRxBox = 1017;

} // namespace

// F12 is watched for the whole application, not as a window shortcut: a
// modal dialog or message box would block that one.
class CStopKeyFilter : public QObject {
public:
    explicit CStopKeyFilter(CMainDlg* dlg) : m_dlg(dlg) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F12 || key->modifiers() != Qt::NoModifier)
            return false;
        if (!key->isAutoRepeat())
            m_dlg->OnStopMotor();
        return true; // taken here, not passed on to the parents
    }

private:
    CMainDlg* m_dlg;
};

CMainDlg::CMainDlg(QWidget* parent) : QDialog(parent), m_ui(new Ui::CMainDlg) {
    g_pMainDlg = this; // pages may use it from their constructors on
    LoadResources();
    m_ui->setupUi(this);
    LimitTypingOnly(this);
    m_ui->mainLayout->setMenuBar(m_ui->menuBar);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(":/halvik/halvik.png"));

    // Tab order is fixed.
    AddPage(new CMotorCtrlPage, "电机控制");
    AddPage(new CMotorParamPage, "电机参数");
    AddPage(new CSysParamPage, "系统参数");
    AddPage(new CCommParamPage, "通讯参数");
    AddPage(new CPidPage, "PID参数");
    AddPage(new CReciprocatePage, "往复运动");
    AddPage(new CSafetyPage, "安全保护");
    ShowPage(0);
    m_pRegisterDlg = new CRegisterDlg(this);
    m_pObjDictDlg = new CObjDictDlg(this);
    connect(m_ui->tabPages, &QTabWidget::currentChanged, this, &CMainDlg::ShowPage);

    // Connection panel.
    connect(FindCtrl<QPushButton>(this, 1011), &QPushButton::clicked, this, &CMainDlg::OnOpenClose);
    for (int i = 0; i < 7; ++i)
        connect(FindCtrl<QCheckBox>(this, kAddrBitFirst + i), &QCheckBox::clicked, this,
                &CMainDlg::UpdateAddressFromBits);
    connect(FindCtrl<QLineEdit>(this, kAddrEdit), &QLineEdit::editingFinished, this,
            &CMainDlg::UpdateBitsFromAddress);
    auto* portCombo = FindCtrl<QComboBox>(this, 1001);
    connect(portCombo, &QComboBox::currentIndexChanged, this, [this] { UpdatePortDevices(false); });
    portCombo->installEventFilter(this);
    UpdatePortDevices(true);

    // Device information and status.
    connect(FindCtrl<QPushButton>(this, 1013), &QPushButton::clicked, this, &CMainDlg::OnReadInfo);
    connect(FindCtrl<QPushButton>(this, 1014), &QPushButton::clicked, this, &CMainDlg::OnOemInfo);
    connect(FindCtrl<QPushButton>(this, 1047), &QPushButton::clicked, this,
            &CMainDlg::OnClearPosition);

    // A running motor can be stopped from any tab and any tool dialog.
    m_pStopKey = new CStopKeyFilter(this);
    connect(FindCtrl<QPushButton>(this, kStopMotorButton), &QPushButton::clicked, this,
            &CMainDlg::OnStopMotor);

    // Menu.
    auto onMenu = [this](int id, auto fn) {
        connect(FindCtrl<QAction>(this, id), &QAction::triggered, this, fn);
    };
    onMenu(32771, [this] { LoadConfiguration(this); });
    onMenu(32772, [this] { ExportConfiguration(this); });
    onMenu(32773, [this] { close(); });
    onMenu(32774, [this] { ShowToolDialog(m_pRegisterDlg); });
    onMenu(32776, [this] { ShowToolDialog(m_pObjDictDlg); });
    onMenu(32775, [this] { OnAbout(); });
    onMenu(32790, [this] { OnScan(); });
    m_pPlotDlg = new CPlotDlg(this);
    m_pTrafficDlg = new CTrafficLogDlg(m_trafficLog, this);
    m_ui->menuTools->addSeparator();
    connect(m_ui->menuTools->addAction("实时曲线"), &QAction::triggered, this,
            [this] { ShowToolDialog(m_pPlotDlg); });
    connect(m_ui->menuTools->addAction("通讯记录"), &QAction::triggered, this,
            [this] { ShowToolDialog(m_pTrafficDlg); });

    // The window keeps the size its layout asks for.
    adjustSize();
    setFixedSize(size());

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
    if (g_pMainDlg == this)
        g_pMainDlg = nullptr;
}

int CMainDlg::AddPage(QWidget* page, const QString& tabText) {
    MarkCtrlScope(page);
    m_pages.push_back(page);
    return m_ui->tabPages->addTab(page, tabText);
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

void CMainDlg::OnTimer() {
    UpdateTrafficBox();
    ReadRealtimeStatus();
    UpdateLinkSummary();
    CloseLostPort();
    if (++m_nTicks % 10 == 0)
        UpdatePortDevices(false); // adapters come and go
}

// --- Connection panel -------------------------------------------------------

void CMainDlg::OnOpenClose() {
    auto* button = FindCtrl<QPushButton>(this, 1011);
    ++m_nPortEpoch; // a poll still out belongs to the old state of the port
    if (m_driver.IsOpen()) {
        m_driver.ClosePort();
        button->setText("打开串口");
        return;
    }
    const int port = FindCtrl<QComboBox>(this, 1001)->currentIndex() + 1;
    const int baud = BaudFromText(FindCtrl<QComboBox>(this, 1002)->currentText().toStdString());
    const int parity = FindCtrl<QComboBox>(this, 1003)->currentIndex();
    if (m_driver.OpenPort(port, baud, parity)) {
        m_linkStats.Reset();
        m_trafficLog.Clear(); // the log covers what happened since the port opened
        button->setText("关闭串口");
        UpdateLinkSummary();
        return;
    }
    std::string text = "打开串口失败";
    if (m_driver.LastOpenError() != EPortError::None)
        text += "\n" + PortErrorText(m_driver.LastOpenError());
    if (m_driver.LastOpenError() == EPortError::Permission) // the first start on a new PC
        text += "\n执行 sudo usermod -aG dialout $USER, 然后注销并重新登录";
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
    if (FindCtrl<QCheckBox>(this, 1015)->isChecked() && m_bPollSuspended == 0) {
        const std::string text = ResultText(kResultPortClosed);
        for (int id : kPollFailureFields)
            SetCtrlValue(this, id, text);
    }
    ++m_nPortEpoch;
    m_driver.ClosePort(); // clears the loss: a tick during the box does nothing
    FindCtrl<QPushButton>(this, 1011)->setText("打开串口");
    ShowMessage(this, "串口设备已被移除，串口已关闭\n" + device);
}

void CMainDlg::UpdateAddressFromBits() {
    unsigned bits = 0;
    for (int i = 0; i < 7; ++i)
        if (FindCtrl<QCheckBox>(this, kAddrBitFirst + i)->isChecked())
            bits |= 1u << i;
    m_nSlaveAddr = AddressFromBits(bits);
    SetCtrlValue(this, kAddrEdit, AddressText(m_nSlaveAddr));
}

void CMainDlg::UpdateBitsFromAddress() {
    const uint8_t addr = ParseAddressText(CtrlValue(this, kAddrEdit));
    m_nSlaveAddr = addr;
    SetCtrlValue(this, kAddrEdit, AddressText(addr));
    const unsigned bits = BitsFromAddress(addr);
    for (int i = 0; i < 7; ++i)
        FindCtrl<QCheckBox>(this, kAddrBitFirst + i)->setChecked(bits & (1u << i));
}

void CMainDlg::UpdateTrafficBox() {
    // Only a changed text is set, so the box neither flickers nor loses its
    // scroll position.
    auto update = [this](int id, const std::vector<uint8_t>& bytes) {
        auto* box = FindCtrl<QLineEdit>(this, id);
        const QString text = QString::fromStdString(TrafficText(bytes));
        if (box->text() != text) {
            box->setText(text);
            box->setCursorPosition(0); // a new frame is read from its start
        }
    };
    update(kTxBox, m_driver.GetTxFrame());
    update(kRxBox, m_driver.GetRxFrame());
}

// Shows where each COM number leads, so a user with /dev/ttyUSB0 knows which
// one to pick: the current one beside the combo, every one as the item's
// tooltip when the list is about to open.
void CMainDlg::UpdatePortDevices(bool allItems) {
    auto* combo = FindCtrl<QComboBox>(this, 1001);
    auto deviceText = [](int number) {
        const std::string dev = ResolveComPort(number);
        return dev.empty() ? std::string("无设备") : dev;
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
    if (CtrlIdOf(watched) == 1001 &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress))
        UpdatePortDevices(true);
    return QDialog::eventFilter(watched, event);
}

// --- Device information and status -----------------------------------------

void CMainDlg::OnReadInfo() {
    DeviceInfoBlock block{};
    const ResultCode rc = m_driver.ReadDeviceInfoBlock(m_nSlaveAddr, block);
    if (rc != kResultOk) {
        ShowResult(this, rc);
        return;
    }
    PutValues(this, DeviceInfoValues(block));
}

void CMainDlg::OnOemInfo() {
    std::string text;
    const ResultCode rc = m_driver.ReadDeviceIdText(m_nSlaveAddr, text);
    if (rc != kResultOk) {
        ShowResult(this, rc);
        return;
    }
    // The driver joins its lines with CR LF; a Qt label wants LF.
    QString shown = QString::fromStdString(text);
    shown.replace("\r\n", "\n");
    ShowMessage(this, shown.toStdString());
}

void CMainDlg::SuspendPoll() {
    ++m_bPollSuspended;
    // The poller hands its outcome over to this thread; the wait runs it.
    WaitOnGui([this] { return !m_bPollInFlight; },
              static_cast<int>(2 * m_driver.GetTimeout() + 500));
}

void CMainDlg::ReadRealtimeStatus() {
    m_pPlotDlg->SetPolling(FindCtrl<QCheckBox>(this, 1015)->isChecked() && m_driver.IsOpen());
    if (!FindCtrl<QCheckBox>(this, 1015)->isChecked() || m_bPollSuspended != 0 ||
        !m_driver.IsOpen() || m_bPollInFlight)
        return;
    m_bPollInFlight = m_pPoller->Start(m_nSlaveAddr, m_nPortEpoch);
}

void CMainDlg::ShowStatus(unsigned epoch, ResultCode rc, const RealtimeStatusBlock& block) {
    m_bPollInFlight = false;
    // Auto update turned off or the port closed meanwhile: the last values
    // stay frozen.
    if (epoch != m_nPortEpoch || !FindCtrl<QCheckBox>(this, 1015)->isChecked() ||
        !m_driver.IsOpen())
        return;
    OnStatusSample(rc, block);
    if (rc != kResultOk) {
        const std::string text = ResultText(rc);
        for (int id : kPollFailureFields)
            SetCtrlValue(this, id, text);
        return;
    }
    m_bSpeedUnitHz = block.At(kRegSpeedUnitHz);
    PutValues(this, StatusValues(block));
}

void CMainDlg::UpdateLinkSummary() {
    if (!m_driver.IsOpen())
        return; // the summary of the last opening stays
    const QString text = QString::fromStdString(LinkSummaryText(m_linkStats.Summary()));
    if (m_ui->lblLinkSummary->text() != text)
        m_ui->lblLinkSummary->setText(text);
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
    if (!AskYesNo(this, "真的要清零吗?"))
        return;
    // Not reported: the next poll shows the new position.
    m_driver.WriteRegister(m_nSlaveAddr, kRegClearPosition, 1);
}

// --- Menu -------------------------------------------------------------------

void CMainDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

SPanelLines CMainDlg::PanelLines() const {
    auto* baud = FindCtrl<QComboBox>(this, 1002);
    auto* parity = FindCtrl<QComboBox>(this, 1003);
    SPanelLines panel;
    for (int i = 0; i < baud->count(); ++i)
        panel.bauds.push_back(baud->itemText(i).toStdString());
    for (int i = 0; i < parity->count(); ++i)
        panel.parities.push_back(parity->itemText(i).toStdString());
    panel.baudIndex = baud->currentIndex();
    panel.parityIndex = parity->currentIndex();
    return panel;
}

void CMainDlg::OnScan() {
    CScanDlg dlg(PanelLines(), FindCtrl<QComboBox>(this, 1001)->currentIndex() + 1, this);
    if (dlg.exec() == QDialog::Accepted && dlg.Chosen())
        SetConnection(dlg.Chosen()->slave, dlg.Chosen()->line);
}

void CMainDlg::SetConnection(uint8_t slave, const SLineSetting& line) {
    auto* baud = FindCtrl<QComboBox>(this, 1002);
    for (int i = 0; i < baud->count(); ++i)
        if (BaudFromText(baud->itemText(i).toStdString()) == line.baud)
            baud->setCurrentIndex(i);
    FindCtrl<QComboBox>(this, 1003)->setCurrentIndex(line.parityChoice);
    SetCtrlValue(this, kAddrEdit, AddressText(slave));
    UpdateBitsFromAddress();
    if (!m_driver.IsOpen())
        return;
    const std::string settings = CMotorDriver::SettingsString(line.baud, line.parityChoice);
    if (m_driver.LineSettingsText() != settings && !m_driver.SetLineSettings(settings))
        ShowMessage(this, "串口设置失败");
}

void CMainDlg::ShowToolDialog(QDialog* dlg) {
    auto centre = [this, dlg] {
        const QRect m = frameGeometry();
        const QSize d = dlg->frameGeometry().size();
        dlg->move(m.left() + (m.width() - d.width()) / 2, m.top() + (m.height() - d.height()) / 2);
    };
    centre();
    dlg->show();
    centre(); // the frame of a window shown for the first time is known only now
    dlg->raise();
    dlg->activateWindow();
}
