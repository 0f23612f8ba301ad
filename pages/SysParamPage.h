#pragma once
// The "系统参数" tab: how the driver takes its commands from its ports, in
// SystemBlockA and SystemBlockB. Built like the PID page.

#include "desklogic/PageLogic.h"
#include "driver/Blocks.h"

#include <QWidget>

class CDriverContext;

#include <utility>
#include <vector>

// --- Page logic ---------------------------------------------------------------

// The controls' values: list indexes (a value beyond a list leaves the combo
// without a selection), thousandths to 0.001 (the analog adjustment's b
// signed), the stall time to 0.1, the two single-precision values "%f", the
// buzzer check box.
CtrlValues SysValuesFromBlocks(const SystemBlockA& a, const SystemBlockB& b);
// The blocks to write: typed decimals scaled exactly and truncated, each
// within its field's range, every list chosen, the register without a field
// 0; otherwise the first value that cannot be written.
SInputProblem SysBlocksFromValues(const CtrlValues& values, SystemBlockA& a, SystemBlockB& b);
// The IDs of every list, edit and the check box.
std::vector<int> SysValueIds();

// Defaults a change of the analog signal type puts into the two range edits,
// and a change of the logic level type into the threshold edit (nothing for
// an index outside the list).
CtrlValues AnalogRangeDefaults(int analogType);
CtrlValues LogicThresholdDefault(int logicLevel);

// --- Page ---------------------------------------------------------------------

namespace Ui {
class CSysParamPage;
}

class CSysParamPage : public QWidget {
    Q_OBJECT
public:
    explicit CSysParamPage(CDriverContext& ctx, QWidget* parent = nullptr);
    ~CSysParamPage() override;

    // The layout's controls.
    Ui::CSysParamPage& Ui() const { return *m_ui; }

private:
    void OnRead();
    void OnConfigure();

    CDriverContext& m_ctx;
    Ui::CSysParamPage* m_ui;
};
