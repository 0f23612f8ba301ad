#pragma once
// The "电机控制" tab: runs the motor directly (output PWM, commutation
// frequency, the three stops, position moves) and reads or sets the four
// ramp values of RampBlock.
//
// Frequencies, accelerations and ramp times follow the main window's speed
// unit (m_bSpeedUnitHz): tenths while it is 0, whole raw values otherwise.
// The page notices a change of the unit at its next 100 ms tick.

#include "app/CtrlValues.h"
#include "driver/Blocks.h"
#include "modbus/ResultCode.h"

#include <QTimer>
#include <QWidget>

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
// The move frequency register: the typed Hz in the unit, 1 .. 65535 (a move
// at 0 Hz does not exist, so 0 is sent as the slowest move).
uint16_t MoveFrequencyOf(const std::string& text, bool unitHz);

// The ramp edits from RampBlock and back; typed values are clamped to the
// register's 0 .. 65535.
CtrlValues RampValuesFromBlock(const RampBlock& b, bool unitHz);
RampBlock RampBlockFromValues(const CtrlValues& values, bool unitHz);
std::vector<int> RampValueIds();

// --- Page ---------------------------------------------------------------------

namespace Ui {
class CMotorCtrlPage;
}

class CMotorCtrlPage : public QWidget {
    Q_OBJECT
public:
    explicit CMotorCtrlPage(QWidget* parent = nullptr);
    ~CMotorCtrlPage() override;

    // The selected stop mode: 0 normal, 1 emergency, 2 free.
    uint16_t StopMode() const;
    // Sends the selected stop mode; shows a box only on failure, unless the
    // caller reports it (report false). The main window's stop shortcut,
    // button and close use it too.
    ResultCode SendStop(bool report = true);

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

    Ui::CMotorCtrlPage* m_ui;
    QTimer m_timer;
    bool m_bUnitHz = false; // the unit the page last adapted to
};
