#include "tools/BusViewDlg.h"

#include "driver/Format.h"
#include "driver/SlaveList.h"
#include "guikit/CtrlUtil.h"
#include "guikit/MessageBox.h"
#include "lang/Tr.h"
#include "modbus/ResultCode.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <string_view>

namespace {

// Between two rounds: the main window's poll and the pages get the line in
// between, and a person reads no faster.
constexpr std::chrono::milliseconds kRoundPeriod{200};

// Address and model, the status summary in its fields' order, then the link.
const char* const kHeads[] = {
    QT_TRANSLATE_NOOP("CBusViewDlg", "地址"),     QT_TRANSLATE_NOOP("CBusViewDlg", "型号"),
    QT_TRANSLATE_NOOP("CBusViewDlg", "输入电压"), QT_TRANSLATE_NOOP("CBusViewDlg", "换向频率"),
    QT_TRANSLATE_NOOP("CBusViewDlg", "相电流"),   QT_TRANSLATE_NOOP("CBusViewDlg", "温度"),
    QT_TRANSLATE_NOOP("CBusViewDlg", "错误状态"), QT_TRANSLATE_NOOP("CBusViewDlg", "更新/秒"),
    QT_TRANSLATE_NOOP("CBusViewDlg", "往返"),     QT_TRANSLATE_NOOP("CBusViewDlg", "超时")};

constexpr int kColumns = static_cast<int>(std::size(kHeads));
constexpr int kFirstSummary = 2, kSummaryCount = static_cast<int>(std::size(kSummaryFields));
static_assert(kColumns == kFirstSummary + kSummaryCount + 3);
// The error state's column also says why a driver is not answering.
constexpr int kErrorColumn = kFirstSummary + kSummaryCount - 1;
static_assert(std::string_view(kSummaryFields[kSummaryCount - 1]) == "status.error_state");

// An address as its column shows it.
std::string SlaveCellText(uint8_t slave) {
    return StrFormat("%u (0x%02X)", slave, slave);
}

// Why the address field was refused, in the window's words.
std::string SlaveListText(const SSlaveListError& err) {
    switch (err.kind) {
    case SSlaveListError::kNone:
        return {};
    case SSlaveListError::kBadAddress:
        return lang::Args(
            lang::translate("CBusViewDlg", "地址: %1 不是%2~%3的地址"),
            {err.item, std::to_string(kFirstSlaveAddress), std::to_string(kLastSlaveAddress)});
    case SSlaveListError::kDuplicate:
        return lang::Args(lang::translate("CBusViewDlg", "地址: %1 重复"), {err.item});
    case SSlaveListError::kEmpty:
        break;
    }
    return lang::translate("CBusViewDlg", "地址: 未填写");
}

} // namespace

std::vector<std::string> BusRowTexts(uint8_t slave, const std::string& model,
                                     const SWatchUpdate& u) {
    std::vector<std::string> row = {SlaveCellText(slave), model};
    const std::vector<DecodedField> summary =
        u.status.empty() ? std::vector<DecodedField>{} : StatusSummary(u.status);
    for (size_t i = 0; i < std::size(kSummaryFields); ++i)
        row.push_back(i < summary.size() ? summary[i].text : "");
    const SLinkHealth& h = u.health;
    row.push_back(StrFormat("%.1f", h.updatesPerSecond));
    row.push_back(h.lastMs > 0 ? StrFormat("%.1fms", h.lastMs) : "-");
    row.push_back(std::to_string(h.timeouts));
    if (h.marked)
        row[kErrorColumn] = lang::translate("CBusViewDlg", "无应答: ") + ResultText(h.lastRc);
    return row;
}

std::string StopAllText(const std::vector<SStopResult>& results) {
    std::string failed;
    size_t stopped = 0;
    for (const SStopResult& r : results) {
        if (r.rc == kResultOk)
            ++stopped;
        else
            failed += StrFormat(lang::translate("CBusViewDlg", "\n从站%u: ").c_str(), r.slave) +
                      ResultText(r.rc);
    }
    if (failed.empty())
        return StrFormat(lang::translate("CBusViewDlg", "全部停止: %zu台已停止").c_str(), stopped);
    return StrFormat(lang::translate("CBusViewDlg", "全部停止: %zu台已停止, %zu台失败:").c_str(),
                     stopped, results.size() - stopped) +
           failed;
}

