#include "tools/StepDlg.h"

#include "driver/FieldInput.h"
#include "driver/FileIo.h"
#include "driver/Format.h"
#include "guikit/CtrlUtil.h"
#include "guikit/MessageBox.h"
#include "lang/Tr.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include <memory>

namespace {

const char* const kFigureNames[] = {"Kp",
                                    "Ki",
                                    "Kd",
                                    QT_TRANSLATE_NOOP("CStepDlg", "上升时间 (10-90%)"),
                                    QT_TRANSLATE_NOOP("CStepDlg", "延迟时间 (50%)"),
                                    QT_TRANSLATE_NOOP("CStepDlg", "峰值时间"),
                                    QT_TRANSLATE_NOOP("CStepDlg", "超调量"),
                                    QT_TRANSLATE_NOOP("CStepDlg", "调节时间 (2%)"),
                                    QT_TRANSLATE_NOOP("CStepDlg", "调节时间 (5%)"),
                                    QT_TRANSLATE_NOOP("CStepDlg", "稳态误差"),
                                    QT_TRANSLATE_NOOP("CStepDlg", "峰值相电流"),
                                    QT_TRANSLATE_NOOP("CStepDlg", "采样率")};
constexpr int kFigureRows = static_cast<int>(std::size(kFigureNames));

std::string Ms(double s) {
    return s < 0 ? "-" : StrFormat("%.1f ms", s * 1000);
}

const QColor kRunColours[] = {QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44),
                              QColor(148, 103, 189)};

} // namespace

std::vector<std::string> StepFigureTexts(const SStepResult& r, EStepLoop loop) {
    const SStepGains& g = loop == EStepLoop::Speed ? r.speedGains : r.positionGains;
    const SStepFigures& f = r.figures;
    const char* unit = StepUnit(loop);
    return {StrFormat("%g", g.kp),
            StrFormat("%g", g.ki),
            StrFormat("%g", g.kd),
            Ms(f.riseTime),
            Ms(f.delayTime),
            Ms(f.peakTime),
            f.valid ? StrFormat("%.1f %%", f.overshoot) : "-",
            Ms(f.settling2),
            Ms(f.settling5),
            f.valid ? StrFormat("%.1f %s", f.steadyError, unit) : "-",
            StrFormat("%.2f A", f.peakCurrent),
            StrFormat("%.0f /s", f.sampleRate)};
}

std::string StepCsv(const SStepResult& r, EStepLoop loop) {
    std::string s = "\xEF\xBB\xBF";
    const std::vector<std::string> figures = StepFigureTexts(r, loop);
    for (int i = 0; i < kFigureRows; ++i)
        s += std::string("# ") + kFigureNames[i] + "," + figures[static_cast<size_t>(i)] + "\r\n";
    s += StrFormat("t_s,%s,phase_current_A\r\n", StepUnit(loop));
    for (const SStepSample& x : r.samples)
        s += StrFormat("%.4f,%.3f,%.2f\r\n", x.t, x.value, x.current);
    return s;
}

std::string StepEndText(const SStepResult& r) {
    switch (r.end) {
    case EStepEnd::Completed:
        return r.figures.valid ? "" : r.figures.problem;
    case EStepEnd::Refused:
        return r.problem;
    case EStepEnd::Stopped:
        return lang::translate("CStepDlg", "测试已停止，电机已停止");
    case EStepEnd::DriverError:
        return StrFormat(lang::translate("CStepDlg", "驱动器报告错误状态 %u，电机已停止").c_str(),
                         r.errorState);
    default:
        return lang::translate("CStepDlg", "通讯失败，电机已停止: ") + ResultText(r.rc);
    }
}

