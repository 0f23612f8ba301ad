#include "tools/TrafficLogDlg.h"

#include "guikit/CtrlUtil.h"
#include "guikit/MessageBox.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <iterator>

namespace {
// The filter list's items, in ETrafficFilter's order.
const char* const kFilterNames[] = {QT_TRANSLATE_NOOP("CTrafficLogDlg", "全部"),
                                    QT_TRANSLATE_NOOP("CTrafficLogDlg", "成功"),
                                    QT_TRANSLATE_NOOP("CTrafficLogDlg", "失败"),
                                    QT_TRANSLATE_NOOP("CTrafficLogDlg", "通讯超时"),
                                    QT_TRANSLATE_NOOP("CTrafficLogDlg", "应答错误"),
                                    QT_TRANSLATE_NOOP("CTrafficLogDlg", "异常应答")};
} // namespace

// The rows the window shows: the log's entries that pass the filters, each
// with what it means.
class CTrafficModel : public QAbstractTableModel {
public:
    std::vector<TrafficEntry> m_rows;
    std::vector<STransaction> m_meaning; // one per row
    uint64_t m_nLastSeq = 0;
    ETrafficFilter m_filter = ETrafficFilter::All;
    std::string m_strFind;
    CTrafficDecoder m_decoder;

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 6; }

    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        static const char* kHeads[] = {QT_TRANSLATE_NOOP("CTrafficLogDlg", "时间"),
                                       QT_TRANSLATE_NOOP("CTrafficLogDlg", "往返(ms)"),
                                       QT_TRANSLATE_NOOP("CTrafficLogDlg", "结果"),
                                       QT_TRANSLATE_NOOP("CTrafficLogDlg", "含义"),
                                       QT_TRANSLATE_NOOP("CTrafficLogDlg", "请求"),
                                       QT_TRANSLATE_NOOP("CTrafficLogDlg", "应答")};
        if (o == Qt::Horizontal && role == Qt::DisplayRole)
            return CTrafficLogDlg::tr(kHeads[section]);
        return QAbstractTableModel::headerData(section, o, role);
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const TrafficEntry& e = m_rows[static_cast<size_t>(index.row())];
        if (role == Qt::ForegroundRole && e.rc != kResultOk && index.column() == 2)
            return QColor(200, 0, 0);
        if (role == Qt::ToolTipRole && index.column() == 3)
            return QString::fromStdString(
                TrafficDetail(m_meaning[static_cast<size_t>(index.row())]));
        if (role != Qt::DisplayRole)
            return {};
        switch (index.column()) {
        case 0:
            return QString::fromStdString(TrafficTime(e.wallMs));
        case 1:
            return QString::number(e.rttMs, 'f', 2);
        case 2:
            return QString::fromStdString(ResultText(e.rc));
        case 3:
            return QString::fromStdString(
                TransactionSummary(m_meaning[static_cast<size_t>(index.row())]));
        case 4:
            return QString::fromStdString(HexBytes(e.request));
        default:
            return QString::fromStdString(HexBytes(e.reply));
        }
    }

    void Take(const CTrafficLog& log, bool reset) {
        if (reset) {
            beginResetModel();
            m_rows.clear();
            m_meaning.clear();
            m_nLastSeq = 0;
            m_decoder = {};
        }
        // Rows the log has dropped for room leave the view too.
        const uint64_t first = log.FirstSeq();
        size_t gone = 0;
        while (gone < m_rows.size() && (first == 0 || m_rows[gone].seq < first))
            ++gone;
        if (gone && !reset)
            beginRemoveRows({}, 0, static_cast<int>(gone) - 1);
        m_rows.erase(m_rows.begin(), m_rows.begin() + static_cast<ptrdiff_t>(gone));
        m_meaning.erase(m_meaning.begin(), m_meaning.begin() + static_cast<ptrdiff_t>(gone));
        if (gone && !reset)
            endRemoveRows();
        std::vector<TrafficEntry> fresh = log.Since(m_nLastSeq);
        if (!fresh.empty())
            m_nLastSeq = fresh.back().seq;
        // Every entry is decoded, shown or not: a status read teaches the
        // speed unit of what follows.
        std::vector<TrafficEntry> keep;
        std::vector<STransaction> meaning;
        for (auto& e : fresh) {
            STransaction tx = m_decoder.Decode(e);
            if (TrafficFilterMatches(m_filter, e.rc) && TrafficTextMatches(tx, m_strFind)) {
                keep.push_back(std::move(e));
                meaning.push_back(std::move(tx));
            }
        }
        if (reset) {
            m_rows = std::move(keep);
            m_meaning = std::move(meaning);
            endResetModel();
        } else if (!keep.empty()) {
            const int at = static_cast<int>(m_rows.size());
            beginInsertRows({}, at, at + static_cast<int>(keep.size()) - 1);
            for (size_t i = 0; i < keep.size(); ++i) {
                m_rows.push_back(std::move(keep[i]));
                m_meaning.push_back(std::move(meaning[i]));
            }
            endInsertRows();
        }
    }
};