CBusViewDlg::CBusViewDlg(CDriverContext& ctx, QWidget* parent) : QDialog(parent), m_ctx(ctx) {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    m_pList = new QLineEdit;
    m_pList->setPlaceholderText("1,2,5");
    auto* apply = new QPushButton;
    connect(apply, &QPushButton::clicked, this, &CBusViewDlg::OnApplyList);
    connect(m_pList, &QLineEdit::returnPressed, this, &CBusViewDlg::OnApplyList);
    m_pStopAll = new QPushButton;
    connect(m_pStopAll, &QPushButton::clicked, this, &CBusViewDlg::StopAllDrivers);
    // Only with drivers listed: otherwise F12 goes on to the main window's stop.
    m_pF12 = new QShortcut(QKeySequence(Qt::Key_F12), this);
    m_pF12->setContext(Qt::WidgetWithChildrenShortcut);
    m_pF12->setEnabled(false);
    connect(m_pF12, &QShortcut::activated, this, &CBusViewDlg::StopAllDrivers);
    m_pState = new QLabel;
    m_pState->setObjectName("lblState");

    auto* top = new QHBoxLayout;
    auto* listCaption = new QLabel;
    top->addWidget(listCaption);
    top->addWidget(m_pList, 1);
    top->addWidget(apply);
    top->addWidget(m_pStopAll);

    m_pTable = new QTableWidget(0, kColumns);
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->verticalHeader()->setVisible(false);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->setColumnWidth(1, 130);
    m_pTable->setColumnWidth(kErrorColumn, 150);
    // A click or Enter makes the row's driver the addressed one.
    const auto choose = [this](int row, int) {
        if (row >= 0 && static_cast<size_t>(row) < m_slaves.size())
            emit SlaveChosen(m_slaves[static_cast<size_t>(row)]);
    };
    connect(m_pTable, &QTableWidget::cellClicked, this, choose);
    connect(m_pTable, &QTableWidget::cellActivated, this, choose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_pTable, 1);
    layout->addWidget(m_pState);
    auto retranslate = [this, apply, listCaption] {
        setWindowTitle(tr("总线视图"));
        apply->setText(tr("应用"));
        m_pStopAll->setText(tr("全部停止 (F12)"));
        listCaption->setText(tr("地址:"));
        QStringList texts;
        for (const char* h : kHeads)
            texts << tr(h);
        m_pTable->setHorizontalHeaderLabels(texts);
        FitHeadings(m_pTable->horizontalHeader());
        if (!m_pState->text().isEmpty())
            ShowState();
    };
    retranslate();
    // Every column in view, however long its heading in this language.
    resize(std::max(1000, m_pTable->horizontalHeader()->length() + 40), 360);
    OnLanguageChange(this, retranslate);
}

void CBusViewDlg::ShowState() {
    m_pState->setText(m_nState == kNotOpen   ? tr("串口未打开")
                      : m_nState == kReading ? tr("正在读取...")
                                             : tr("第%1轮").arg(m_nState));
}

CBusViewDlg::~CBusViewDlg() {
    StopWatch();
}

void CBusViewDlg::SetSlaves(const std::vector<uint8_t>& slaves,
                            const std::map<uint8_t, std::string>& models) {
    StopWatch();
    m_slaves = slaves;
    m_pF12->setEnabled(!m_slaves.empty());
    for (const auto& [s, m] : models)
        m_models[s] = m;
    std::string list;
    for (uint8_t s : slaves)
        list += (list.empty() ? "" : ",") + std::to_string(s);
    m_pList->setText(QString::fromStdString(list));
    m_pTable->setRowCount(static_cast<int>(slaves.size()));
    for (int r = 0; r < m_pTable->rowCount(); ++r)
        for (int c = 0; c < kColumns; ++c)
            m_pTable->setItem(r, c, new QTableWidgetItem);
    for (size_t r = 0; r < slaves.size(); ++r) {
        m_pTable->item(static_cast<int>(r), 0)
            ->setText(QString::fromStdString(SlaveCellText(slaves[r])));
        m_pTable->item(static_cast<int>(r), 1)
            ->setText(QString::fromStdString(m_models[slaves[r]]));
    }
    if (isVisible())
        StartWatch();
}

