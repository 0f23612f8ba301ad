#include "tools/PlotDlg.h"

#include "driver/Texts.h"
#include "guikit/CtrlUtil.h"
#include "guikit/MessageBox.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace {

// Distinct on white, in the order the series are listed.
const QColor kColors[kPlotSeriesCount] = {
    QColor(31, 119, 180),  QColor(214, 39, 40),  QColor(44, 160, 44), QColor(255, 127, 14),
    QColor(148, 103, 189), QColor(23, 190, 207), QColor(140, 86, 75), QColor(227, 119, 194),
    QColor(127, 127, 127), QColor(188, 189, 34), QColor(0, 0, 128),   QColor(128, 0, 0),
};

QString SeriesTitle(int i) {
    const PlotSeriesDef& d = PlotSeries(i);
    return QString::fromStdString(CatalogueText(d.label)) + " (" + QString::fromUtf8(d.unit) + ")";
}

} // namespace

CPlotDlg::CPlotDlg(QWidget* parent, size_t capacity) : QDialog(parent), m_history(capacity) {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);

    m_pPlot = new QCustomPlot(this);
    m_pPlot->setMinimumSize(720, 420);
    // Many samples per pixel: plain lines draw several times faster.
    m_pPlot->setNotAntialiasedElements(QCP::aeAll);
    m_pNormAxis = m_pPlot->yAxis;
    m_pNormAxis->setRange(0, 1);
    QCPAxisRect* rect = m_pPlot->axisRect();
    for (int i = 0; i < kPlotSeriesCount; ++i) {
        m_axes[i] = rect->addAxis(QCPAxis::atLeft);
        m_axes[i]->setLabelColor(kColors[i]);
        m_axes[i]->setTickLabelColor(kColors[i]);
        m_axes[i]->setBasePen(QPen(kColors[i]));
        m_axes[i]->setTickPen(QPen(kColors[i]));
        m_axes[i]->setSubTickPen(QPen(kColors[i]));
        m_axes[i]->grid()->setVisible(false);
        m_axes[i]->setVisible(false);
        m_graphs[i] = m_pPlot->addGraph(m_pPlot->xAxis, m_axes[i]);
        m_graphs[i]->setPen(QPen(kColors[i], 1));
        m_graphs[i]->setVisible(false);
    }
    // Time zooms and pans with the mouse; the values fit themselves.
    m_pPlot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    rect->setRangeDrag(Qt::Horizontal);
    rect->setRangeZoom(Qt::Horizontal);
    rect->setRangeDragAxes(m_pPlot->xAxis, nullptr);
    rect->setRangeZoomAxes(m_pPlot->xAxis, nullptr);
    m_pPlot->xAxis->setRange(0, m_dSpan);

    m_pCursor = new QCPItemStraightLine(m_pPlot);
    m_pCursor->setPen(QPen(Qt::black, 1, Qt::DashLine));
    m_pCursor->setVisible(false);

    // A user who zooms or drags looks at the past: the view stops following.
    connect(m_pPlot, &QCustomPlot::mouseWheel, this, [this] { SetPaused(true); });
    connect(m_pPlot, &QCustomPlot::mouseMove, this, [this](QMouseEvent* e) {
        if (e->buttons() & Qt::LeftButton)
            SetPaused(true);
    });
    connect(m_pPlot, &QCustomPlot::mousePress, this, [this](QMouseEvent* e) {
        if (e->button() == Qt::RightButton)
            SetCursor(m_pPlot->xAxis->pixelToCoord(e->position().x()));
    });
    connect(m_pPlot->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            [this] { RescaleValues(); });

    // Series choice.
    auto* checks = new QGridLayout;
    for (int i = 0; i < kPlotSeriesCount; ++i) {
        m_checks[i] = new QCheckBox;
        QPalette pal = m_checks[i]->palette();
        pal.setColor(QPalette::WindowText, kColors[i]);
        m_checks[i]->setPalette(pal);
        connect(m_checks[i], &QCheckBox::toggled, this,
                [this, i](bool on) { SetSeriesShown(i, on); });
        checks->addWidget(m_checks[i], i / 6, i % 6);
    }

    m_pScale = new QComboBox;
    m_pScale->addItems({QString(), QString()});
    connect(m_pScale, &QComboBox::currentIndexChanged, this,
            [this](int i) { SetNormalised(i == 1); });
    m_pPause = new QPushButton;
    connect(m_pPause, &QPushButton::clicked, this, [this] { SetPaused(!m_bPaused); });
    m_pClear = new QPushButton;
    connect(m_pClear, &QPushButton::clicked, this, &CPlotDlg::Clear);
    m_pRecord = new QPushButton;
    connect(m_pRecord, &QPushButton::clicked, this, &CPlotDlg::OnRecord);

    auto* buttons = new QHBoxLayout;
    m_pScaleCaption = new QLabel;
    buttons->addWidget(m_pScaleCaption);
    buttons->addWidget(m_pScale);
    buttons->addWidget(m_pPause);
    buttons->addWidget(m_pClear);
    buttons->addStretch();
    buttons->addWidget(m_pRecord);

    m_pStatus = new QLabel;
    m_pReadout = new QLabel;
    m_pReadout->setWordWrap(true);
    m_pReadout->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(checks);
    layout->addLayout(buttons);
    layout->addWidget(m_pPlot, 1);
    layout->addWidget(m_pReadout);
    layout->addWidget(m_pStatus);

    // Speed and current are what tuning watches first.
    m_checks[kSeriesMotorSpeed]->setChecked(true);
    m_checks[kSeriesPhaseCurrent]->setChecked(true);
    Retranslate();
    resize(960, 640);
    OnLanguageChange(this, [this] { Retranslate(); });
}