CTrafficLogDlg::CTrafficLogDlg(CTrafficLog& log, QWidget* parent)
    : QDialog(parent), m_log(log), m_pModel(new CTrafficModel) {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);

    m_pFilter = new QComboBox;
    for (size_t i = 0; i < std::size(kFilterNames); ++i)
        m_pFilter->addItem(QString());
    connect(m_pFilter, &QComboBox::currentIndexChanged, this,
            [this](int i) { SetFilter(static_cast<ETrafficFilter>(i)); });
    auto* exportButton = new QPushButton;
    connect(exportButton, &QPushButton::clicked, this, &CTrafficLogDlg::OnExport);
    auto* clearButton = new QPushButton;
    connect(clearButton, &QPushButton::clicked, this, &CTrafficLogDlg::OnClear);
    m_pCount = new QLabel;
    m_pCount->setObjectName("lblCount");
    // By field name or text: "rated_current", "电机参数", "超时".
    m_pFind = new QLineEdit;
    m_pFind->setClearButtonEnabled(true);
    connect(m_pFind, &QLineEdit::textChanged, this,
            [this](const QString& t) { SetFind(t.toStdString()); });

    auto* top = new QHBoxLayout;
    auto* showCaption = new QLabel;
    auto* findCaption = new QLabel;
    top->addWidget(showCaption);
    top->addWidget(m_pFilter);
    top->addWidget(findCaption);
    top->addWidget(m_pFind);
    top->addWidget(m_pCount, 1);
    top->addWidget(clearButton);
    top->addWidget(exportButton);

    m_pModel->setParent(this);
    m_pView = new QTableView;
    m_pView->setModel(m_pModel);
    m_pView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pView->verticalHeader()->setVisible(false);
    m_pView->verticalHeader()->setDefaultSectionSize(m_pView->fontMetrics().height() + 4);
    m_pView->horizontalHeader()->setStretchLastSection(true);
    m_pView->setColumnWidth(0, 110);
    m_pView->setColumnWidth(1, 80);
    m_pView->setColumnWidth(2, 110);
    m_pView->setColumnWidth(3, 420);
    m_pView->setColumnWidth(4, 240);

    // Every field of the selected exchange.
    m_pDetail = new QPlainTextEdit;
    m_pDetail->setReadOnly(true);
    m_pDetail->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(m_pView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& now) { ShowDetail(now.row()); });
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(m_pView);
    split->addWidget(m_pDetail);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(split, 1);
    resize(1200, 640);

    connect(&m_timer, &QTimer::timeout, this, &CTrafficLogDlg::Refresh);
    const auto retranslate = [this, exportButton, clearButton, showCaption, findCaption] {
        setWindowTitle(tr("通讯记录"));
        for (int i = 0; i < m_pFilter->count(); ++i)
            m_pFilter->setItemText(i, tr(kFilterNames[i]));
        exportButton->setText(tr("导出..."));
        clearButton->setText(tr("清除"));
        m_pFind->setPlaceholderText(tr("字段名或文字"));
        showCaption->setText(tr("显示:"));
        findCaption->setText(tr("查找:"));
        if (isVisible())
            ShowCount(); // a hidden window counts when it is shown
        emit m_pModel->headerDataChanged(Qt::Horizontal, 0, 5);
        FitHeadings(m_pView->horizontalHeader());
    };
    retranslate();
    OnLanguageChange(this, retranslate);
}

void CTrafficLogDlg::ShowCount() {
    m_pCount->setText(tr("%1 条").arg(m_pModel->m_rows.size()));
}

CTrafficLogDlg::~CTrafficLogDlg() = default;

void CTrafficLogDlg::Refresh() {
    QScrollBar* bar = m_pView->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    m_pModel->Take(m_log, false);
    if (atEnd)
        m_pView->scrollToBottom(); // newest last, followed unless the user scrolled up
    ShowCount();
}

void CTrafficLogDlg::SetFilter(ETrafficFilter f) {
    if (m_pFilter->currentIndex() != static_cast<int>(f))
        m_pFilter->setCurrentIndex(static_cast<int>(f)); // comes back here
    m_pModel->m_filter = f;
    Reload();
}

void CTrafficLogDlg::SetFind(const std::string& text) {
    if (m_pFind->text().toStdString() != text)
        m_pFind->setText(QString::fromStdString(text)); // comes back here
    m_pModel->m_strFind = text;
    Reload();
}

void CTrafficLogDlg::Reload() {
    m_pModel->Take(m_log, true);
    m_pView->scrollToBottom();
    ShowCount();
    ShowDetail(m_pView->currentIndex().row());
}

void CTrafficLogDlg::ShowDetail(int row) {
    const bool valid = row >= 0 && static_cast<size_t>(row) < m_pModel->m_meaning.size();
    m_pDetail->setPlainText(
        valid ? QString::fromStdString(TrafficDetail(m_pModel->m_meaning[static_cast<size_t>(row)]))
              : QString());
}

const std::vector<STransaction>& CTrafficLogDlg::Meanings() const {
    return m_pModel->m_meaning;
}

const std::vector<TrafficEntry>& CTrafficLogDlg::Shown() const {
    return m_pModel->m_rows;
}

bool CTrafficLogDlg::ExportTo(const std::string& path) {
    const bool csv = path.size() >= 4 && (path.compare(path.size() - 4, 4, ".csv") == 0 ||
                                          path.compare(path.size() - 4, 4, ".CSV") == 0);
    std::string error;
    if (!ExportTraffic(m_pModel->m_rows, path, csv, error)) {
        ShowMessage(this, tr("导出失败:\n").toStdString() + path + "\n" + error);
        return false;
    }
    return true;
}

void CTrafficLogDlg::OnExport() {
    Refresh();
    QString filter;
    const QString path = QFileDialog::getSaveFileName(
        this, tr("导出通讯记录"), "halvik-traffic.txt", tr("文本 (*.txt);;CSV (*.csv)"), &filter);
    if (!path.isEmpty())
        ExportTo(path.toStdString());
}

void CTrafficLogDlg::OnClear() {
    m_log.Clear();
    m_pModel->Take(m_log, true);
    ShowCount();
    ShowDetail(-1);
}

void CTrafficLogDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    Refresh();
    m_timer.start(200);
}

void CTrafficLogDlg::hideEvent(QHideEvent* e) {
    m_timer.stop();
    QDialog::hideEvent(e);
}
