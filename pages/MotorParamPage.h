#pragma once
// The "电机参数" tab: the 27 registers of MotorParamBlock, and the driver's
// motor-learning procedure run by a worker thread.
//
// The speed fields (accelerations, decelerations, commutation frequencies)
// follow the speed-range box: whole raw values while it is ticked, tenths of
// Hz otherwise. A read sets the box
// and the main window's m_bSpeedUnitHz first, so the fields use the unit just
// read, and the motor control page follows at its next tick.

#include "desklogic/PageLogic.h"
#include "driver/Blocks.h"
#include "driver/Learning.h"
#include "guikit/GuiThread.h"

#include <QWidget>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

// --- Page logic ---------------------------------------------------------------

// The controls' values from the block: edits as texts, combos as the item
// index (the register value; a value without an item selects nothing),
// check boxes as "1"/"0", the phase-sequence text. unitHz: the speed range.
CtrlValues MotorParamValuesFromBlock(const MotorParamBlock& b, bool unitHz);
// The block to write, each value within its field's range, no maximum below
// its default and the phase sequence six bytes; otherwise the first value
// that cannot be written (a combo without a selection among them).
SInputProblem MotorParamBlockFromValues(const CtrlValues& values, bool unitHz,
                                        MotorParamBlock& out);
std::vector<int> MotorParamValueIds();

// Six byte values as "%02X %02X %02X %02X %02X %02X".
std::string PhaseSequenceText(const uint16_t (&bytes)[6]);
// The phase text read back as six hexadecimal bytes (an optional 0x each),
// packed two to a register, the first in the high byte; false when the text
// is not six bytes.
bool PackPhaseSequence(const std::string& text, uint16_t (&regs)[3]);

// --- Page ---------------------------------------------------------------------

class CDriverContext;

namespace Ui {
class CMotorParamPage;
}

class CMotorParamPage : public QWidget {
    Q_OBJECT
public:
    explicit CMotorParamPage(CDriverContext& ctx, QWidget* parent = nullptr);
    // Stops a learning run: the worker makes its closing write and ends
    // without touching the page or showing a box.
    ~CMotorParamPage() override;

    bool Learning() const { return m_bLearning; }
    // The layout's controls.
    Ui::CMotorParamPage& Ui() const { return *m_ui; }

private:
    void OnRead();
    void OnConfigure();
    void OnStartLearning();
    // The learning worker (worker thread).
    void RunLearning(uint8_t slave);
    // Back to idle (GUI thread).
    void EndLearning();

    CDriverContext& m_ctx;
    Ui::CMotorParamPage* m_ui;

    bool m_bLearning = false; // GUI thread
    CGuiWorker m_worker;
    std::mutex m_stopLock;
    std::condition_variable m_stopSignal;
    std::atomic<bool> m_bStop{false};
};
