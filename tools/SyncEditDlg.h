#pragma once
// "编辑SYNC": the SYNC COB-ID, cycle period and window length, the periods
// shown and typed in milliseconds. Its exchanges run on the driver
// context's worker; the list's load worker hands its values over through
// RunOnGui. Closing only hides it.

#include "desklogic/CanOpenLogic.h"

#include "tools/ToolDlg.h"

#include <functional>

namespace Ui {
class CSyncEditDlg;
}
class CDriverContext;

class CSyncEditDlg : public CToolDlg {
    Q_OBJECT
public:
    explicit CSyncEditDlg(CDriverContext& ctx, QWidget* parent = nullptr);
    ~CSyncEditDlg() override;
    Ui::CSyncEditDlg& Ui() const { return *m_ui; }

    // Shows the values in the edits.
    void ShowSync();

    SyncValues m_sync; // the last values read from or written to the driver
    // After a successful configure (the list marks it for storing).
    std::function<void()> m_fnConfigured;

private:
    void OnRead();
    void OnConfigure();

    CDriverContext& m_ctx;
    Ui::CSyncEditDlg* m_ui;
};
