#pragma once
// The "PID参数" tab: the nine gains of the speed, position and self-locking
// loops, single-precision values in PidBlock.
//
// The model for every page: the page logic converts a register block to the
// controls' values and back as plain functions; the widget only moves those
// values in and out of its controls and runs one transaction per button.

#include "desklogic/PageLogic.h"
#include "driver/Blocks.h"

#include <QWidget>

class CDriverContext;

#include <vector>

// --- Page logic ---------------------------------------------------------------

// The gains as "%g" texts by edit ID.
CtrlValues PidValuesFromBlock(const PidBlock& b);
// The block to write from the edits' texts, each a finite number, or the
// first gain that is not.
SInputProblem PidBlockFromValues(const CtrlValues& values, PidBlock& out);
// The IDs of the nine edits.
std::vector<int> PidValueIds();

// --- Page ---------------------------------------------------------------------

namespace Ui {
class CPidPage;
}

class CPidPage : public QWidget {
    Q_OBJECT
public:
    explicit CPidPage(CDriverContext& ctx, QWidget* parent = nullptr);
    ~CPidPage() override;

    // The layout's controls.
    Ui::CPidPage& Ui() const { return *m_ui; }

private:
    void OnRead();
    void OnConfigure();

    CDriverContext& m_ctx;
    Ui::CPidPage* m_ui;
    class CStepDlg* m_pStepDlg = nullptr; // made when first asked for
};