CStepDlg::CStepDlg(CDriverContext& ctx, QWidget* parent) : QDialog(parent), m_ctx(ctx) {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    m_pLoop = new QComboBox;
    m_pLoop->setSizeAdjustPolicy(QComboBox::AdjustToContents); // follows its language
    m_pLoop->addItems({QString(), QString()});
    m_pTarget = new QLineEdit("100");
    m_pUnit = new QLabel("Hz");
    m_pRelative = new QCheckBox;
    m_pRelative->setEnabled(false);
    m_pFromRunning = new QCheckBox;
    m_pDuration = new QSpinBox;
    m_pDuration->setRange(100, 60000);
    m_pDuration->setValue(1000);
    m_pDuration->setSuffix(" ms");
    connect(m_pLoop, &QComboBox::currentIndexChanged, this, [this](int i) {
        m_pUnit->setText(
            QString::fromUtf8(StepUnit(i == 0 ? EStepLoop::Speed : EStepLoop::Position)));
        m_pRelative->setEnabled(i == 1);
    });
    m_pStart = new QPushButton;
    m_pStop = new QPushButton;
    m_pStop->setEnabled(false);
    auto* csv = new QPushButton;
    auto* png = new QPushButton;
    connect(m_pStart, &QPushButton::clicked, this, &CStepDlg::OnStart);
    connect(m_pStop, &QPushButton::clicked, this, &CStepDlg::OnStop);
    connect(csv, &QPushButton::clicked, this, &CStepDlg::OnExportCsv);
    connect(png, &QPushButton::clicked, this, &CStepDlg::OnExportPng);
    // Only while a test runs: otherwise F12 goes on to the main window's stop.
    m_pF12 = new QShortcut(QKeySequence(Qt::Key_F12), this);
    m_pF12->setContext(Qt::WidgetWithChildrenShortcut);
    m_pF12->setEnabled(false);
    connect(m_pF12, &QShortcut::activated, this, &CStepDlg::OnStop);

    auto* top = new QHBoxLayout;
    auto* loopCaption = new QLabel;
    auto* targetCaption = new QLabel;
    auto* durationCaption = new QLabel;
    for (QWidget* w :
         std::initializer_list<QWidget*>{loopCaption, m_pLoop, targetCaption, m_pTarget, m_pUnit,
                                         m_pRelative, durationCaption, m_pDuration, m_pFromRunning})
        top->addWidget(w);
    top->addStretch(1);
    for (QPushButton* b : {m_pStart, m_pStop, csv, png})
        top->addWidget(b);

    m_pPlot = new QCustomPlot;
    m_pPlot->setMinimumSize(600, 320);
    m_pPlot->legend->setVisible(true);
    // Runs side by side, one column each; the columns selected are overlaid.
    m_pFigures = new QTableWidget(kFigureRows, 0);
    m_pFigures->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pFigures->setSelectionBehavior(QAbstractItemView::SelectColumns);
    m_pFigures->setSelectionMode(QAbstractItemView::MultiSelection);
    connect(m_pFigures->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        m_shown.clear();
        for (const QModelIndex& c : m_pFigures->selectionModel()->selectedColumns())
            m_shown.push_back(c.column());
        ShowRuns();
    });
    auto* split = new QSplitter(Qt::Horizontal);
    split->addWidget(m_pPlot);
    split->addWidget(m_pFigures);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    m_pState = new QLabel;

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(split, 1);
    layout->addWidget(m_pState);
    auto retranslate = [=, this] {
        setWindowTitle(tr("阶跃响应"));
        m_pLoop->setItemText(0, tr("速度环 (换向频率)"));
        m_pLoop->setItemText(1, tr("位置环 (位置运动)"));
        m_pRelative->setText(tr("相对"));
        m_pFromRunning->setText(tr("电机运行中也开始"));
        m_pStart->setText(tr("开始"));
        m_pStop->setText(tr("停止 (F12)"));
        csv->setText(tr("导出CSV..."));
        png->setText(tr("导出PNG..."));
        loopCaption->setText(tr("回路:"));
        targetCaption->setText(tr("目标:"));
        durationCaption->setText(tr("时长:"));
        m_pPlot->xAxis->setLabel(tr("时间 (s)"));
        ShowRuns(); // the runs' names anew, and the plot redrawn with its labels
        QStringList rows;
        for (const char* n : kFigureNames)
            rows << tr(n);
        m_pFigures->setVerticalHeaderLabels(rows);
    };
    retranslate();
    NoDefaultButtons(this); // made later than the main window's own call
    OnLanguageChange(this, retranslate);
    // Never narrower than its texts need, in either language.
    resize(1100, 520);
    GrowToLayout(this);
    AfterLanguageChange(this, [this] { GrowToLayout(this); });
}

CStepDlg::~CStepDlg() {
    m_bStop = true;
    m_worker.Join();
}

