#pragma once
// The "电机控制" tab: runs the motor directly (output PWM, commutation
// frequency, the three stops, position moves) and reads or sets the four
// ramp values of RampBlock.
//
// Frequencies, accelerations and ramp times follow the main window's speed
// unit (m_bSpeedUnitHz): tenths while it is 0, whole raw values otherwise.
// The page notices a change of the unit at its next 100 ms tick.

#include "desklogic/PageLogic.h"
#include "driver/Blocks.h"
#include "modbus/ResultCode.h"

#include <QTimer>
#include <QWidget>

#include <functional>

#include <cstdint>
#include <string>
#include <vector>

// --- Page logic ---------------------------------------------------------------

// The value labels of the three sliders.
std::string PwmLabelText(int position);               // 500: "50.0%"
std::string FreqLabelText(int position, bool unitHz); // 1234: "123.4Hz" or "1234Hz"
std::string PositionLabelText(int position);          // "%ld"

// The frequency slider limit as typed, clamped to 0.1 .. 3276.7 Hz (1 ..
// 32767 with whole Hz), rewritten in the unit's form; range is the slider's
// half-range in register units.
struct SFreqLimit {
    std::string text;
    int range = 0;
};
SFreqLimit FreqLimitOf(const std::string& text, bool unitHz);
// The position slider limit: the integer value of the text, at least 1.
int PositionLimitOf(const std::string& text);
// The move frequency register: the typed Hz in the unit, within the
// register (a move at 0 Hz does not exist, so 0 is sent as the slowest
// move); otherwise the problem.
SInputProblem MoveFrequencyOf(const std::string& text, bool unitHz, uint16_t& out);

// The ramp edits from RampBlock and back; typed values must fit the
// register, otherwise the first that does not is the problem.
CtrlValues RampValuesFromBlock(const RampBlock& b, bool unitHz);
SInputProblem RampBlockFromValues(const CtrlValues& values, bool unitHz, RampBlock& out);
std::vector<int> RampValueIds();

// --- Page ---------------------------------------------------------------------

class CDriverContext;
class CMotorDriver;
class QPushButton;

namespace Ui {
class CMotorCtrlPage;
}

class CMotorCtrlPage : public QWidget {
    Q_OBJECT
public:
    explicit CMotorCtrlPage(CDriverContext& ctx, QWidget* parent = nullptr);
    ~CMotorCtrlPage() override;

    // The layout's controls.
    Ui::CMotorCtrlPage& Ui() const { return *m_ui; }

    // The selected stop mode: 0 normal, 1 emergency, 2 free.
    uint16_t StopMode() const;
    // Sends the selected stop mode ahead of any other operation waiting on
    // the context's worker; shows a box only on failure, unless the caller
    // reports it (report false), then hands the result to then (GUI thread).
    // The main window's stop shortcut, its button and its close use it too.
    void SendStop(std::function<void(ResultCode)> then = {}, bool report = true);

    // One tick of the page timer: the value labels and the speed unit.
    void OnTimer();

private:
    void RefreshLabels();
    void ApplyFreqLimit();
    void ApplyPositionLimit();
    void OnRunPwm();
    void OnRunFreq();
    void OnMove();
    void OnReadRamp();
    void OnSetRamp();
    bool UnitHz() const;
    void Command(QPushButton* button, std::function<ResultCode(CMotorDriver&, uint8_t)> send);

    CDriverContext& m_ctx;
    Ui::CMotorCtrlPage* m_ui;
    QTimer m_timer;
    bool m_bUnitHz = false; // the unit the page last adapted to
};
