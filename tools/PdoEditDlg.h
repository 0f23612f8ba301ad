#pragma once
// "编辑POD": one of the eight PDOs, its communication values and its
// mapping. Opened from the CANopen object list; reads on one worker and
// writes on another, one at a time. Closing only hides it.
//
// GUI thread only, except the workers, which reach the dialog through
// RunOnGui and show their message boxes through MessageBox.h. m_bStop is
// the one member a worker reads.

#include "desklogic/CanOpenLogic.h"
#include "guikit/GuiThread.h"

#include "tools/ToolDlg.h"

#include <array>
#include <atomic>
#include <functional>

namespace Ui {
class CPdoEditDlg;
}
class CDriverContext;

class CPdoEditDlg : public CToolDlg {
    Q_OBJECT
public:
    explicit CPdoEditDlg(CDriverContext& ctx, QWidget* parent = nullptr);
    ~CPdoEditDlg() override;
    Ui::CPdoEditDlg& Ui() const { return *m_ui; }

    // Stops a running worker, shows row 0..7 (from its record unless a
    // reload was asked for) and reads the mapping.
    void OpenPdo(int row);

    std::array<PdoRecord, kPdoCount> m_records{}; // filled by the list, updated here
    int m_nRow = -1;                              // none opened yet
    std::atomic<bool> m_bStop{false};
    bool m_bReload = false; // the next load reads the communication values too
    // After a successful configure (the list marks it for storing).
    std::function<void()> m_fnConfigured;

private:
    // The row's caption and the load button's state, in the language in use.
    void ShowLoadState();
    void OnLoad();
    void OnConfigure();
    void StopWorker();

    CDriverContext& m_ctx;
    Ui::CPdoEditDlg* m_ui;
    CGuiWorker m_worker;
};
