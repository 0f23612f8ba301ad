#pragma once
// The "安全保护" tab: protective shutdowns, two options and the linear
// calibration of the temperature and supply-voltage measurements, all plain
// 16-bit registers of SafetyBlock. Built like the PID page.

#include "desklogic/PageLogic.h"
#include "driver/Blocks.h"

#include <QWidget>

class CDriverContext;

#include <vector>

// --- Page logic ---------------------------------------------------------------

// The controls' values: edits as exact decimal numbers with the digits the
// page shows (the over-current rounded to 0.1 A), check boxes "1"/"0".
CtrlValues SafetyValuesFromBlock(const SafetyBlock& b);
// The block to write: typed decimals scaled exactly and truncated, each
// within its field's range, over-voltage above under-voltage; the two unused
// registers 0. Otherwise the first value that cannot be written.
SInputProblem SafetyBlockFromValues(const CtrlValues& values, SafetyBlock& out);
// The IDs of the edits and check boxes.
std::vector<int> SafetyValueIds();

// --- Page ---------------------------------------------------------------------

namespace Ui {
class CSafetyPage;
}

class CSafetyPage : public QWidget {
    Q_OBJECT
public:
    explicit CSafetyPage(CDriverContext& ctx, QWidget* parent = nullptr);
    ~CSafetyPage() override;

    // The layout's controls.
    Ui::CSafetyPage& Ui() const { return *m_ui; }

private:
    void OnRead();
    void OnConfigure();

    CDriverContext& m_ctx;
    Ui::CSafetyPage* m_ui;
};
