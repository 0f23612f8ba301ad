#pragma once
// Helpers for the pages' plain logic (no widgets): numbers typed by the user.
// Scaled fixed-point fields use ScaleDecimal (driver/Format.h), never double
// multiplication; these are for the fields that really are floating point.

#include "desklogic/CtrlValues.h"
#include "driver/FieldInput.h"

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
// The same for a floating-point field.
bool TakeFloat(const CtrlValues& values, int ctrl, const std::string& label, float& out,
               SInputProblem& problem);

// The documented order a page's block image breaks (OrderProblem), held by
// the control its field table binds to the field named first.
template <class Field, size_t N>
SInputProblem PageOrderProblem(uint16_t blockStart, const std::vector<uint16_t>& regs,
                               const Field (&fields)[N], const DecodeContext& ctx = {}) {
    uint16_t reg = 0;
    std::string message = OrderProblem(*BlockOf(blockStart), regs, ctx, &reg);
    int ctrl = 0;
    for (const Field& f : fields)
        if (f.reg == reg)
            ctrl = f.ctrl;
    return {ctrl, std::move(message)};
}
