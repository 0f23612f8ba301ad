#pragma once
// The "通讯参数" tab. Its upper group reads and sets the RS-485 port, the CAN
// port and two protection settings in CommBlockA, CommBlockB and
// CanOpenBlock; the CANopen object list sits below it.

#include "desklogic/PageLogic.h"
#include "driver/Blocks.h"

#include <QWidget>

class CDriverContext;

#include <string>
#include <string_view>
#include <vector>

// --- Page logic ---------------------------------------------------------------

struct SCommBlocks {
    CommBlockA a;
    CommBlockB b;
    CanOpenBlock c;
    bool operator==(const SCommBlocks&) const = default;
};

// The controls' values. baudItems are the RS-485 baud combo's texts: the
// first whose number equals the baud rate read is selected, else the first
// item.
CtrlValues CommValuesFromBlocks(const SCommBlocks& blocks,
                                const std::vector<std::string>& baudItems);
// The blocks to write, registers without a control 0; otherwise the first
// value that cannot be written (a slave address the driver could no longer
// be reached at among them).
SInputProblem CommBlocksFromValues(const CtrlValues& values,
                                   const std::vector<std::string>& baudItems, SCommBlocks& out);
// The IDs of the upper group's combos, edits and check boxes.
std::vector<int> CommValueIds();

// What a configure changed of how the driver is reached: its RS-485 line
// settings (when CommBlockA was written) and its slave address (when
// CommBlockB was written), compared with what it held before; "" when
// neither changed. parityItems name the parity settings.
std::string CommChangeNote(const SCommBlocks& before, const SCommBlocks& written, bool aWritten,
                           bool bWritten, const std::vector<std::string>& parityItems);

// --- Page ---------------------------------------------------------------------

namespace Ui {
class CCommParamPage;
}

class CCommParamPage : public QWidget {
    Q_OBJECT
public:
    explicit CCommParamPage(CDriverContext& ctx, QWidget* parent = nullptr);
    ~CCommParamPage() override;

    // The layout's controls.
    Ui::CCommParamPage& Ui() const { return *m_ui; }

private:
    void OnRead();
    void OnConfigure();

    CDriverContext& m_ctx;
    Ui::CCommParamPage* m_ui;
    // What the driver held at the last read or successful write, to tell
    // the user when a configure changed how it is reached.
    SCommBlocks m_known{};
};