void CPlotDlg::Retranslate() {
    setWindowTitle(tr("实时曲线"));
    m_pPlot->xAxis->setLabel(tr("时间 (s)"));
    m_pNormAxis->setLabel(tr("归一化"));
    for (int i = 0; i < kPlotSeriesCount; ++i) {
        m_axes[i]->setLabel(SeriesTitle(i));
        m_graphs[i]->setName(SeriesTitle(i));
        m_checks[i]->setText(SeriesTitle(i));
    }
    m_pScale->setItemText(0, tr("各自刻度"));
    m_pScale->setItemText(1, tr("归一化"));
    m_pClear->setText(tr("清除"));
    m_pScaleCaption->setText(tr("刻度:"));
    if (!m_pCursor->visible())
        m_pReadout->setText(tr("右键单击曲线: 读取该时刻的数值"));
    ShowButtonStates();
    UpdateStatus();
    m_pPlot->replot();
}

void CPlotDlg::ShowButtonStates() {
    m_pPause->setText(m_bPaused ? tr("继续") : tr("暂停"));
    m_pRecord->setText(m_recorder.Recording() ? tr("停止记录") : tr("开始记录..."));
}

CPlotDlg::~CPlotDlg() = default;

void CPlotDlg::AddSample(const StatusSample& sample) {
    const uint64_t droppedBefore = m_history.Dropped();
    const StatusSample& s = m_history.Add(sample);
    if (m_history.Dropped() != droppedBefore) {
        const double oldest = m_history.At(0).t;
        for (QCPGraph* g : m_graphs)
            g->data()->removeBefore(oldest);
    }
    // A failed poll is a gap in every line.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int i = 0; i < kPlotSeriesCount; ++i)
        m_graphs[i]->addData(s.t, s.rc == kResultOk ? static_cast<double>(s.v[i]) : nan);
    if (m_recorder.Recording() && !m_recorder.Write(s)) {
        ShowButtonStates();
        ShowMessage(this, tr("记录文件写入失败，记录已停止:\n").toStdString() + m_recorder.Path());
    }
    if (!m_bPaused) {
        m_pPlot->xAxis->setRange(std::max(0.0, s.t - m_dSpan), std::max(m_dSpan, s.t));
        // A hidden window draws nothing; queued redraws of several samples
        // in a row are drawn once.
        if (isVisible()) {
            RescaleValues();
            m_pPlot->replot(QCustomPlot::rpQueuedReplot);
        }
    }
    if (m_history.Size() % 10 == 1 || m_recorder.Recording())
        UpdateStatus();
}

void CPlotDlg::SetPolling(bool polling) {
    if (polling != m_bPolling) {
        m_bPolling = polling;
        UpdateStatus();
    }
}

void CPlotDlg::SetSeriesShown(int series, bool shown) {
    if (m_checks[series]->isChecked() != shown)
        m_checks[series]->setChecked(shown); // comes back here through toggled
    m_graphs[series]->setVisible(shown);
    UpdateAxes();
}

void CPlotDlg::SetNormalised(bool normalised) {
    if (m_pScale->currentIndex() != (normalised ? 1 : 0))
        m_pScale->setCurrentIndex(normalised ? 1 : 0);
    UpdateAxes();
}

void CPlotDlg::SetPaused(bool paused) {
    if (paused == m_bPaused)
        return;
    m_bPaused = paused;
    ShowButtonStates();
    if (!paused) {
        // Follow the newest sample again with the width the user zoomed to.
        m_dSpan = std::max(1.0, m_pPlot->xAxis->range().size());
        if (m_history.Size() > 0) {
            const double last = m_history.At(m_history.Size() - 1).t;
            m_pPlot->xAxis->setRange(std::max(0.0, last - m_dSpan), std::max(m_dSpan, last));
        }
        Redraw();
    }
}

