#include "pages/CanOpenList.h"

#include "desklogic/CanOpenLogic.h"
#include "guikit/CtrlUtil.h"
#include "guikit/DriverContext.h"
#include "guikit/MessageBox.h"
#include "tools/PdoEditDlg.h"
#include "tools/SyncEditDlg.h"

#include "ui_CanOpenList.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>

namespace {

constexpr int kLoadedRole = Qt::UserRole; // 1: the row was loaded

struct SColumn {
    const char* title;
    int width;
};
constexpr SColumn kColumnDefs[kColumns] = {{QT_TRANSLATE_NOOP("CCanOpenList", "对象名称"), 75},
                                           {"COB-ID", 95},
                                           {QT_TRANSLATE_NOOP("CCanOpenList", "传输类型"), 75},
                                           {QT_TRANSLATE_NOOP("CCanOpenList", "禁止时间"), 75},
                                           {QT_TRANSLATE_NOOP("CCanOpenList", "事件时间"), 75},
                                           {QT_TRANSLATE_NOOP("CCanOpenList", "映射数量"), 75}};

QTableWidgetItem* Cell(QTableWidget* list, int row, int col) {
    QTableWidgetItem* item = list->item(row, col);
    if (!item) {
        item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignCenter);
        list->setItem(row, col, item);
    }
    return item;
}

void SetCell(QTableWidget* list, int row, int col, const std::string& text) {
    Cell(list, row, col)->setText(QString::fromStdString(text));
}

bool RowLoaded(QTableWidget* list, int row) {
    QTableWidgetItem* item = list->item(row, kColName);
    return item && item->data(kLoadedRole).toInt() == 1;
}

// The load worker's view of the list: every call runs on the GUI thread.
class CListSink : public IObjectListSink {
public:
    CListSink(CCanOpenList* owner, const std::atomic<bool>& quit) : m_owner(owner), m_quit(quit) {}

    void ClearRows() override {
        Gui([this] { m_owner->List()->setRowCount(0); });
    }
    void AddRow(int row, const std::string& name) override {
        Gui([this, row, name] {
            QTableWidget* list = m_owner->List();
            list->insertRow(row);
            SetCell(list, row, kColName, name);
        });
    }
    void SetField(int row, int col, uint32_t value) override {
        Gui([this, row, col, value] {
            SetCell(m_owner->List(), row, col, ListCellText(col, value));
            SetRecordField(m_owner->PdoEditDlg()->m_records[static_cast<size_t>(row)], col, value);
        });
    }
    void MarkLoaded(int row) override {
        Gui([this, row] { Cell(m_owner->List(), row, kColName)->setData(kLoadedRole, 1); });
    }
    void SetSync(const SyncValues& read, int fieldsRead) override {
        Gui([this, read, fieldsRead] {
            SyncValues& sync = m_owner->SyncEditDlg()->m_sync;
            MergeSync(sync, read, fieldsRead);
            QTableWidget* list = m_owner->List();
            SetCell(list, kSyncRow, kColCobId, ListCellText(kColCobId, sync.cobId));
            SetCell(list, kSyncRow, kColEvent, ListCellText(kColEvent, sync.cyclePeriod));
            Cell(list, kSyncRow, kColName)->setData(kLoadedRole, 1);
        });
    }
    void Message(const std::string& text) override {
        if (!m_quit)
            ShowMessage(m_owner, text);
    }

private:
    void Gui(std::function<void()> fn) {
        if (!m_quit)
            RunOnGui(std::move(fn));
    }
    CCanOpenList* m_owner;
    const std::atomic<bool>& m_quit;
};

} // namespace

