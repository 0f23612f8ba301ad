#pragma once
// The pages' plain logic (no widgets): numbers typed by the user, and the
// tables binding a page's controls to catalogue fields. Fixed-point fields
// are converted exactly (FormatScaled, the FieldInput checks), never through
// doubles; ParseDouble and ToFloat are for the fields that really are
// floating point.

#include "desklogic/CtrlValues.h"
#include "driver/FieldInput.h"

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

// The leading decimal number of the text, as scanf's "%lf" reads it (blanks,
// sign, digits, point, exponent); 0 when the text does not start with one.
double ParseDouble(std::string_view text);
// The nearest single-precision value; beyond its range the infinity of that
// sign (a plain conversion would be undefined there).
float ToFloat(double v);

// A page value by ID, "" when absent.
const std::string& ValueOf(const CtrlValues& values, int id);

// The first value of a page that cannot be written: the control holding it
// and the message naming the field, what was typed and what is allowed.
struct SInputProblem {
    int ctrl = 0;
    std::string message;
    bool Has() const { return !message.empty(); }
};
// The typed number of one control as a register value under the rule; on a
// refusal the problem names the control (and an earlier problem is kept).
bool TakeNumber(const CtrlValues& values, int ctrl, const SNumberRule& rule, int64_t& raw,
                SInputProblem& problem);
// The selected item of a list bound to a field; a list without a selection
// ("-1") is refused as not chosen.
bool TakeListIndex(const CtrlValues& values, int ctrl, const FieldDef& field, int64_t& raw,
                   SInputProblem& problem);
// The refusal of a list bound to a field that has no selection.
std::string NotChosenText(const FieldDef& field);
// The same for a floating-point field.
bool TakeFloat(const CtrlValues& values, int ctrl, const std::string& label, float& out,
               SInputProblem& problem);

// --- Controls bound to catalogue fields ----------------------------------------
//
// Every page binds its controls to catalogue fields in one table, naming each
// field as the configuration file does ("block.field"):
//     constexpr SFieldCtrl kFields[] = {
//         {1140, "safety.over_voltage_shutdown", 1}, // shown to 0.1
//         {1056, "safety.current_loop_pid_dynamic"},
//     };
// The catalogue says where a field is, its scale, sign and list; a row adds
// only what the page shows its own way. ShowFields and TakeFields convert
// between the blocks a page reads or writes and the controls' values; rows
// whose field lies in none of the blocks given are left out.

// How a control shows its field.
enum class EBind : unsigned char {
    // By the field's type: a list shows the item index (of bit 0 for a
    // bit-0 list) and refuses no selection; a check box is ticked when a bit-0
    // field's bit is set, a flag is nonzero or a "0 = yes" field is 0, and
    // writes 1 when ticked (a "0 = yes" field 0); single precision in "%g";
    // any other number as exact decimal text at the decimals in effect
    // (speeds in whole units or tenths by the speed unit).
    Field,
    AtOne,   // a check box ticked only while the register holds 1
    BitList, // a bit-0 list written as the bit: no selection writes 0
    Page,    // the page converts the field itself
};

// The field's own decimals (numbers), or "%g" (single precision).
constexpr int kFieldDigits = -1;

struct SFieldCtrl {
    int ctrl;
    const char* field; // catalogue name, "block.field"
    // Decimals shown (more where the value has them, so nothing is rounded
    // away), single precision as "%.*f".
    int shown = kFieldDigits;
    EBind bind = EBind::Field;
};

// The registers of the blocks a page converts, where they are: a view of the
// blocks given. A register outside them aborts.
class CPageRegs {
public:
    template <class... Blocks>
    explicit CPageRegs(Blocks&... blocks)
        : m_blocks{SBlock{Blocks::kStart, Blocks::kCount, blocks.m_reg.data()}...} {}

    bool Holds(uint16_t addr) const;
    uint16_t& At(uint16_t addr) const;
    // A two-register field, high word first.
    uint32_t Get32(uint16_t addr) const;
    void Set32(uint16_t addr, uint32_t v) const;
    // The documented order the blocks break (OrderProblem), at the control
    // bound to the field it names first.
    SInputProblem BrokenOrder(const SFieldCtrl* rows, size_t count) const;

private:
    struct SBlock {
        uint16_t start;
        int count;
        uint16_t* regs;
    };
    std::vector<SBlock> m_blocks;
};

// The values of the bound controls (EBind::Page rows left to the page).
// unitHz: speeds count whole units.
CtrlValues ShowFields(const SFieldCtrl* rows, size_t count, const CPageRegs& regs, bool unitHz);
template <size_t N, class... Blocks>
CtrlValues ShowFields(const SFieldCtrl (&rows)[N], bool unitHz, Blocks... blocks) {
    return ShowFields(rows, N, CPageRegs(blocks...), unitHz);
}

// Puts the controls' values into the registers, row by row in table order,
// EBind::Page rows through own; then the documented orders. The first value
// that cannot be written ends it: its problem.
using OwnField = std::function<bool(const SFieldCtrl& row, SInputProblem& problem)>;
SInputProblem TakeFields(const CtrlValues& values, const SFieldCtrl* rows, size_t count,
                         bool unitHz, const CPageRegs& regs, const OwnField& own = {});
template <size_t N>
SInputProblem TakeFields(const CtrlValues& values, const SFieldCtrl (&rows)[N], bool unitHz,
                         const CPageRegs& regs, const OwnField& own = {}) {
    return TakeFields(values, rows, N, unitHz, regs, own);
}

// The IDs of every bound control, in table order.
template <size_t N> std::vector<int> FieldIds(const SFieldCtrl (&rows)[N]) {
    std::vector<int> ids;
    for (const SFieldCtrl& r : rows)
        ids.push_back(r.ctrl);
    return ids;
}
// The field bound to a control (an unbound one aborts).
const char* BoundField(const SFieldCtrl* rows, size_t count, int ctrl);
template <size_t N> const char* BoundField(const SFieldCtrl (&rows)[N], int ctrl) {
    return BoundField(rows, N, ctrl);
}

// raw / 10^decimals as text with `shown` decimals, exactly, zeros added where
// it shows more; a value with nonzero digits beyond `shown` is shown whole.
std::string ShownNumber(int64_t raw, int decimals, int shown);