bool CPlotDlg::StartRecording(const std::string& path) {
    std::string error;
    if (!m_recorder.Start(path, error)) {
        ShowMessage(this, tr("无法创建记录文件:\n").toStdString() + path + "\n" + error);
        return false;
    }
    ShowButtonStates();
    UpdateStatus();
    return true;
}

void CPlotDlg::StopRecording() {
    m_recorder.Stop();
    ShowButtonStates();
    UpdateStatus();
}

void CPlotDlg::OnRecord() {
    if (m_recorder.Recording()) {
        StopRecording();
        return;
    }
    QString path = QFileDialog::getSaveFileName(this, tr("记录到 CSV 文件"), "halvik-status.csv",
                                                "CSV (*.csv)");
    if (path.isEmpty())
        return;
    if (!path.endsWith(".csv", Qt::CaseInsensitive))
        path += ".csv";
    StartRecording(path.toStdString());
}

void CPlotDlg::SetCursor(double t) {
    m_dCursorT = t;
    m_pCursor->point1->setCoords(t, 0);
    m_pCursor->point2->setCoords(t, 1);
    m_pCursor->setVisible(true);
    m_pReadout->setText(CursorText());
    m_pPlot->replot(QCustomPlot::rpQueuedReplot);
}

QString CPlotDlg::CursorText() const {
    if (m_dCursorT < 0 || m_history.Size() == 0)
        return {};
    const StatusSample& s = m_history.At(m_history.Nearest(m_dCursorT));
    QString text = QString("t = %1 s (%2):")
                       .arg(s.t, 0, 'f', 1)
                       .arg(QString::fromStdString(IsoTime(s.wallMs)).mid(11, 12));
    if (s.rc != kResultOk)
        return text + " " + QString::fromStdString(ResultText(s.rc));
    for (int i = 0; i < kPlotSeriesCount; ++i) {
        if (!m_graphs[i]->visible())
            continue;
        const PlotSeriesDef& d = PlotSeries(i);
        const QString value =
            std::isfinite(s.v[i]) ? QString::number(static_cast<double>(s.v[i]), 'g', 7) : "-";
        text += QString("  %1 %2 %3")
                    .arg(QString::fromStdString(CatalogueText(d.label)), value,
                         QString::fromUtf8(d.unit));
    }
    return text;
}

void CPlotDlg::Clear() {
    m_history.Clear();
    for (QCPGraph* g : m_graphs)
        g->data()->clear();
    m_dCursorT = -1;
    m_pCursor->setVisible(false);
    m_pReadout->clear();
    m_pPlot->xAxis->setRange(0, m_dSpan);
    UpdateStatus();
    Redraw();
}

void CPlotDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    Redraw(); // nothing was drawn while hidden
}

void CPlotDlg::Redraw() {
    RescaleValues();
    m_pPlot->replot(QCustomPlot::rpImmediateRefresh);
}

void CPlotDlg::RescaleValues() {
    // Each shown series fits its own axis to what is in view; normalised, the
    // axes are hidden and every line spans the same height.
    for (int i = 0; i < kPlotSeriesCount; ++i) {
        if (!m_graphs[i]->visible())
            continue;
        bool found = false;
        QCPRange r = m_graphs[i]->getValueRange(found, QCP::sdBoth, m_pPlot->xAxis->range());
        if (!found)
            continue;
        if (r.size() <= 0)
            r = QCPRange(r.lower - 1, r.upper + 1);
        const double pad = r.size() * 0.05;
        m_axes[i]->setRange(r.lower - pad, r.upper + pad);
    }
}

void CPlotDlg::UpdateAxes() {
    const bool normalised = m_pScale->currentIndex() == 1;
    for (int i = 0; i < kPlotSeriesCount; ++i)
        m_axes[i]->setVisible(!normalised && m_graphs[i]->visible());
    m_pNormAxis->setVisible(normalised);
    m_pNormAxis->setTicks(normalised);
    m_pNormAxis->setTickLabels(normalised);
    m_pNormAxis->grid()->setVisible(true);
    Redraw();
}

void CPlotDlg::UpdateStatus() {
    QString text;
    if (!m_bPolling)
        text =
            tr("自动更新未开启或串口未打开: 没有新的数据。请在主窗口打开串口并勾选\"自动更新\"。");
    else
        text = tr("样本: %1 (保留最近 %2 个, 每 100 ms 一个)")
                   .arg(m_history.Size())
                   .arg(m_history.Capacity());
    if (m_recorder.Recording())
        text += tr("   记录中: %1 (%2 行)")
                    .arg(QString::fromStdString(m_recorder.Path()))
                    .arg(m_recorder.Rows());
    if (m_pStatus->text() != text)
        m_pStatus->setText(text);
}