CCanOpenList::CCanOpenList(CDriverContext& ctx, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_ui(new Ui::CCanOpenList) {
    m_ui->setupUi(this);
    OnLanguageChange(this, [this] {
        m_ui->retranslateUi(this);
        for (int c = 0; c < kColumns; ++c)
            List()->horizontalHeaderItem(c)->setText(tr(kColumnDefs[c].title));
        FitHeadings(List()->horizontalHeader());
        if (m_bLoading)
            m_ui->btnLoad->setText(tr("载入…"));
    });
    // Top-level windows of their own, hidden until a row is double-clicked.
    m_pPdoDlg = new CPdoEditDlg(ctx, this);
    m_pSyncDlg = new CSyncEditDlg(ctx, this);
    m_pPdoDlg->m_fnConfigured = [this] { SetStorePending(); };
    m_pSyncDlg->m_fnConfigured = [this] { SetStorePending(); };

    QTableWidget* list = List();
    list->setColumnCount(kColumns);
    for (int c = 0; c < kColumns; ++c) {
        auto* head = new QTableWidgetItem(tr(kColumnDefs[c].title));
        head->setTextAlignment(Qt::AlignCenter);
        list->setHorizontalHeaderItem(c, head);
        list->setColumnWidth(c, kColumnDefs[c].width);
    }
    FitHeadings(list->horizontalHeader());
    list->verticalHeader()->hide();
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setShowGrid(false);
    list->setWordWrap(false);
    const int rowHeight = list->fontMetrics().height() + 6;
    list->verticalHeader()->setDefaultSectionSize(rowHeight);
    // All nine rows in view, no scrolling.
    list->setMinimumHeight(list->horizontalHeader()->sizeHint().height() + 9 * rowHeight +
                           2 * list->frameWidth() + 2);

    connect(m_ui->btnLoad, &QPushButton::clicked, this, &CCanOpenList::OnLoad);
    connect(m_ui->btnStore, &QPushButton::clicked, this, &CCanOpenList::OnStore);
    connect(list, &QTableWidget::cellDoubleClicked, this, &CCanOpenList::OnDoubleClick);
}

CCanOpenList::~CCanOpenList() {
    m_bQuit = true;
    m_worker.Join();
    // The editors stop their own workers, which still reach this list.
    delete m_pPdoDlg;
    delete m_pSyncDlg;
    delete m_ui;
}

QTableWidget* CCanOpenList::List() const {
    return m_ui->tblObjects;
}

void CCanOpenList::OnLoad() {
    m_ui->btnLoad->setEnabled(false);
    m_ui->btnLoad->setText(tr("载入…"));
    m_ui->btnStore->setEnabled(false);
    // Set here rather than in the worker, so that no double-click and no
    // status poll can come between the press and the worker's start.
    m_bLoading = true;
    auto hold = std::make_shared<CDriverContext::CPollHold>(m_ctx.HoldPoll());
    const uint8_t slave = m_ctx.m_nSlaveAddr;
    m_worker.Join(); // the last run has finished (its button was disabled)
    m_worker.Start([this, slave, hold] {
        CListSink sink(this, m_bQuit);
        const int loaded = LoadObjectList(m_ctx.m_driver, slave, m_bQuit, sink);
        RunOnGui([this] {
            m_bLoading = false;
            m_ui->btnLoad->setEnabled(true);
            m_ui->btnLoad->setText(tr("载入"));
        });
        if (loaded == kPdoCount)
            sink.Message(tr("读取完毕").toStdString());
        hold->Release();
    });
}

void CCanOpenList::OnStore() {
    if (!m_bStorePending) {
        ShowMessage(this, tr("没有要保存的参数").toStdString());
        return;
    }
    m_ctx.RunFrom(
        m_ui->btnStore,
        [&drv = m_ctx.m_driver, slave = m_ctx.m_nSlaveAddr.load()] {
            return StoreParameters(drv, slave, kStoreComm);
        },
        [this](const SdoResult& o) {
            if (!o.Ok()) {
                ShowMessage(this, SdoFailureText(o));
                return;
            }
            ShowMessage(this, tr("保存成功").toStdString());
            m_bStorePending = false;
            m_ui->btnStore->setEnabled(false);
        });
}

void CCanOpenList::OnDoubleClick() {
    QTableWidget* list = List();
    int row = -1;
    for (int r = 0; r < list->rowCount() && row < 0; ++r)
        if (list->selectionModel()->isRowSelected(r, QModelIndex()))
            row = r;
    if (row < 0 || m_bLoading || !RowLoaded(list, row))
        return;
    if (row == kSyncRow) {
        m_pPdoDlg->hide();
        Centre(m_pSyncDlg);
        m_pSyncDlg->show();
        m_pSyncDlg->ShowSync();
    } else {
        m_pSyncDlg->hide();
        Centre(m_pPdoDlg);
        m_pPdoDlg->show();
        m_pPdoDlg->OpenPdo(row);
    }
}

void CCanOpenList::Centre(QWidget* dlg) const {
    // Over the page that holds the list.
    const QWidget* page = parentWidget() ? parentWidget() : this;
    const QRect p(page->mapToGlobal(QPoint(0, 0)), page->size());
    const QSize d = dlg->frameGeometry().size();
    dlg->move(p.left() + (p.width() - d.width()) / 2, p.top() + (p.height() - d.height()) / 2);
}

void CCanOpenList::RefreshList() {
    QTableWidget* list = List();
    for (int r = 0; r < kPdoCount && r < list->rowCount(); ++r) {
        const PdoRecord& rec = m_pPdoDlg->m_records[static_cast<size_t>(r)];
        const uint32_t values[] = {rec.cobId, rec.transType, rec.inhibitTime, rec.eventTime};
        for (int c = kColCobId; c <= kColEvent; ++c) {
            QTableWidgetItem* item = list->item(r, c);
            if (item && !item->text().isEmpty())
                item->setText(QString::fromStdString(ListCellText(c, values[c - kColCobId])));
        }
        // A row that was never loaded has no count to show.
        if (RowLoaded(list, r))
            SetCell(list, r, kColMapCount, ListCellText(kColMapCount, rec.mapCount));
    }
    if (list->rowCount() > kSyncRow) {
        const SyncValues& sync = m_pSyncDlg->m_sync;
        SetCell(list, kSyncRow, kColCobId, ListCellText(kColCobId, sync.cobId));
        SetCell(list, kSyncRow, kColEvent, ListCellText(kColEvent, sync.cyclePeriod));
    }
}

void CCanOpenList::SetStorePending() {
    m_bStorePending = true;
    RefreshList();
    m_ui->btnStore->setEnabled(true);
}