void CBusViewDlg::OnApplyList() {
    std::vector<uint8_t> slaves;
    SSlaveListError err;
    if (!ParseSlaveList(m_pList->text().toStdString(), slaves, err)) {
        ShowMessage(this, SlaveListText(err));
        return;
    }
    SetSlaves(slaves);
}

void CBusViewDlg::StartWatch() {
    if (m_slaves.empty() || m_worker.Running())
        return;
    if (!m_ctx.m_driver.IsOpen()) {
        m_nState = kNotOpen;
        ShowState();
        return;
    }
    m_nState = kReading;
    ShowState();
    m_bStop = false;
    std::vector<uint8_t> unknown;
    for (uint8_t s : m_slaves)
        if (m_models[s].empty())
            unknown.push_back(s);
    QPointer<CBusViewDlg> self(this);
    m_worker.Start([this, self, slaves = m_slaves, unknown] {
        CMotorDriver& drv = m_ctx.m_driver;
        for (uint8_t s : unknown) {
            if (m_bStop)
                return;
            DeviceInfoBlock info{};
            if (drv.ReadDeviceInfoBlock(s, info) == kResultOk)
                PostToGui([self, s, model = DeviceModelText(info)] {
                    if (self)
                        self->m_models[s] = model;
                });
        }
        SWatchPlan plan;
        plan.slaves = slaves;
        plan.roundPeriod = kRoundPeriod;
        // The master's first-byte budget would cut short the main window's
        // and the pages' transactions too: a silent driver here costs its
        // own time-outs only, at its slower pace.
        plan.turnaroundMs = 0;
        WatchBus(drv, plan, m_bStop, [self](const SWatchUpdate& u) {
            PostToGui([self, u] {
                if (self)
                    self->OnUpdate(u);
            });
        });
    });
}

void CBusViewDlg::StopWatch() {
    m_bStop = true;
    m_worker.Join();
}

void CBusViewDlg::OnUpdate(const SWatchUpdate& u) {
    for (size_t r = 0; r < m_slaves.size(); ++r) {
        if (m_slaves[r] != u.slave)
            continue;
        const int row = static_cast<int>(r);
        const std::vector<std::string> texts = BusRowTexts(u.slave, m_models[u.slave], u);
        // A driver not answering keeps its last values, greyed; its error
        // column says why.
        const bool fresh = u.polled && u.rc == kResultOk;
        for (int c = 0; c < kColumns; ++c) {
            if (!fresh && c >= kFirstSummary && c < kErrorColumn)
                continue;
            QTableWidgetItem* item = m_pTable->item(row, c);
            item->setText(QString::fromStdString(texts[static_cast<size_t>(c)]));
            item->setForeground(u.health.marked ? QColor(150, 150, 150) : QColor(0, 0, 0));
        }
        if (u.health.marked)
            m_pTable->item(row, kErrorColumn)->setForeground(QColor(200, 0, 0));
        ++m_nUpdates;
    }
    m_nState = u.round;
    ShowState();
}

void CBusViewDlg::StopAllDrivers() {
    if (m_slaves.empty())
        return;
    const uint16_t mode = m_ctx.m_stopMode();
    // Ahead of any page's operation waiting: the motors come first.
    m_ctx.RunFirst(
        this,
        [&drv = m_ctx.m_driver, slaves = m_slaves, mode] { return StopAll(drv, slaves, mode, 0); },
        [this](const std::vector<SStopResult>& results) {
            ShowMessage(this, StopAllText(results));
        });
}

void CBusViewDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    StartWatch();
}

void CBusViewDlg::hideEvent(QHideEvent* e) {
    StopWatch();
    QDialog::hideEvent(e);
}
