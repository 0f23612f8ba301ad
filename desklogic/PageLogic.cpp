#include "desklogic/PageLogic.h"

#include "driver/Format.h"
#include "lang/Tr.h"

#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <span>

double ParseDouble(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    // from_chars takes no '+' and does not depend on the C locale.
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !(std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'))
        return 0.0;
    double v = 0.0;
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), v);
    if (ec == std::errc::result_out_of_range) {
        // Too large gives infinity, too small zero, as strtod does.
        const std::string_view digits = text.substr(i, static_cast<size_t>(end - text.data()) - i);
        const size_t e = digits.find_first_of("eE");
        const bool tiny =
            e != std::string_view::npos && e + 1 < digits.size() && digits[e + 1] == '-';
        v = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (ec != std::errc()) {
        return 0.0;
    }
    return negative ? -v : v;
}

float ToFloat(double v) {
    if (std::isnan(v))
        return std::numeric_limits<float>::quiet_NaN();
    if (v > std::numeric_limits<float>::max())
        return std::numeric_limits<float>::infinity();
    if (v < std::numeric_limits<float>::lowest())
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

const std::string& ValueOf(const CtrlValues& values, int id) {
    static const std::string empty;
    const auto it = values.find(id);
    return it == values.end() ? empty : it->second;
}

bool TakeNumber(const CtrlValues& values, int ctrl, const SNumberRule& rule, int64_t& raw,
                SInputProblem& problem) {
    const SNumberCheck c = CheckNumber(rule, ValueOf(values, ctrl));
    if (c.Ok()) {
        raw = c.raw;
        return true;
    }
    if (!problem.Has())
        problem = {ctrl, c.problem};
    return false;
}

bool TakeFloat(const CtrlValues& values, int ctrl, const std::string& label, float& out,
               SInputProblem& problem) {
    const std::string message = CheckFloat(label, ValueOf(values, ctrl), out);
    if (message.empty())
        return true;
    if (!problem.Has())
        problem = {ctrl, message};
    return false;
}

bool TakeListIndex(const CtrlValues& values, int ctrl, const FieldDef& field, int64_t& raw,
                   SInputProblem& problem) {
    if (ValueOf(values, ctrl) != "-1")
        return TakeNumber(values, ctrl, FieldRule(field), raw, problem);
    if (!problem.Has())
        problem = {ctrl, NotChosenText(field)};
    return false;
}

std::string NotChosenText(const FieldDef& field) {
    return FieldLabelText(field) + lang::translate("desklogic/PageLogic", ": 未选择");
}

// --- Controls bound to catalogue fields ----------------------------------------

bool CPageRegs::Holds(uint16_t addr) const {
    for (const SBlock& b : m_blocks)
        if (addr >= b.start && addr < b.start + b.count)
            return true;
    return false;
}

uint16_t& CPageRegs::At(uint16_t addr) const {
    for (const SBlock& b : m_blocks)
        if (addr >= b.start && addr < b.start + b.count)
            return b.regs[addr - b.start];
    std::abort(); // a page names a field of a block it did not give
}

uint32_t CPageRegs::Get32(uint16_t addr) const {
    return static_cast<uint32_t>(At(addr)) << 16 | At(static_cast<uint16_t>(addr + 1));
}

void CPageRegs::Set32(uint16_t addr, uint32_t v) const {
    At(addr) = static_cast<uint16_t>(v >> 16);
    At(static_cast<uint16_t>(addr + 1)) = static_cast<uint16_t>(v & 0xFFFF);
}

SInputProblem CPageRegs::BrokenOrder(const SFieldCtrl* rows, size_t count) const {
    for (const SBlock& b : m_blocks) {
        uint16_t reg = 0;
        std::string message = OrderProblem(
            *BlockOf(b.start), std::vector<uint16_t>(b.regs, b.regs + b.count), {}, &reg);
        if (message.empty())
            continue;
        int ctrl = 0;
        for (size_t i = 0; i < count; ++i)
            if (FieldAddr(rows[i].field) == reg)
                ctrl = rows[i].ctrl;
        return {ctrl, std::move(message)};
    }
    return {};
}

namespace {

// How the tables convert a field of each type; Other: only the page can.
enum class EKind { List, Flag, Float, Number, Other };

EKind KindOf(const SFieldCtrl& row, const FieldDef& f) {
    if (row.bind == EBind::Page)
        return EKind::Other;
    switch (f.type) {
    case EField::Enum:
    case EField::Bit0Enum:
        return row.bind == EBind::BitList ? EKind::Flag : EKind::List;
    case EField::Bit0:
    case EField::Bool:
    case EField::ZeroYes:
        return EKind::Flag;
    case EField::F32:
        return EKind::Float;
    case EField::U16:
    case EField::I16:
    case EField::U32:
    case EField::I32:
    case EField::Speed:
    case EField::MotorSpeed:
        return EKind::Number;
    default:
        return EKind::Other;
    }
}

// The decimals the register holds at the speed unit in effect.
int DecimalsOf(const FieldDef& f, bool unitHz) {
    const bool speed = f.type == EField::Speed || f.type == EField::MotorSpeed;
    return speed ? (unitHz ? 0 : 1) : f.decimals;
}

int64_t RawOf(const FieldDef& f, const CPageRegs& regs) {
    if (f.regs == 2) {
        const uint32_t v = regs.Get32(f.addr);
        return FieldIsSigned(f) ? int64_t{static_cast<int32_t>(v)} : int64_t{v};
    }
    const uint16_t v = regs.At(f.addr);
    return FieldIsSigned(f) ? int64_t{static_cast<int16_t>(v)} : int64_t{v};
}

// A check box's "1"/"0".
std::string FlagText(const SFieldCtrl& row, const FieldDef& f, uint16_t reg) {
    if (row.bind == EBind::AtOne)
        return reg == 1 ? "1" : "0";
    if (f.type == EField::Bool)
        return reg != 0 ? "1" : "0";
    if (f.type == EField::ZeroYes)
        return reg == 0 ? "1" : "0";
    return std::to_string(reg & 1);
}

} // namespace

CtrlValues ShowFields(const SFieldCtrl* rows, size_t count, const CPageRegs& regs, bool unitHz) {
    CtrlValues values;
    for (const SFieldCtrl& row : std::span(rows, count)) {
        const FieldDef& f = CatalogueField(row.field);
        if (!regs.Holds(f.addr))
            continue;
        const uint16_t reg = regs.At(f.addr);
        switch (KindOf(row, f)) {
        case EKind::List:
            values[row.ctrl] = std::to_string(f.type == EField::Bit0Enum ? reg & 1 : reg);
            break;
        case EKind::Flag:
            values[row.ctrl] = FlagText(row, f, reg);
            break;
        case EKind::Float: {
            const auto v = static_cast<double>(std::bit_cast<float>(regs.Get32(f.addr)));
            values[row.ctrl] =
                row.shown == kFieldDigits ? StrFormat("%g", v) : StrFormat("%.*f", row.shown, v);
            break;
        }
        case EKind::Number:
            values[row.ctrl] = row.shown == kFieldDigits
                                   ? FormatScaled(RawOf(f, regs), DecimalsOf(f, unitHz))
                                   : ShownNumber(RawOf(f, regs), DecimalsOf(f, unitHz), row.shown);
            break;
        case EKind::Other:
            break;
        }
    }
    return values;
}

SInputProblem TakeFields(const CtrlValues& values, const SFieldCtrl* rows, size_t count,
                         bool unitHz, const CPageRegs& regs, const OwnField& own) {
    SInputProblem problem;
    for (const SFieldCtrl& row : std::span(rows, count)) {
        const FieldDef& f = CatalogueField(row.field);
        if (!regs.Holds(f.addr))
            continue;
        int64_t raw = 0;
        switch (KindOf(row, f)) {
        case EKind::List:
            if (!TakeListIndex(values, row.ctrl, f, raw, problem))
                return problem;
            break;
        case EKind::Flag:
            raw = (ValueOf(values, row.ctrl) == "1") != (f.type == EField::ZeroYes) ? 1 : 0;
            break;
        case EKind::Float: {
            float v = 0;
            if (!TakeFloat(values, row.ctrl, FieldLabelText(f), v, problem))
                return problem;
            raw = std::bit_cast<uint32_t>(v);
            break;
        }
        case EKind::Number:
            if (!TakeNumber(values, row.ctrl, FieldRule(f, DecimalsOf(f, unitHz)), raw, problem))
                return problem;
            break;
        case EKind::Other:
            if (own && !own(row, problem))
                return problem;
            continue;
        }
        if (f.regs == 2)
            regs.Set32(f.addr, static_cast<uint32_t>(raw));
        else
            regs.At(f.addr) = ToReg16(raw);
    }
    return regs.BrokenOrder(rows, count);
}

const char* BoundField(const SFieldCtrl* rows, size_t count, int ctrl) {
    for (size_t i = 0; i < count; ++i)
        if (rows[i].ctrl == ctrl)
            return rows[i].field;
    std::abort(); // a page asks for a control its table does not bind
}

std::string ShownNumber(int64_t raw, int decimals, int shown) {
    for (; shown > decimals; ++decimals)
        raw *= 10;
    int64_t cut = 1;
    for (int i = shown; i < decimals; ++i)
        cut *= 10;
    // Digits the page does not usually show are shown when the driver holds
    // them: a configure writes back what is shown, and must not change the
    // setting by rounding it.
    if (raw % cut != 0)
        return FormatScaled(raw, decimals);
    return FormatScaled(raw / cut, shown);
}