void CStepDlg::OnStart() {
    if (m_worker.Running())
        return;
    const std::string text(TrimmedText(m_pTarget->text().toStdString()));
    if (!IsStrictDecimal(text)) {
        ShowMessage(this, tr("目标: %1 不是数字").arg(QString::fromStdString(text)).toStdString());
        return;
    }
    SStepRequest req;
    req.loop = m_pLoop->currentIndex() == 0 ? EStepLoop::Speed : EStepLoop::Position;
    req.target = std::stod(text);
    req.relative = req.loop == EStepLoop::Position && m_pRelative->isChecked();
    req.duration = std::chrono::milliseconds(m_pDuration->value());
    req.stopMode = m_ctx.m_stopMode(); // the motor page's, as the main stop's
    req.fromRunning = m_pFromRunning->isChecked();
    m_bStop = false;
    SetRunning(true);
    m_pState->setText(tr("正在读取设置..."));
    // The poll stays off for the run: the short reads have the line.
    auto hold = std::make_shared<CDriverContext::CPollHold>(m_ctx.HoldPoll());
    QPointer<CStepDlg> self(this);
    m_worker.Start([this, self, req, hold, slave = m_ctx.m_nSlaveAddr.load()] {
        CMotorDriver& drv = m_ctx.m_driver;
        SStepPlan plan = PrepareStep(drv, slave, req);
        bool go = plan.result.end == EStepEnd::Completed && !m_bStop;
        if (go)
            go = AskYesNo(self, tr("电机将会转动。开始阶跃响应测试吗?").toStdString());
        SStepResult result = plan.result;
        if (go) {
            SStepHooks hooks;
            hooks.stopRequested = [this] { return m_bStop.load(); };
            result = RunStep(drv, slave, std::move(plan), hooks);
        } else if (result.end == EStepEnd::Completed) {
            result.end = EStepEnd::Refused; // not asked to go on: nothing was written
        }
        PostToGui([self, loop = req.loop, result] {
            if (self)
                self->OnFinished(loop, result);
        });
    });
}

void CStepDlg::OnStop() {
    m_bStop = true;
}

void CStepDlg::OnFinished(EStepLoop loop, const SStepResult& r) {
    m_worker.Join();
    SetRunning(false);
    m_pState->clear();
    if (r.end == EStepEnd::Refused || r.end == EStepEnd::ReadFailed) {
        if (r.end == EStepEnd::ReadFailed)
            ShowResult(this, r.rc);
        else if (!r.problem.empty())
            ShowMessage(this, r.problem);
        return;
    }
    m_runs.push_back({loop, r});
    const int col = m_pFigures->columnCount();
    m_pFigures->insertColumn(col);
    m_pFigures->setHorizontalHeaderItem(col, new QTableWidgetItem(tr("第%1次").arg(col + 1)));
    const std::vector<std::string> texts = StepFigureTexts(r, loop);
    for (int row = 0; row < kFigureRows; ++row)
        m_pFigures->setItem(
            row, col,
            new QTableWidgetItem(QString::fromStdString(texts[static_cast<size_t>(row)])));
    // The new run beside the one before it.
    m_pFigures->clearSelection();
    if (col > 0)
        m_pFigures->selectColumn(col - 1);
    m_pFigures->selectColumn(col);
    if (const std::string why = StepEndText(r); !why.empty())
        ShowMessage(this, why);
}

void CStepDlg::ShowRuns() {
    m_pPlot->clearGraphs();
    for (size_t k = 0; k < m_shown.size(); ++k) {
        const SRun& run = m_runs.at(static_cast<size_t>(m_shown[k]));
        QCPGraph* g = m_pPlot->addGraph();
        g->setPen(QPen(kRunColours[k % std::size(kRunColours)], 1.5));
        const SStepGains& gains =
            run.loop == EStepLoop::Speed ? run.result.speedGains : run.result.positionGains;
        g->setName(tr("第%1次 Kp=%2 Ki=%3 Kd=%4")
                       .arg(m_shown[k] + 1)
                       .arg(gains.kp)
                       .arg(gains.ki)
                       .arg(gains.kd));
        for (const SStepSample& x : run.result.samples)
            g->addData(x.t, x.value);
    }
    if (!m_shown.empty())
        m_pPlot->yAxis->setLabel(
            QString::fromUtf8(StepUnit(m_runs.at(static_cast<size_t>(m_shown.back())).loop)));
    m_pPlot->rescaleAxes();
    m_pPlot->replot();
}

void CStepDlg::OnExportCsv() {
    if (m_shown.empty())
        return;
    const QString path =
        QFileDialog::getSaveFileName(this, tr("导出CSV"), "halvik-step.csv", "CSV (*.csv)");
    if (path.isEmpty())
        return;
    const SRun& run = m_runs.at(static_cast<size_t>(m_shown.back()));
    if (const int err = WriteFileAtomically(path.toStdString(), StepCsv(run.result, run.loop)))
        ShowMessage(this, (tr("导出失败:\n") + path).toStdString() + "\n" + FileErrorText(err));
}

void CStepDlg::OnExportPng() {
    const QString path =
        QFileDialog::getSaveFileName(this, tr("导出PNG"), "halvik-step.png", "PNG (*.png)");
    if (!path.isEmpty() && !m_pPlot->savePng(path))
        ShowMessage(this, (tr("导出失败:\n") + path).toStdString());
}

void CStepDlg::SetRunning(bool running) {
    m_pStart->setEnabled(!running);
    m_pStop->setEnabled(running);
    m_pF12->setEnabled(running);
}

void CStepDlg::closeEvent(QCloseEvent* e) {
    // A run in progress stops the motor before the window goes.
    m_bStop = true;
    QDialog::closeEvent(e);
}
