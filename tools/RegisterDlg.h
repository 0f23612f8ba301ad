#pragma once
// The "读写寄存器" tool window: any holding register read or written by hand,
// as a 16-bit integer in one register, a 32-bit integer or a single-precision
// number in two (high word at the lower address).
//
// The conversions are plain functions below; the window only moves texts in
// and out of its controls and runs one transaction per button.

#include "desklogic/PageLogic.h"
#include "tools/ToolDlg.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// --- Conversions ----------------------------------------------------------------

// Index of the data-type lists.
enum ERegType : int { kRegShort = 0, kRegLong = 1, kRegFloat = 2 };

// Registers a type occupies (1 or 2; an unknown index counts as short).
int RegCount(int type);
// The address as hexadecimal text (0 without digits), low 16 bits.
uint16_t RegAddress(std::string_view text);
// The address text rewritten as "%04X".
std::string RegAddressText(std::string_view text);
// Write pane: the decimal text of a hexadecimal value under a type.
std::string RegHexToDecimal(std::string_view hex, int type);
// Write pane: the hexadecimal text of a decimal (or floating-point) value.
std::string RegDecimalToHex(std::string_view decimal, int type);

// What "写入" sends: function 6 with one register for a short, function 16
// with two (high word first) for the others. Values are host order.
struct SRegWrite {
    uint8_t function = 6;
    std::vector<uint16_t> regs;
};
SRegWrite RegWriteRequest(std::string_view hex, int type);
// Why "写入" cannot send what the write pane holds (values by control ID):
// an address that is not 0000-FFFF in hexadecimal (the last register of the
// type included), a value that is not hexadecimal within the type's width,
// or a decimal text that is no number of the type. A decimal text the
// window itself made from the value is always taken as it stands.
SInputProblem RegWriteProblem(const CtrlValues& values, int type);
// The same for the read pane's address.
SInputProblem RegReadProblem(const CtrlValues& values, int type);

// Read pane texts of the registers read (RegCount(type) of them).
struct SRegReadTexts {
    std::string hex, decimal;
};
SRegReadTexts RegReadTexts(const uint16_t* regs, int type);

// --- Window ---------------------------------------------------------------------

class CDriverContext;

namespace Ui {
class CRegisterDlg;
}

class CRegisterDlg : public CToolDlg {
    Q_OBJECT
public:
    explicit CRegisterDlg(CDriverContext& ctx, QWidget* parent = nullptr);
    ~CRegisterDlg() override;
    Ui::CRegisterDlg& Ui() const { return *m_ui; }

protected:
    void OnFocusLeft(QWidget* ctrl) override;

private:
    void OnWrite();
    void OnRead();
    int WriteType() const;

    CDriverContext& m_ctx;
    Ui::CRegisterDlg* m_ui;
};
