#pragma once
// The "往复运动" tab: homing against the limit inputs SQ1/SQ2 and running
// between them (ReciprocateBlock), the preset forward and reverse speeds
// (PresetSpeedBlock), and the test operations of the reciprocating command
// register with a watch that reads the measured stroke when a measurement
// ends.

#include "desklogic/PageLogic.h"
#include "driver/Blocks.h"

#include <QTimer>
#include <QWidget>

#include <vector>

// --- Page logic ---------------------------------------------------------------

// The process group's values (combo index, check boxes ticked only at 1,
// stroke, speeds in whole Hz when unitHz else tenths, threshold to 0.1,
// torque to 0.01).
CtrlValues ReciprocateValuesFromBlock(const ReciprocateBlock& b, bool unitHz);
// The block to write: speeds in whole Hz when unitHz, else tenths; every
// typed number scaled exactly (a torque of "0.57" A writes 57, not 56) and
// within its field's range, the homing mode chosen. Otherwise the first
// value that cannot be written.
SInputProblem ReciprocateBlockFromValues(const CtrlValues& values, bool unitHz,
                                         ReciprocateBlock& out);

// The preset group's values. The speeds follow the speed control mode read:
// torque (1) in hundredths, any other mode by the speed rule.
CtrlValues PresetValuesFromBlock(const PresetSpeedBlock& b, bool unitHz);
// The block to write, both modes chosen. The speeds follow the mode
// selected: torque x 100, closed-loop speed or position (2, 3) by the speed
// rule, duty cycle x 10 whatever the unit; each within 16 bits. Otherwise the
// first value that cannot be written.
SInputProblem PresetBlockFromValues(const CtrlValues& values, bool unitHz, PresetSpeedBlock& out);

// Every control of the page's data exchange, both groups.
std::vector<int> ReciprocateValueIds();

// Values of the reciprocating command register (kRegReciprocateCmd).
enum : uint16_t {
    kTestCancel = 1,
    kTestHomeSq1 = 2,
    kTestHomeSq2 = 3,
    kTestMeasureStroke = 4,
};

// --- Page ---------------------------------------------------------------------

class CDriverContext;

namespace Ui {
class CReciprocatePage;
}

class CReciprocatePage : public QWidget {
    Q_OBJECT
public:
    explicit CReciprocatePage(CDriverContext& ctx, QWidget* parent = nullptr);
    ~CReciprocatePage() override;

    // A stroke measurement was started and its end not yet seen.
    bool Measuring() const { return m_bMeasuring != 0; }
    // The layout's controls.
    Ui::CReciprocatePage& Ui() const { return *m_ui; }

private:
    void OnReadReciprocate();
    void OnConfigureReciprocate();
    void OnReadPreset();
    void OnConfigurePreset();
    void OnTestOperation(uint16_t op);
    // Every 250 ms, on any tab and with the port closed: once the command
    // register reads 0 after a measurement, the process group is read again.
    void OnMeasureWatch();
    bool UnitHz() const;

    // The page's values as the data exchange holds them: a group's read
    // rewrites every control from here, the other group's included.
    void TakeAll();
    void ShowAll();

    CDriverContext& m_ctx;
    Ui::CReciprocatePage* m_ui;
    CtrlValues m_values;
    int m_bMeasuring = 0;
    bool m_bWatchOut = false; // a check of the measurement is under way
    QTimer m_timer;
};
