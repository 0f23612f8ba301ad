#pragma once
// The lower group of the communication page, "通讯对象配置": the CANopen
// object list (eight PDOs and SYNC), loaded by a worker thread, with the PDO
// and SYNC editors it opens and the store button. The page places this
// widget; it owns the two editors for its whole life.
//
// GUI thread only, except the load worker, which reaches the list through
// RunOnGui and shows its message boxes through MessageBox.h.

#include "guikit/GuiThread.h"

#include <QWidget>

#include <atomic>

namespace Ui {
class CCanOpenList;
}
class CDriverContext;
class CPdoEditDlg;
class CSyncEditDlg;
class QTableWidget;

class CCanOpenList : public QWidget {
    Q_OBJECT
public:
    explicit CCanOpenList(CDriverContext& ctx, QWidget* parent = nullptr);
    ~CCanOpenList() override;

    // Rewrites the cells from the editors' records: columns 1 to 4 only
    // where the driver reported a value (a blank cell stays blank).
    void RefreshList();
    // After a configure: something to store, the store button enabled.
    void SetStorePending();

    CPdoEditDlg* PdoEditDlg() const { return m_pPdoDlg; }
    CSyncEditDlg* SyncEditDlg() const { return m_pSyncDlg; }
    QTableWidget* List() const;
    // The layout's controls.
    Ui::CCanOpenList& Ui() const { return *m_ui; }
    bool m_bLoading = false;      // the load worker runs
    bool m_bStorePending = false; // configured and not stored yet

private:
    void OnLoad();
    void OnStore();
    void OnDoubleClick();
    void Centre(QWidget* dlg) const;

    CDriverContext& m_ctx;
    Ui::CCanOpenList* m_ui;
    CPdoEditDlg* m_pPdoDlg;
    CSyncEditDlg* m_pSyncDlg;
    CGuiWorker m_worker;
    std::atomic<bool> m_bQuit{false}; // the list is going away: the worker stops
};
