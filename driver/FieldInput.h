#pragma once
// Numbers a person types for the driver, checked before anything is written:
// the whole text must be a number, and the value must fit the field's
// register and the limits the catalogue knows. A refused value comes with one
// message naming the field, what was typed and what is allowed, for example
// "电机额定电流: 99999 超出范围 (0.00~655.35 A)". Valid text is converted exactly
// as ScaleDecimal does (digits below the resolution cut toward zero), so it
// writes what it always wrote.

#include "driver/Catalogue.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The text without blanks around it.
std::string_view TrimmedText(std::string_view text);
// A plain decimal number ("12.5", "-3", ".5", "1e3") with nothing before or
// after it.
bool IsStrictDecimal(std::string_view text);

// Hexadecimal text: an optional 0x (either case) and 1 to 8 hex digits,
// blanks around it ignored; false for anything else.
bool ParseStrictHex(std::string_view text, uint32_t& out);
// A whole decimal number with an optional sign and nothing else but blanks
// around it, within 64 bits.
bool ParseStrictInt(std::string_view text, int64_t& out);

// An address or ID typed by a person: "0x" (either case) and hexadecimal
// digits, or decimal digits, blanks around them ignored; false for anything
// else ("10x", "1f", "-1").
bool ParseStrictId(std::string_view text, int64_t& out);

// What a number may be: its name for people, the decimals the register
// holds, the register values allowed and the unit shown.
struct SNumberRule {
    std::string label;
    int decimals = 0;
    int64_t lo = 0, hi = 0;
    std::string unit;
};
// The rule of a catalogue field at the decimals in effect.
SNumberRule FieldRule(const FieldDef& f, int decimals);
inline SNumberRule FieldRule(const FieldDef& f) {
    return FieldRule(f, f.decimals);
}

struct SNumberCheck {
    int64_t raw = 0;     // the register value (negative for a signed field)
    std::string problem; // "" when the text is valid
    bool Ok() const { return problem.empty(); }
};
// Checks typed text (blanks around it are ignored) against the rule.
SNumberCheck CheckNumber(const SNumberRule& rule, std::string_view text);
// Why typed text was refused, worded alike for every window:
// "label: text 超出范围 (range)", "... 不是数字 (range)" and so on.
enum class EValueProblem { OutOfRange, NotNumber, NotHex, NotInteger };
std::string ValueProblemText(const std::string& label, std::string_view text, EValueProblem kind,
                             const std::string& range);
// The allowed range as a person reads it: "0.00~655.35 A".
std::string RangeText(const SNumberRule& rule);

// A single-precision value typed for a floating-point field: any finite
// number; "" or the problem.
std::string CheckFloat(const std::string& label, std::string_view text, float& out);

// The first documented order (FieldOrders) that the block image breaks, as a
// message with both values ("过压关断 (12.0 V) 应大于欠压关断 (18.0 V)");
// "" when none does; *field is then the register of the field named first.
// Fields outside the image are not compared.
std::string OrderProblem(const BlockDef& b, const std::vector<uint16_t>& regs,
                         const DecodeContext& ctx, uint16_t* field = nullptr);

// The field's name for people: its label, or its catalogue name.
std::string FieldLabelText(const FieldDef& f);

// The decimals and unit a field's value is given in: one pair, or for a speed
// one per unit the driver or the block's own settings can choose (tenths or
// whole Hz, amperes in torque mode).
struct SFieldScale {
    int decimals = 0;
    std::string unit;
    bool operator==(const SFieldScale&) const = default;
};
std::vector<SFieldScale> FieldScales(const BlockDef& b, const FieldDef& f);
// What a value of the field may be, for a listing: a range at each scale
// ("0.0~6553.5 Hz or 0~65535 Hz"), the list items ("0=单电位器, 1=..."), the
// values offered ("9600, 19200, ... baud"), "yes/no", "single-precision
// number" or "text".
std::string FieldValuesText(const BlockDef& b, const FieldDef& f);
